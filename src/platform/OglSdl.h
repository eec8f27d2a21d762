#pragma once
// The one window and its OpenGL context.
#include "platform/Published.h"
#include <cstdint>

struct SDL_Surface;

// The one window and its OpenGL context: video mode, caption, full-screen
// switch, and the two projections (3D perspective, 2D pixel overlay).
// Created on the heap by main; everyone else reaches it through instance.
class OglSdl : public Published<OglSdl> {
public:
    // Initialises SDL's video subsystem and checks its driver shows windows;
    // the object exists even if that fails (videoReady tells).
    OglSdl();

    // Sets the video mode with the GL attributes the program needs, titles
    // the window and sets the perspective. False when no mode could be set
    // or the video driver shows no window.
    bool createWindow(const char* caption, int w, int h, int depth, float fov);
    // Flips SDL_FULLSCREEN and sets the mode again at the created size.
    // True when the new mode was set.
    bool toggleFullscreen();
    // A full-screen size larger than the display cannot be shown where the
    // pointer acts: it becomes the display's own size, with a yellow line.
    void fitToDisplay(int* w, int* h) const;
    // Viewport plus perspective projection; model-view left current.
    void resizeViewport(int w, int h);
    // 2D mode: one unit per configured pixel, origin top-left, y down.
    void beginOverlay(int left, int top, int right, int bottom);
    void beginOverlay() { beginOverlay(0, 0, width, height); }
    void endOverlay();

    SDL_Surface* screen = nullptr;  // last SDL_SetVideoMode result; null after a failure
    uint32_t flags = 0;             // used for every SDL_SetVideoMode call
    int width = 0;                  // size given to createWindow; resizes keep it
    int height = 0;
    int depth = 0;                  // colour bits and depth-buffer bits
    int fieldOfView = 0;            // vertical, degrees
    bool videoReady = false;        // SDL's video is up with a driver that shows a window
    int displayWidth = 0;           // the display's size before the first mode; 0 when unknown
    int displayHeight = 0;
};

// In the 2D overlay: the bound texture on the rectangle, texture corner
// (0, 0) at (x0, y0) and (1, 1) at (x1, y1).
void drawTexturedQuad(float x0, float y0, float x1, float y1);
