#pragma once
// The objects the renderer reaches, built in the game's order, and the
// 800 x 600 window the level benchmarks draw in.
#include <GL/gl.h>

#include "app/FrameTimer.h"
#include "app/TargetList.h"
#include "platform/OglSdl.h"
#include "world/Camera.h"
#include "world/Frustum.h"
#include "world/Renderer.h"

struct World {
    TargetList targets;
    Frustum frustum;
    FrameTimer timer;
    Camera camera;
    Renderer renderer;
};

// Opens the window with depth testing and readies the world to draw in it.
inline bool openBenchWorld(OglSdl& window, World& w, const char* caption)
{
    if (!window.createWindow(caption, 800, 600, 24, 45.0f))
        return false;
    glEnable(GL_DEPTH_TEST);
    w.frustum.setViewport(400.0f, 300.0f, 1.0f);
    return w.renderer.setupMultitexture();
}
