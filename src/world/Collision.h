#pragma once
// Traces through the level: what they take and what they find.
#include <cstdint>
#include "world/BspFormat.h"
#include "world/TraceResult.h"
#include "world/Vector3.h"

class Renderer;
struct PatchCollision;

// How far a brush reaches along the six axis directions (+x, -x, +y, -y,
// +z, -z), taken from its axis-aligned sides: the distance of the side
// facing that way, +inf when it has none. A segment wholly in front of such
// a side misses the brush, so a trace can skip it without reading its sides.
struct BrushBounds {
    float distance[6];
};

// Brush planes are kept this far away: a trace stops short of a surface and
// a body is pushed out by it, so rounding never leaves anything inside.
constexpr float kSurfaceEpsilon = 0.03125f;

// The parts of a level a trace reads. Borrowed, never owned.
struct CollisionLevel {
    const bsp::BspPlane* planes = nullptr;
    const bsp::BspNode* nodes = nullptr;
    const bsp::BspLeaf* leaves = nullptr;
    const int32_t* leafBrushes = nullptr;
    const bsp::BspBrush* brushes = nullptr;
    const bsp::BspBrushSide* brushSides = nullptr;
    const bsp::BspTexture* textures = nullptr;
    const BrushBounds* brushBounds = nullptr;  // one per brush; null: no early reject
    PatchCollision* curves = nullptr;  // null: no curves; traces stamp its surfaces
    int32_t planeCount = 0;
    int32_t nodeCount = 0;
    int32_t leafCount = 0;
    int32_t leafBrushCount = 0;
    int32_t brushCount = 0;
    int32_t brushSideCount = 0;
    int32_t textureCount = 0;

    bool valid() const { return planes && nodes && leaves && nodeCount > 0; }
};

// The renderer's level store as a collision level.
CollisionLevel collisionLevelOf(const Renderer& renderer);

// One BrushBounds per brush of the level (at least one entry), computed once
// at load. A brush with a bad side range or plane index gets no bounds.
BrushBounds* buildBrushBounds(const CollisionLevel& level);

// What the shot stops at, and what a moving body stops at.
constexpr int kShotContents = bsp::kContentsSolid;
constexpr int kBodyContents = bsp::kContentsSolid | bsp::kContentsPlayerClip;

// Walks the BSP tree for start..end and lowers result.fraction to where the
// segment, kept result.radius away from every brush plane, first enters a
// brush or curve facet whose contents share a bit with `contents`. Also
// clears startsOut / sets allSolid. Does not set hit or the end position. A
// segment or radius that is not finite is not walked.
void traceLevel(const CollisionLevel& level, const Vector3& start, const Vector3& end,
                TraceResult& result, int contents = kShotContents);

// The shot: a ray through the level that may also hit the TargetList's
// targets; the nearest target in front of the wall takes the damage. Leaves
// result untouched when the level is not ready.
void rayTrace(Renderer& renderer, TraceResult& result, const Vector3& start, const Vector3& end,
              bool testTargets, int damage);

// A sphere of the given radius moved from start to end. Leaves result
// untouched when the level is not ready.
void sphereTrace(Renderer& renderer, TraceResult& result, const Vector3& start,
                 const Vector3& end, float radius);
