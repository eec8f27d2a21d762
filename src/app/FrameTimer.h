#pragma once
// The frame clock ticked at the start of every frame.
#include "platform/Published.h"
#include <cstdint>

// Frame clock, ticked once at the start of every frame. All motion is scaled
// by frameTime; the world renderer marks faces with frameCount.
class FrameTimer : public Published<FrameTimer> {
public:
    // Reads SDL_GetTicks and advances the counters.
    void tick();
    // The same with the milliseconds since SDL started given by the caller.
    void tickAt(uint32_t milliseconds);

    int fps = 0;              // frames of the last completed one-second period
    float frameTime = 0.0f;   // seconds since the previous frame
    uint32_t frameCount = 0;  // frames since start
    float now = 0.0f;         // seconds, time of the current frame
    float lastFpsTime = 0.0f; // start of the current measuring period
    int framesSinceFps = 0;   // frames in the current measuring period
};
