#pragma once
// The level loader.
#include "world/Overbright.h"

class TargetList;
struct BspData;
struct PatchCollision;
class Renderer;
struct SkyLook;

// Loads an IBSP level into the Renderer: read and check the whole file,
// make its textures and lightmaps, hand the level to the Renderer, then let
// EntitieParser place the player, enemies and particle fountains.
class BspLoader {
public:
    // False (one red log line, Renderer untouched) when the file is missing,
    // not IBSP or corrupt.
    bool load(const char* path, TargetList* targets);

    // Lightmaps and vertex colours are brightened by this total factor: the
    // data at load, the rest as texture x light is drawn (splitOverbright).
    float overbright = kDefaultOverbright;

    // False leaves the curves without collision surfaces; only the load
    // benchmark turns it off, to time the load without them.
    bool buildCurveCollision = true;

    // The GL-free hand-over: moves a checked level and its handle arrays
    // (owned afterwards by the renderer) into the renderer, builds spheres,
    // leaf lists and face marks, sets levelLoaded. The curves' collision
    // surfaces (null: none) are made from the control grids before the
    // drawing tessellation and owned by the renderer afterwards too.
    static void install(BspData& data, Renderer& renderer, unsigned* textureHandles,
                        unsigned* lightmapHandles, PatchCollision* curves = nullptr);

private:
    // Surface pictures, lightmaps (from the level, or the pictures beside
    // it when its lightmap lump is empty) and the sky. May set
    // data.lightmapCount to the number of external lightmaps.
    void makeTextures(BspData& data, const char* path, unsigned* textureHandles,
                      unsigned** lightmapHandles, SkyLook* sky);
};
