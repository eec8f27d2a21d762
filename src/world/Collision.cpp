// Ray and sphere traces through the level's brushes and curves.
#include "world/Collision.h"

#include <algorithm>
#include <limits>

#include "app/Target.h"
#include "app/TargetList.h"
#include "world/LevelValidation.h"
#include "world/PatchCollision.h"
#include "world/Renderer.h"

namespace {

// Real trees are a few dozen levels deep; a deeper chain comes from a broken
// file and would only exhaust the stack.
constexpr int kMaxWalkDepth = 2048;

// A brush grown by pushing its planes out by r reaches farther than r past
// its edges and corners, so a sphere walk must visit leaves this many radii
// away from the segment or it misses brushes that stop the sphere.
constexpr float kWalkReach = 1.7320508f;

// Below this a sphere trace counts as not having moved at all.
constexpr float kMinSphereFraction = 0.0001f;

struct Walk {
    const CollisionLevel& level;
    const Vector3& segmentStart;  // the whole segment, for the brush test
    const Vector3& segmentEnd;
    TraceResult& result;
    Vector3 low, high;            // the segment's box, for the brush bounds
    int contents;                 // what the trace stops at
    float inverse[3];             // 1 / the segment's extent per axis, for the curve boxes
};

inline float planeDistance(const bsp::BspPlane& plane, const Vector3& p)
{
    return plane.normal[0] * p.x + plane.normal[1] * p.y + plane.normal[2] * p.z - plane.distance;
}

// The convex test shared by brushes and curve facets: side(i, plane, grows)
// gives side i (false: the piece is broken and collides with nothing);
// sides that grow are kept result.radius away, the rest are met as they are.
template <typename Side>
void clipConvex(const Walk& walk, int sideCount, Side side)
{
    TraceResult& result = walk.result;
    float enter = -1.0f;
    float leave = 1.0f;
    bool startsOut = false;
    bool endsOut = false;
    Vector3 struck;
    bool struckAny = false;

    for (int i = 0; i < sideCount; i++) {
        bsp::BspPlane plane;
        bool grows = true;
        if (!side(i, plane, grows))
            return;
        float grow = grows ? result.radius : 0.0f;
        float s = planeDistance(plane, walk.segmentStart) - grow;
        float e = planeDistance(plane, walk.segmentEnd) - grow;

        if (s > 0.0f)
            startsOut = true;
        if (e > 0.0f)
            endsOut = true;
        if (s > 0.0f && e > 0.0f)
            return;  // wholly in front of one side: misses the piece
        if (s <= 0.0f && e <= 0.0f)
            continue;

        if (s > e) {
            float f = (s - kSurfaceEpsilon) / (s - e);
            if (f > enter) {
                enter = f;
                struck = Vector3(plane.normal[0], plane.normal[1], plane.normal[2]);
                struckAny = true;
            }
        } else {
            float f = (s + kSurfaceEpsilon) / (s - e);
            if (f < leave)
                leave = f;
        }
    }

    if (!startsOut) {
        result.startsOut = false;
        if (!endsOut)
            result.allSolid = true;
        return;
    }
    if (enter < leave && enter > -1.0f && enter < result.fraction) {
        if (enter < 0.0f)
            enter = 0.0f;
        if (struckAny)
            result.normal = struck;
        result.fraction = enter;
    }
}

void testBrush(const Walk& walk, const bsp::BspBrush& brush)
{
    const CollisionLevel& level = walk.level;
    if (!rangeInside(brush.firstSide, brush.sideCount, level.brushSideCount))
        return;
    clipConvex(walk, brush.sideCount, [&](int i, bsp::BspPlane& plane, bool&) {
        int planeIndex = level.brushSides[brush.firstSide + i].plane;
        if (planeIndex < 0 || planeIndex >= level.planeCount)
            return false;
        plane = level.planes[planeIndex];
        return true;
    });
}

// True when the whole segment lies in front of one of the brush's
// axis-aligned sides. For such a side the brush test's distance is the
// coordinate itself (or its negation) minus the distance and the radius,
// rounded the same way here, so this rejects exactly the segments the brush
// test would find missing the brush.
inline bool missesBounds(const Walk& walk, const BrushBounds& bounds)
{
    const float r = walk.result.radius;
    const float* d = bounds.distance;
    return (walk.low.x - d[0]) - r > 0.0f || (-walk.high.x - d[1]) - r > 0.0f ||
           (walk.low.y - d[2]) - r > 0.0f || (-walk.high.y - d[3]) - r > 0.0f ||
           (walk.low.z - d[4]) - r > 0.0f || (-walk.high.z - d[5]) - r > 0.0f;
}

// A curve's pieces are small and a segment's box spans many of them: this
// asks whether the segment itself, grown by the radius and a unit (more
// than the clip test's epsilon), passes through the box before the nearest
// hit so far. Only misses are rejected, so no hit is lost.
bool segmentMissesBox(const Walk& walk, const BrushBounds& box)
{
    const float grow = walk.result.radius + 1.0f;
    const float* start = &walk.segmentStart.x;
    const float* end = &walk.segmentEnd.x;
    float enter = 0.0f, leave = walk.result.fraction;
    for (int axis = 0; axis < 3; axis++) {
        float low = -box.distance[2 * axis + 1] - grow, high = box.distance[2 * axis] + grow;
        if (start[axis] == end[axis]) {
            if (start[axis] < low || start[axis] > high)
                return true;
            continue;
        }
        float t0 = (low - start[axis]) * walk.inverse[axis], t1 = (high - start[axis]) * walk.inverse[axis];
        enter = std::max(enter, std::min(t0, t1));
        leave = std::min(leave, std::max(t0, t1));
        if (enter > leave)
            return true;
    }
    return false;
}

// The curves listed in the leaf, each at most once per trace: its box
// first, then each run of facets' box, each facet's box, then the facet.
void testLeafCurves(const Walk& walk, int leafIndex)
{
    PatchCollision* curves = walk.level.curves;
    if (!curves || leafIndex < 0 || size_t(leafIndex) + 1 >= curves->leafFirst.size())
        return;
    for (int32_t n = curves->leafFirst[size_t(leafIndex)]; n < curves->leafFirst[size_t(leafIndex) + 1]; n++) {
        int32_t index = curves->leafSurfaces[size_t(n)];
        if (curves->checkedBy[size_t(index)] == curves->traceNumber)
            continue;
        curves->checkedBy[size_t(index)] = curves->traceNumber;
        const CurveSurface& surface = curves->surfaces[size_t(index)];
        if (!(surface.contents & walk.contents) || missesBounds(walk, surface.bounds) ||
            segmentMissesBox(walk, surface.bounds))
            continue;
        for (int32_t f = 0; f < surface.facetCount; f++) {
            if (f % kFacetsPerRun == 0) {
                const BrushBounds& run = curves->runBounds[size_t(surface.firstRun + f / kFacetsPerRun)];
                if (segmentMissesBox(walk, run)) {
                    f += kFacetsPerRun - 1;
                    continue;
                }
            }
            const PatchFacet& facet = curves->facets[size_t(surface.firstFacet + f)];
            if (segmentMissesBox(walk, facet.bounds))
                continue;
            clipConvex(walk, kFacetSides, [&](int i, bsp::BspPlane& plane, bool& grows) {
                facetSide(facet, i, plane, grows);
                return true;
            });
        }
    }
}

void testLeaf(const Walk& walk, int leafIndex)
{
    testLeafCurves(walk, leafIndex);

    const CollisionLevel& level = walk.level;
    if (leafIndex < 0 || leafIndex >= level.leafCount || !level.leafBrushes || !level.brushes)
        return;
    const bsp::BspLeaf& leaf = level.leaves[leafIndex];
    if (!rangeInside(leaf.firstLeafBrush, leaf.leafBrushCount, level.leafBrushCount))
        return;

    for (int i = 0; i < leaf.leafBrushCount; i++) {
        int brushIndex = level.leafBrushes[leaf.firstLeafBrush + i];
        if (brushIndex < 0 || brushIndex >= level.brushCount)
            continue;
        if (level.brushBounds && missesBounds(walk, level.brushBounds[brushIndex]))
            continue;
        const bsp::BspBrush& brush = level.brushes[brushIndex];
        if (brush.sideCount <= 0)
            continue;
        if (!level.textures || brush.texture < 0 || brush.texture >= level.textureCount)
            continue;
        if (!(level.textures[brush.texture].contents & walk.contents))
            continue;
        testBrush(walk, brush);
    }
}

void walkNode(const Walk& walk, int node, float f0, float f1, Vector3 p0, Vector3 p1, int depth)
{
    const CollisionLevel& level = walk.level;
    TraceResult& result = walk.result;
    if (result.fraction <= f0)
        return;

    while (node >= 0) {
        if (node >= level.nodeCount || ++depth > kMaxWalkDepth)
            return;
        const bsp::BspNode& n = level.nodes[node];
        if (n.plane < 0 || n.plane >= level.planeCount)
            return;
        const bsp::BspPlane& plane = level.planes[n.plane];
        float s = planeDistance(plane, p0);
        float e = planeDistance(plane, p1);
        float r = result.radius * kWalkReach;

        if (s >= r && e >= r) {
            node = n.children[0];
            continue;
        }
        if (s < -r && e < -r) {
            node = n.children[1];
            continue;
        }

        // Crossing: the near side gets the part up to just past the plane,
        // the far side the part from just before it.
        int nearChild = n.children[0];
        int farChild = n.children[1];
        float q1 = 1.0f;
        float q2 = 0.0f;
        if (s < e) {
            nearChild = n.children[1];
            farChild = n.children[0];
            q1 = (s - kSurfaceEpsilon - r) / (s - e);
            q2 = (s + r + kSurfaceEpsilon) / (s - e);
        } else if (s > e) {
            q1 = (s + r + kSurfaceEpsilon) / (s - e);
            q2 = (s - kSurfaceEpsilon - r) / (s - e);
        }
        q1 = q1 < 0.0f ? 0.0f : (q1 > 1.0f ? 1.0f : q1);
        q2 = q2 < 0.0f ? 0.0f : (q2 > 1.0f ? 1.0f : q2);

        Vector3 delta = p1 - p0;
        walkNode(walk, nearChild, f0, f0 + (f1 - f0) * q1, p0, p0 + delta * q1, depth);

        f0 = f0 + (f1 - f0) * q2;
        p0 = p0 + delta * q2;
        if (result.fraction <= f0)
            return;
        node = farChild;
    }
    testLeaf(walk, ~node);
}

void finishTrace(TraceResult& result, const Vector3& start, const Vector3& end)
{
    if (result.fraction == 1.0f) {
        result.hit = false;
        result.endPosition = end;
    } else {
        result.hit = true;
        result.endPosition = start + (end - start) * result.fraction;
    }
}

void resetTrace(TraceResult& result, float radius)
{
    result.startsOut = true;
    result.allSolid = false;
    result.hit = false;
    result.fraction = 1.0f;
    result.radius = radius;
}

} // namespace

CollisionLevel collisionLevelOf(const Renderer& renderer)
{
    CollisionLevel level;
    level.planes = renderer.planes;
    level.nodes = renderer.nodes;
    level.leaves = renderer.leaves;
    level.leafBrushes = renderer.leafBrushes;
    level.brushes = renderer.brushes;
    level.brushSides = renderer.brushSides;
    level.textures = renderer.textures;
    level.brushBounds = renderer.brushBounds;
    level.curves = renderer.curves;
    level.planeCount = renderer.planeCount;
    level.nodeCount = renderer.nodeCount;
    level.leafCount = renderer.leafCount;
    level.leafBrushCount = renderer.leafBrushCount;
    level.brushCount = renderer.brushCount;
    level.brushSideCount = renderer.brushSideCount;
    level.textureCount = renderer.textureCount;
    return level;
}

BrushBounds* buildBrushBounds(const CollisionLevel& level)
{
    const float none = std::numeric_limits<float>::infinity();
    int count = level.brushCount > 0 ? level.brushCount : 0;
    BrushBounds* bounds = new BrushBounds[size_t(count) + 1];
    for (int b = 0; b < count; b++) {
        BrushBounds& out = bounds[b];
        for (float& d : out.distance)
            d = none;
        if (!level.brushes || !level.brushSides || !level.planes)
            continue;
        const bsp::BspBrush& brush = level.brushes[b];
        if (!rangeInside(brush.firstSide, brush.sideCount, level.brushSideCount))
            continue;
        for (int i = 0; i < brush.sideCount; i++) {
            int planeIndex = level.brushSides[brush.firstSide + i].plane;
            if (planeIndex < 0 || planeIndex >= level.planeCount) {
                for (float& d : out.distance)
                    d = none;  // the brush test ignores this brush anyway
                break;
            }
            const bsp::BspPlane& plane = level.planes[planeIndex];
            const float* n = plane.normal;
            // Only exact axis directions: their distance function is the bare coordinate.
            for (int axis = 0; axis < 3; axis++) {
                int other1 = (axis + 1) % 3, other2 = (axis + 2) % 3;
                if (n[other1] != 0.0f || n[other2] != 0.0f)
                    continue;
                int slot = n[axis] == 1.0f ? 2 * axis : n[axis] == -1.0f ? 2 * axis + 1 : -1;
                // Several sides facing one way: the nearest rejects the most.
                if (slot >= 0 && plane.distance < out.distance[slot])
                    out.distance[slot] = plane.distance;
            }
        }
    }
    return bounds;
}

void traceLevel(const CollisionLevel& level, const Vector3& start, const Vector3& end,
                TraceResult& result, int contents)
{
    if (!level.valid() || !start.isFinite() || !end.isFinite() || !std::isfinite(result.radius))
        return;
    if (level.curves && ++level.curves->traceNumber == 0) {
        // The count wrapped: no stamp may match a trace to come.
        std::fill(level.curves->checkedBy.begin(), level.curves->checkedBy.end(), 0u);
        level.curves->traceNumber = 1;
    }
    Walk walk{level, start, end, result, start, start, contents, {0.0f, 0.0f, 0.0f}};
    const float* s = &start.x;
    const float* e = &end.x;
    for (int axis = 0; axis < 3; axis++)
        walk.inverse[axis] = s[axis] != e[axis] ? 1.0f / (e[axis] - s[axis]) : 0.0f;
    walk.low = Vector3(std::fmin(start.x, end.x), std::fmin(start.y, end.y),
                       std::fmin(start.z, end.z));
    walk.high = Vector3(std::fmax(start.x, end.x), std::fmax(start.y, end.y),
                        std::fmax(start.z, end.z));
    walkNode(walk, 0, 0.0f, 1.0f, start, end, 0);
}

void rayTrace(Renderer& renderer, TraceResult& result, const Vector3& start, const Vector3& end,
              bool testTargets, int damage)
{
    if (!renderer.isReady())
        return;
    renderer.traceStart = start;
    renderer.traceEnd = end;
    resetTrace(result, 0.0f);
    traceLevel(collisionLevelOf(renderer), renderer.traceStart, renderer.traceEnd, result);

    TargetList* targets = renderer.targets ? renderer.targets : TargetList::instance;
    if (testTargets && targets) {
        Target* nearest = nullptr;
        float best = 1.0f;
        for (int i = 0; i < targets->count(); i++) {
            Target* target = targets->at(i);
            float f = target->hitFraction(renderer.traceStart, renderer.traceEnd);
            // Behind the start of the ray: never hit, whatever the target says.
            if (f >= 0.0f && f < best) {
                best = f;
                nearest = target;
            }
        }
        if (nearest && best < result.fraction) {
            nearest->takeDamage(damage);
            result.fraction = best;
        }
    }
    finishTrace(result, renderer.traceStart, renderer.traceEnd);
}

void sphereTrace(Renderer& renderer, TraceResult& result, const Vector3& start,
                 const Vector3& end, float radius)
{
    if (!renderer.isReady())
        return;
    renderer.traceStart = start;
    renderer.traceEnd = end;
    resetTrace(result, radius);
    traceLevel(collisionLevelOf(renderer), renderer.traceStart, renderer.traceEnd, result, kBodyContents);
    if (result.fraction < kMinSphereFraction)
        result.fraction = 0.0f;
    finishTrace(result, renderer.traceStart, renderer.traceEnd);
}
