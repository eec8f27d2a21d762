#pragma once
// What the drawing tests share: the objects the renderer reaches, built in
// the game's order, and readings of the frame and the log.
#include <GL/gl.h>

#include <cstring>
#include <vector>

#include "app/FrameTimer.h"
#include "app/TargetList.h"
#include "platform/SystemLog.h"
#include "world/Camera.h"
#include "world/Frustum.h"
#include "world/Renderer.h"

// The objects the renderer reaches, built in the game's order.
struct World {
    TargetList targets;
    Frustum frustum;
    FrameTimer timer;
    Camera camera;
    Renderer renderer;

    World() { frustum.setViewport(400.0f, 300.0f, 1.0f); }
    ~World() { renderer.freeLevel(); }

    // What the player update and the game frame do, minus input.
    void frame(bool updateFrustum = true)
    {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        timer.frameCount++;
        renderer.updateCameraLeaf(camera, camera.position);
        camera.applyView();
        if (updateFrustum)
            frustum.update(camera.position, camera.forward);
        renderer.renderLevel();
    }

    std::vector<int> drawnLeaves() const
    {
        return std::vector<int>(renderer.visibleLeaves,
                                renderer.visibleLeaves + renderer.visibleLeafCount);
    }
    int markedFaces() const
    {
        int marked = 0;
        for (int i = 0; i < renderer.faceCount; i++)
            marked += renderer.faceMarks[i] == int32_t(timer.frameCount);
        return marked;
    }
    void lookAt(const Vector3& position, const Vector3& forward)
    {
        camera.position = position;
        camera.forward = forward;
        camera.recompute();
    }
};

// Pixels of the 800 x 600 frame that are not black.
inline size_t litPixels()
{
    std::vector<unsigned char> pixels(800 * 600 * 3);
    glReadPixels(0, 0, 800, 600, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    size_t lit = 0;
    for (size_t i = 0; i < pixels.size(); i += 3)
        lit += pixels[i] + pixels[i + 1] + pixels[i + 2] > 0;
    return lit;
}

// Log lines stored since `from` that hold the text.
inline int logLinesWith(size_t from, const char* text)
{
    int n = 0;
    for (size_t i = from; i < SystemLog::get().storedLines(); i++)
        n += std::strstr(SystemLog::get().line(i), text) != nullptr;
    return n;
}
