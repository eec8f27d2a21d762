#pragma once
// Turning a level's curved patches into triangle meshes at load.
#include <cstdint>
#include <string>
#include <vector>

#include "world/BspFormat.h"
#include "world/Vector3.h"

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

// What all of a level's curves may become together. Past it every patch is
// cut coarser (the steps per block halved until the whole fits); when even
// one step per block is too much, the patches past the budget are left out.
// A few hundred thousand suffice for any real level.
constexpr long kPatchVertexBudget = 1L << 20;
constexpr long kPatchTriangleBudget = 2L << 20;

struct PatchReport {
    int tessellated = 0;
    int triangles = 0;
    std::vector<std::string> skipped;  // one reason per bad patch
    int stepCap = kMaxPatchSteps;      // below kMaxPatchSteps: drawn coarser to fit the budget
    int overBudget = 0;                // good patches left out to fit the budget
};

// How finely one patch is cut: one step count per block side and direction
// for the whole patch, so neighbouring blocks share their edge points and no
// crack opens between them.
struct PatchSteps {
    int u = 1, v = 1;
};

// Whether the patch can be cut: odd control grid sides of 3 to
// kMaxControlSide and enough vertices, all inside the level; if not, why.
bool checkPatch(const BspData& data, const bsp::BspFace& face, char* why, size_t size);

// The triangles the patch is cut into at these steps.
long patchTriangles(const bsp::BspFace& face, PatchSteps steps);

// The steps that keep the chord error of every block under `tolerance`, at
// most maxSteps per block side and maxCells cells along the whole patch.
// The patch must be good (odd sides of at least 3, vertices in the level).
// Drawing and collision cut the same curves, each to its own tolerance.
PatchSteps patchSteps(const BspData& data, const bsp::BspFace& face, float tolerance, int maxSteps,
                      int maxCells);

inline Vector3 vertexPosition(const bsp::BspVertex& v)
{
    return Vector3(v.position[0], v.position[1], v.position[2]);
}

// A bad patch (grid sides even or under 3, too few vertices for its grid,
// vertex range outside the array) gets empty ranges and a line in
// report.skipped. Returns false only when memory runs out; the level must
// then be refused.
bool tessellatePatches(BspData& data, PatchReport& report);
