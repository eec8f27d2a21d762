#pragma once
#include <cstdint>
#include <vector>
#include "BspTree.h"
#include "Diagnostics.h"
#include "MapParser.h"
#include "PlaneSet.h"
#include "Surfaces.h"

namespace mapc {

// A "light" entity: "light" is both its brightness at the source (0-255
// scale) and the distance at which it fades to nothing; "_color" tints it.
struct PointLight {
    Vec3 origin;
    double intensity = 300.0;
    Vec3 color{1, 1, 1};
};

struct LightSettings {
    double luxel = 16.0;    // world units per luxel (worldspawn "luxel_size")
    double ambient = 16.0;  // added to every luxel, 0-255 (worldspawn "ambient")
    std::vector<PointLight> lights;
};

constexpr int kMaxBlockLuxels = 126;  // a block plus its border fits a page
constexpr double kMaxLevelLuxels = 1024.0 * 128 * 128;  // 1024 pages, 48 MB

// The luxel size at which every surface's block fits kMaxLevelLuxels: the
// one asked for, or a coarser one (with a warning) for very large levels.
double fitLuxelSize(const std::vector<Surface>& surfaces, const PlaneSet& planes, double luxel,
                    Diagnostics& diag);

// Reads the worldspawn keys and the light entities.
LightSettings readLightSettings(const MapFile& map, Diagnostics& diag);

// Places every lightmapped surface's block in 128 x 128 pages and lights
// its luxels on `threads` threads; shadows come from the tree's solid leaves.
void buildLightmaps(std::vector<Surface>& surfaces, const PlaneSet& planes, const Tree& tree,
                    const LightSettings& settings, int threads, std::vector<uint8_t>& pages);

// Vertex light of the mesh surfaces (placed models): the same lights and
// shadows at each point, a unit off the surface along its normal.
void lightMeshes(std::vector<Surface>& surfaces, const PlaneSet& planes, const Tree& tree,
                 const LightSettings& settings, int threads);

// Lightmap texture coordinate of a point on the surface.
void lightmapCoord(const Surface& s, const Vec3& p, float out[2]);

} // namespace mapc
