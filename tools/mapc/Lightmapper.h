#pragma once
// The lights of a level and the lightmap pass.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <vector>
#include "BspTree.h"
#include "Diagnostics.h"
#include "LightSources.h"
#include "PlaneSet.h"
#include "Progress.h"
#include "Surfaces.h"

namespace mapc {

constexpr int kMaxBlockLuxels = 126;  // a block plus its border fits a page
constexpr double kMaxLevelLuxels = 1024.0 * 128 * 128;  // 1024 pages, 48 MB

// The luxel size at which every surface's block fits kMaxLevelLuxels: the
// one asked for, or a coarser one (with a warning) for very large levels.
double fitLuxelSize(const std::vector<Surface>& surfaces, const PlaneSet& planes, double luxel,
                    Diagnostics& diag);

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
