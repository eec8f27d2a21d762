#pragma once
// Light reflected once off the level's lit faces: what a line from a point
// meets first, and the light already stored on that face there.
#include <cstdint>
#include <vector>
#include "BspTree.h"
#include "PlaneSet.h"
#include "Surfaces.h"

namespace mapc {

class DetailShadows;

// Share of the light falling on a face that it sends on (one grey for all
// textures, fitted so the development levels match their reference compiles).
constexpr double kBounceShare = 0.5;

class LitFaces {
public:
    // `pages` holds the stored light of every lightmapped surface; it is read, not copied.
    // `detail` (may be null): the opaque detail brushes, which stop lines too.
    LitFaces(const std::vector<Surface>& surfaces, const PlaneSet& planes, const Tree& tree,
             const std::vector<uint8_t>& pages, double overbright, const DetailShadows* detail);

    // Light on the planar face the line from p along unit `dir` first meets
    // (as computed, before storing); false when it meets no lightmapped face.
    bool lightAlong(const Vec3& p, const Vec3& dir, Vec3& light) const;

private:
    const std::vector<Surface>& surfaces;
    const PlaneSet& planes;
    const Tree& tree;
    const std::vector<uint8_t>& pages;
    double overbright;
    const DetailShadows* detail;
    double far;
    // Per tree node, the faces a line can end on there (lightmapped planar
    // ones): leaves also list model pieces and patches, which lines pass.
    std::vector<std::vector<int>> litOfNode;
};

} // namespace mapc
