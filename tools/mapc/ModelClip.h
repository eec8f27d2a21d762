#pragma once
// Collision for placed models the mapper marked solid: each triangle becomes
// a thin brush the game's traces stop at, listed in the leaves like a detail
// brush (it splits nothing and casts no shadow; the mesh is what is drawn).
#include <vector>
#include "BrushSet.h"
#include "Diagnostics.h"
#include "MapMath.h"
#include "PlaneSet.h"
#include "Surfaces.h"

namespace mapc {

// The editors' misc_model spawnflag asking for collision.
constexpr int kModelClipFlag = 2;
// How far a triangle's brush reaches behind its front face.
constexpr double kModelClipThickness = 2.0;
// Brushes made from models per level at most; the rest collide with nothing.
constexpr size_t kMaxModelClipBrushes = 65536;

// One placed triangle, clockwise seen from the front, and the texture record
// its brush carries.
struct ClipTriangle {
    Vec3 corner[3];
    int texture = 0;
    int contents = 1;
};

// Turns the triangles into world brushes placed after the last world brush
// (so the world's run stays whole); surfaces naming later brushes are
// renumbered. Returns the brushes added.
int addModelClipBrushes(const std::vector<ClipTriangle>& triangles, PlaneSet& planes, BrushSet& brushes,
                        std::vector<Surface>& surfaces, Diagnostics& diag);

} // namespace mapc
