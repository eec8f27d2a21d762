#pragma once
// Lightmaps for the placed models the mapper marked: their triangles grouped
// into pieces that each face one side of one world axis, so a block
// projected on that axis covers every triangle once.
#include <vector>
#include "BspTree.h"
#include "MapParser.h"
#include "PlaneSet.h"
#include "Surfaces.h"

namespace mapc {

// misc_model spawnflags bit that asks for lightmaps instead of vertex light.
constexpr int kModelLightmapFlag = 4;

// One piece: the triangles (indices into the mesh's triangle list) and the
// axis its block is projected along.
struct LightmapPiece {
    int axis = 2;
    std::vector<int> triangles;
};

// Groups the given triangles into pieces: connected triangles whose normals
// lean most towards the same side of the same axis, whose shadows on that
// axis do not overlap, spanning at most maxLuxels - 2 luxels of `luxel`
// units. A triangle larger than that alone makes a piece.
std::vector<LightmapPiece> lightmapPieces(const std::vector<PatchPoint>& points, const std::vector<int>& triangles,
                                          const std::vector<int>& chosen, double luxel, int maxLuxels);

// The normal at every triangle corner (three per triangle): the area-weighted
// normals of the triangles at that spot bending from this one by less than
// 60 degrees, so round shapes light smoothly and hard edges stay hard.
std::vector<Vec3> cornerNormals(const std::vector<PatchPoint>& points, const std::vector<int>& triangles);

// Luxels the block of a lightmapped mesh takes at `luxel` units (border included).
double meshBlockLuxels(const Surface& s, double luxel);

// Luxel size, origin and size of a lightmapped mesh's block: `luxel` times
// the model's scale, coarser when the piece would not fit maxLuxels.
void meshBlock(Surface& s, double luxel, int maxLuxels);

// Where each luxel of a lightmapped mesh is lit from: the nearest point of
// its triangles, a unit off along the smooth normal there (pulled towards
// the triangle's middle when that is inside a brush), and that normal.
void meshLuxelPoints(const Surface& s, const Tree& tree, const PlaneSet& planes, std::vector<Vec3>& points,
                     std::vector<Vec3>& normals);

} // namespace mapc
