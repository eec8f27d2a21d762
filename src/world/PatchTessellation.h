#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct BspData;

// Patch faces (type 2) hold a grid of control points, each 3 x 3 block a
// biquadratic Bezier surface. At load they become triangles: the new
// vertices and indices are appended to the level's arrays and the face's
// vertex and mesh-vertex ranges then name them, so it is drawn like a mesh.
// Each patch is cut finer where it bends more (the chord error stays under
// kPatchTolerance units), never finer than kMaxPatchSteps per block side nor
// beyond kMaxPatchSide grid points per side.
constexpr float kPatchTolerance = 1.0f;
constexpr int kMaxPatchSteps = 8;
constexpr int kMaxPatchSide = 129;
constexpr int kMaxControlSide = 65;

struct PatchReport {
    int tessellated = 0;
    int triangles = 0;
    std::vector<std::string> skipped;  // one reason per bad patch
};

// A bad patch (grid sides even or under 3, vertex range outside the array)
// gets empty ranges and a line in report.skipped. Returns false only when
// memory runs out; the level must then be refused.
bool tessellatePatches(BspData& data, PatchReport& report);
