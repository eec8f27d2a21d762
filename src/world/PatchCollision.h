#pragma once
// The collision surfaces of a level's curved patches, made once at load from
// their control grids (before the drawing tessellation replaces them). Plain
// data read by the traces; no GL.
#include <cstdint>
#include <string>
#include <vector>

#include "world/Collision.h"

struct BspData;

// Collision is cut coarser than drawing: the chord error stays under this.
constexpr float kCurveTolerance = 4.0f;
constexpr int kMaxCurveSteps = 8;  // per 3 x 3 block side
// How far a facet reaches behind its surface, so a ray crossing it has a
// span to enter and leave and a curve blocks from either side.
constexpr float kFacetThickness = 2.0f;
// A patch's outer edges reach this far past its border, so the slightly
// different chords of two neighbouring patches leave no gap between them.
constexpr float kSeamMargin = kCurveTolerance;
// A whole level's facets at most: hostile patches cost a bounded amount.
constexpr int kMaxCurveFacets = 65536;

// One triangle of a curve as a thin convex piece: its surface, a back side
// kFacetThickness behind, a side through each edge, and its box (the six
// axis planes, kept in bounds). An edge shared with the next triangle of the
// same patch stands on the plane halfway between the two surfaces and is
// not pushed out by a sphere's radius, so the two pieces meet with neither a
// gap nor a ridge; a sphere slides over a crease instead of catching on it.
struct PatchFacet {
    static constexpr int kPlanes = 5;  // surface, back, three edges
    BrushBounds bounds;
    bsp::BspPlane planes[kPlanes];
    uint8_t grows[kPlanes];  // 1: pushed out by the trace's radius
};

// A surface's facets in grid order, kFacetsPerRun at a time, share a box
// the traces test first: neighbours in the grid lie together in space.
constexpr int kFacetsPerRun = 8;

// One patch face: its facets and what it is made of.
struct CurveSurface {
    int32_t face = 0;
    int32_t contents = 0;
    int32_t firstFacet = 0;
    int32_t facetCount = 0;
    int32_t firstRun = 0;  // runBounds[firstRun + k] holds facets k * kFacetsPerRun on
    BrushBounds bounds;    // the union of its facets' boxes
};

struct PatchCollision {
    std::vector<PatchFacet> facets;
    std::vector<BrushBounds> runBounds;
    std::vector<CurveSurface> surfaces;
    // Surfaces per leaf, like the leaf brushes: leaf i lists
    // leafSurfaces[leafFirst[i] .. leafFirst[i + 1]).
    std::vector<int32_t> leafFirst;
    std::vector<int32_t> leafSurfaces;
    // A trace tests a surface listed in several leaves once: it stamps the
    // surface with its own number.
    std::vector<uint32_t> checkedBy;
    uint32_t traceNumber = 0;
};

struct CurveReport {
    int surfaces = 0;
    int facets = 0;
    int notSolid = 0;         // skipped: non-solid flag or contents
    int bad = 0;              // skipped: broken grid or vertex range
    int coarsened = 0;        // cut coarser to stay in the budget
    int overBudget = 0;       // skipped: budget spent
};

// Builds the collision surfaces of every solid patch of data (still holding
// the control grids) and lists them in the leaves their boxes touch.
// Returns null only when memory runs out.
PatchCollision* buildPatchCollision(const BspData& data, CurveReport& report);

// The piece's sides one at a time for the convex test: side i < kPlanes is
// planes[i], the rest the box's six axis planes.
constexpr int kFacetSides = PatchFacet::kPlanes + 6;
inline void facetSide(const PatchFacet& facet, int i, bsp::BspPlane& plane, bool& grows)
{
    if (i < PatchFacet::kPlanes) {
        plane = facet.planes[i];
        grows = facet.grows[i] != 0;
        return;
    }
    int slot = i - PatchFacet::kPlanes;
    int axis = slot / 2;
    plane.normal[0] = plane.normal[1] = plane.normal[2] = 0.0f;
    plane.normal[axis] = slot % 2 == 0 ? 1.0f : -1.0f;
    plane.distance = facet.bounds.distance[slot];
    grows = true;
}
