// The frame clock: frame time, current time and frames per second from SDL's ticks.
#include "app/FrameTimer.h"

#include <SDL.h>

void FrameTimer::tick()
{
    tickAt(SDL_GetTicks());
}

void FrameTimer::tickAt(uint32_t milliseconds)
{
    float t = static_cast<float>(milliseconds) * 0.001f;
    ++framesSinceFps;
    ++frameCount;
    frameTime = t - now;
    now = t;
    // The frame that closes a period is counted in it.
    if (t - lastFpsTime > 1.0f) {
        lastFpsTime = t;
        fps = framesSinceFps;
        framesSinceFps = 0;
    }
}
