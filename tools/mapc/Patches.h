#pragma once
// Curved patches as compiler surfaces.
#include <vector>
#include "BrushSet.h"
#include "BspTree.h"
#include "BspWriter.h"
#include "MapParser.h"
#include "Surfaces.h"
#include "TextureLibrary.h"

namespace mapc {

// A patch's surface: the control grid as written. Grids whose sides are not
// odd and at least 3 are skipped with a warning; false then.
bool makePatchSurface(const MapPatch& patch, int model, TextureLibrary& library, BrushSet& textures,
                      Surface& out, Diagnostics& diag);

// Lists the patch in every inside leaf its control box reaches; false when
// it reaches none (wholly outside the level or inside solid).
bool placePatch(const Tree& tree, const PlaneSet& planes, Surface& s);

// Every inside, open leaf the box reaches.
void leavesInBox(const Tree& tree, const PlaneSet& planes, const Bounds& box, std::vector<int>& out);

// Point and unit normal at (u, v) in 0..1 over the whole grid.
Vec3 patchPoint(const Surface& s, double u, double v, Vec3* normal);

// The patch cut into triangles that stray from the curve by at most about
// `tolerance` units, three corners each appended to `corners`.
void patchTriangles(const Surface& s, double tolerance, std::vector<Vec3>& corners);

// Lightmap block size of a patch: its length along each grid direction in
// luxels, at least 2 and at most `maxLuxels`.
void patchLightmapSize(const Surface& s, double luxel, int maxLuxels, int size[2]);

// Appends the type-2 face with the control points as its vertices.
void emitPatchFace(const Surface& s, LevelLumps& out);

} // namespace mapc
