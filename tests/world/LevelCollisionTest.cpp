// Traces and the camera's body on real OpenArena levels, checked against a
// brute-force reference that tests every solid brush directly.
#include <gtest/gtest.h>

#include <random>

#include "RealLevels.h"
#include "CollisionReference.h"
#include "world/BspData.h"
#include "world/BspLoader.h"
#include "world/LevelValidation.h"
#include "world/PatchCollision.h"
#include "world/PhysicsBody.h"

namespace {

const char* const kLevels[] = {"oa_dm1", "q3dm6ish", "aggressor"};

// A random point of the level's box that lies in a leaf of some cluster,
// that is in the open rather than in the void or inside a wall.
Vector3 openPoint(const CollisionReference& L, std::mt19937& rng)
{
    std::uniform_real_distribution<float> ux(L.mins.x, L.maxs.x), uy(L.mins.y, L.maxs.y),
        uz(L.mins.z, L.maxs.z);
    for (;;) {
        Vector3 p(ux(rng), uy(rng), uz(rng));
        if (L.leaves[size_t(L.findLeaf(p))].cluster >= 0)
            return p;
    }
}

// Hands the game loader's reading of the file (checked and converted, no GL
// work) to the renderer through the loader's own install step; it counts as
// ready without a GL context.
bool loadWithGameReader(const std::string& path, Renderer& r)
{
    BspData data;
    char problem[256];
    if (readBspFile(path.c_str(), data, problem, sizeof problem) != BspReadError::None ||
        !validateLevel(data, problem, sizeof problem))
        return false;
    r.freeLevel();
    CurveReport curves;
    BspLoader::install(data, r, new unsigned[size_t(data.textureCount) + 1](),
                       new unsigned[size_t(data.lightmapCount) + 1](), buildPatchCollision(data, curves));
    r.multitextureReady = true;
    return r.isReady();
}

class Level : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        // The reference reads the file on its own; the traces run on what
        // the game's reader made of it.
        ASSERT_TRUE(level.read(openArenaMap(GetParam()))) << GetParam();
        ASSERT_TRUE(loadWithGameReader(openArenaMap(GetParam()), renderer)) << GetParam();
    }
    CollisionReference level;
    Renderer renderer;
};

TEST_P(Level, TracesAgreeWithEveryBrushTestedDirectly)
{
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> offset(-512.0f, 512.0f);
    const float radii[2] = {0.0f, 20.0f};
    for (float radius : radii) {
        int mismatches = 0, hits = 0;
        for (int i = 0; i < 10000; i++) {
            Vector3 start = openPoint(level, rng);
            Vector3 end = start + Vector3(offset(rng), offset(rng), offset(rng));
            TraceResult r;
            if (radius == 0.0f)
                rayTrace(renderer, r, start, end, false, 0);
            else
                sphereTrace(renderer, r, start, end, radius);
            float expected = level.bruteForceFraction(start, end, radius, renderer.curves,
                                                      radius == 0.0f ? kShotContents : kBodyContents);
            hits += r.hit;
            if (std::fabs(r.fraction - expected) > 1e-4f || r.hit != (expected != 1.0f)) {
                if (++mismatches <= 5)
                    ADD_FAILURE() << GetParam() << " radius " << radius << " segment (" << start.x
                                  << " " << start.y << " " << start.z << ") -> (" << end.x << " "
                                  << end.y << " " << end.z << "): tree " << r.fraction
                                  << ", every brush " << expected;
            }
        }
        EXPECT_EQ(mismatches, 0) << GetParam() << " radius " << radius;
        // The segments must exercise walls, not just open space.
        EXPECT_GT(hits, 1000) << GetParam() << " radius " << radius;
    }
}

TEST_P(Level, CameraPushedAroundNeverEndsInsideAWall)
{
    std::mt19937 rng(99);
    PhysicsBody body(20.0f, 0.006f, true, Vector3());
    body.renderer = &renderer;
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f), push(0.0f, 600.0f);
    Vector3 p = openPoint(level, rng);
    while (level.insideSolid(p, 21.0f))
        p = openPoint(level, rng);

    int bounces = 0;
    for (int frame = 0; frame < 10000; frame++) {
        if (frame % 10 == 0) {
            Vector3 d(unit(rng), unit(rng), unit(rng));
            if (d.length() > 0.01f)
                body.impulse(push(rng), d * (1.0f / d.length()));
        }
        Vector3 before = body.velocity;
        body.stepBy(p, 1.0f / 60.0f);
        bounces += before.dot(body.velocity) < 0.5f * before.lengthSquared();
        ASSERT_TRUE(p.isFinite());
        ASSERT_FALSE(level.insideSolid(p, 19.0f))
            << GetParam() << " frame " << frame << " at " << p.x << " " << p.y << " " << p.z;
    }
    EXPECT_GT(bounces, 10) << "the camera never met a wall";
}

// The per-brush bounds only skip brushes the brush test would find missed:
// on every real level a trace gives the same bits with and without them.
TEST(BrushBounds, NeverChangeATraceOnAnyRealLevel)
{
    std::vector<std::string> paths = realLevels();
    ASSERT_EQ(paths.size(), 50u);
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f), offset(-300.0f, 300.0f);
    int differences = 0, hits = 0;
    for (const std::string& path : paths) {
        Renderer renderer;
        ASSERT_TRUE(loadWithGameReader(path, renderer)) << path;
        ASSERT_NE(renderer.brushBounds, nullptr);
        CollisionLevel with = collisionLevelOf(renderer);
        CollisionLevel without = with;
        without.brushBounds = nullptr;
        const bsp::BspNode& root = renderer.nodes[0];
        for (int i = 0; i < 1000; i++) {
            // Anywhere in the root box, walls and void included.
            Vector3 start;
            float* c = &start.x;
            for (int k = 0; k < 3; k++)
                c[k] = root.mins[k] + (root.maxs[k] - root.mins[k]) * unit(rng);
            Vector3 end = start + Vector3(offset(rng), offset(rng), offset(rng));
            for (float radius : {0.0f, 20.0f}) {
                TraceResult a, b;
                a.radius = b.radius = radius;
                traceLevel(with, start, end, a);
                traceLevel(without, start, end, b);
                hits += b.fraction < 1.0f;
                bool same = a.fraction == b.fraction && a.startsOut == b.startsOut &&
                            a.allSolid == b.allSolid && a.normal.x == b.normal.x &&
                            a.normal.y == b.normal.y && a.normal.z == b.normal.z;
                if (!same && ++differences <= 5)
                    ADD_FAILURE() << path << " radius " << radius << ": " << a.fraction
                                  << " with bounds, " << b.fraction << " without";
            }
        }
    }
    EXPECT_EQ(differences, 0);
    EXPECT_GT(hits, 25000);
}

// Rays and spheres aimed at the curves of every real level that has them
// agree with every facet and brush tested one by one: the leaf lists miss no
// curve and a curve listed in many leaves is met once.
TEST(Curves, TracesAgreeWithEveryFacetTestedDirectly)
{
    std::mt19937 rng(77);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f), offset(-200.0f, 200.0f);
    int levels = 0, mismatches = 0, curveHits = 0;
    for (const std::string& path : realLevels()) {
        Renderer renderer;
        CollisionReference reference;
        ASSERT_TRUE(loadWithGameReader(path, renderer)) << path;
        if (!renderer.curves || renderer.curves->surfaces.empty())
            continue;
        ASSERT_TRUE(reference.read(path)) << path;
        levels++;
        const PatchCollision& curves = *renderer.curves;
        for (int i = 0; i < 120; i++) {
            // From near a random facet's box, anywhere around it.
            const PatchFacet& facet = curves.facets[size_t(unit(rng) * float(curves.facets.size())) %
                                                    curves.facets.size()];
            const float* d = facet.bounds.distance;
            Vector3 start(-d[1] + (d[0] + d[1]) * unit(rng), -d[3] + (d[2] + d[3]) * unit(rng),
                          -d[5] + (d[4] + d[5]) * unit(rng));
            start = start + Vector3(offset(rng), offset(rng), offset(rng)) * 0.25f;
            Vector3 end = start + Vector3(offset(rng), offset(rng), offset(rng));
            for (float radius : {0.0f, 20.0f}) {
                int contents = radius == 0.0f ? kShotContents : kBodyContents;
                TraceResult r;
                if (radius == 0.0f)
                    rayTrace(renderer, r, start, end, false, 0);
                else
                    sphereTrace(renderer, r, start, end, radius);
                float expected = reference.bruteForceFraction(start, end, radius, &curves, contents);
                curveHits += expected < reference.bruteForceFraction(start, end, radius, nullptr, contents);
                if ((std::fabs(r.fraction - expected) > 1e-4f || r.hit != (expected != 1.0f)) &&
                    ++mismatches <= 5)
                    ADD_FAILURE() << path << " radius " << radius << " (" << start.x << " " << start.y
                                  << " " << start.z << ") -> (" << end.x << " " << end.y << " " << end.z
                                  << "): tree " << r.fraction << ", every piece " << expected;
            }
        }
    }
    EXPECT_GE(levels, 10);
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(curveHits, levels * 60) << "the segments must meet curves, not only walls";
}

INSTANTIATE_TEST_SUITE_P(OpenArena, Level, ::testing::ValuesIn(kLevels));

} // namespace
