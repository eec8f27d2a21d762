#pragma once
// The lights of a level and the lightmap pass.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <vector>
#include "BspTree.h"
#include "Diagnostics.h"
#include "MapParser.h"
#include "PlaneSet.h"
#include "Progress.h"
#include "Surfaces.h"

namespace mapc {

// A "light" entity: "light" is both its brightness at the source (0-255
// scale) and the distance at which it fades to nothing; "_color" tints it.
struct PointLight {
    Vec3 origin;
    double intensity = 300.0;
    Vec3 color{1, 1, 1};
    bool linear = false;  // spawnflags 1: fades linearly to nothing at `intensity` units
    double reach = 0;     // beyond this it adds less than a unit

    double valueAt(double dist) const;
    void setReach();  // from intensity and linear
};

// Light from the sky in one direction ("q3map_sun" of a sky shader): a
// luxel gets it when a line towards the sun ends on a sky face.
struct SunLight {
    Vec3 towards;  // unit vector to the sun
    Vec3 color{1, 1, 1};
    double intensity = 0;
};

struct LightSettings {
    double luxel = 16.0;    // world units per luxel (worldspawn "luxel_size")
    double ambient = 16.0;  // added to every luxel, 0-255 (worldspawn "ambient")
    std::vector<PointLight> lights;
    std::vector<SunLight> suns;
    std::vector<char> skySurface;  // per surface: a sky face the sun shines through
};

constexpr int kMaxBlockLuxels = 126;  // a block plus its border fits a page
constexpr double kMaxLevelLuxels = 1024.0 * 128 * 128;  // 1024 pages, 48 MB

// The luxel size at which every surface's block fits kMaxLevelLuxels: the
// one asked for, or a coarser one (with a warning) for very large levels.
double fitLuxelSize(const std::vector<Surface>& surfaces, const PlaneSet& planes, double luxel,
                    Diagnostics& diag);

// Reads the worldspawn keys and the light entities.
LightSettings readLightSettings(const MapFile& map, Diagnostics& diag);

// How long lighting may take: past `seconds` (shared by the lightmaps and
// the model vertices) the rest is lit without shadows, which costs a small
// part of the shadow rays. `cut` counts the surfaces that were.
struct LightBudget {
    std::chrono::steady_clock::time_point deadline;
    std::atomic<int> cut{0};
    Progress* progress = nullptr;  // may be null: hears of each lit surface

    explicit LightBudget(double seconds)
        : deadline(std::chrono::steady_clock::now() +
                   std::chrono::milliseconds(static_cast<long long>(std::max(seconds, 0.0) * 1000)))
    {
    }
    bool inTime() const { return std::chrono::steady_clock::now() < deadline; }
};

// Places every lightmapped surface's block in 128 x 128 pages and lights
// its luxels on `threads` threads; shadows come from the tree's solid leaves.
void buildLightmaps(std::vector<Surface>& surfaces, const PlaneSet& planes, const Tree& tree,
                    const LightSettings& settings, int threads, LightBudget& budget, std::vector<uint8_t>& pages);

// Vertex light of the mesh surfaces (placed models): the same lights and
// shadows at each point, a unit off the surface along its normal.
void lightMeshes(std::vector<Surface>& surfaces, const PlaneSet& planes, const Tree& tree,
                 const LightSettings& settings, int threads, LightBudget& budget);

// Lightmap texture coordinate of a point on the surface.
void lightmapCoord(const Surface& s, const Vec3& p, float out[2]);

} // namespace mapc
