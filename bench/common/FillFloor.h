#pragma once
// The fill floor a frame is judged against, measured in the window the frames
// are drawn in: clearing and swapping alone, one full-screen layer with one
// texture, one full-screen layer with a texture and a lightmap (what a level
// face costs per pixel). Every frame figure is printed beside it and as a
// ratio to the two-texture layer.
#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL/SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "common/BenchClock.h"
#include "world/Renderer.h"

struct FillFloor {
    int width = 0, height = 0;
    double clear = 0.0;        // ms: clear, finish, swap
    double oneTexture = 0.0;   // ms: the same plus one textured layer
    double twoTextures = 0.0;  // ms: the same plus one texture-and-lightmap layer

    // What one two-texture layer adds to an empty frame.
    double layer() const { return twoTextures - clear; }
};

// Median milliseconds of frames of body() between clear and swap.
template <class Body>
double medianFrame(int frames, Body body)
{
    std::vector<double> samples;
    for (int i = 0; i < frames; ++i) {
        auto start = std::chrono::steady_clock::now();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        body(i);
        glFinish();
        SDL_GL_SwapBuffers();
        samples.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    return median(samples);
}

// One quad over the whole viewport, depth-tested like a wall; the texture
// repeats about once per 256 pixels, the lightmap is magnified as on walls.
inline void drawFloorLayer(const Renderer& r, unsigned texture, unsigned lightmap, int width,
                           int height, bool withLightmap)
{
    float su = float(width) / 256.0f, sv = float(height) / 256.0f;
    const float corners[4][7] = {
        {-1, -1, 0.5f, 0, 0, 0, 0},
        {1, -1, 0.5f, su, 0, 0.25f, 0},
        {1, 1, 0.5f, su, sv, 0.25f, 0.25f},
        {-1, 1, 0.5f, 0, sv, 0, 0.25f},
    };
    glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, sizeof corners[0], corners[0]);
    r.clientActiveTexture(GL_TEXTURE0_ARB);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, sizeof corners[0], corners[0] + 3);
    r.activeTexture(GL_TEXTURE0_ARB);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    r.clientActiveTexture(GL_TEXTURE1_ARB);
    r.activeTexture(GL_TEXTURE1_ARB);
    if (withLightmap) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, sizeof corners[0], corners[0] + 5);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, lightmap);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    } else {
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glDisable(GL_TEXTURE_2D);
    }
    glDrawArrays(GL_QUADS, 0, 4);
    r.activeTexture(GL_TEXTURE0_ARB);
    r.clientActiveTexture(GL_TEXTURE0_ARB);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopClientAttrib();
    glPopAttrib();
}

// The floor at the current viewport size, with a texture and a lightmap of
// the loaded level (the first ones it has).
inline FillFloor measureFloor(const Renderer& r, int width, int height, int frames)
{
    unsigned texture = 0, lightmap = 0;
    for (int i = 0; r.textureHandles && i < r.textureCount && !texture; i++)
        texture = r.textureHandles[i];
    for (int i = 0; r.lightmapHandles && i < r.lightmapCount && !lightmap; i++)
        lightmap = r.lightmapHandles[i];
    FillFloor f;
    f.width = width;
    f.height = height;
    // The three kinds of frame taken in turn, so a drift in the machine's
    // speed moves them together.
    std::vector<double> samples[3];
    for (int i = 0; i < (frames > 0 ? frames : 1); i++)
        for (int kind = 0; kind < 3; kind++)
            samples[kind].push_back(medianFrame(1, [&](int) {
                if (kind > 0)
                    drawFloorLayer(r, texture, lightmap, width, height, kind == 2);
            }));
    f.clear = median(samples[0]);
    f.oneTexture = median(samples[1]);
    f.twoTextures = median(samples[2]);
    return f;
}

inline void printFloor(const FillFloor& f)
{
    printf("  floor at %d x %d: clear + swap %.3f ms, one textured layer %.3f ms, "
           "texture + lightmap layer %.3f ms (one layer adds %.3f ms)\n",
           f.width, f.height, f.clear, f.oneTexture, f.twoTextures, f.layer());
}

// A frame beside the floor: its ratio to the two-texture layer, and what it
// adds to the given empty frame counted in full-screen layers.
inline void printFrame(const char* label, double ms, const FillFloor& f, double empty)
{
    printf("  %-40s %8.3f ms  = %5.2f x the two-texture layer, adds %6.2f layers\n", label, ms,
           ms / f.twoTextures, (ms - empty) / f.layer());
}
