// Traces and the physics body on a small level built here: one solid box,
// one non-solid box, split by one node.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "CollisionReference.h"
#include "app/Target.h"
#include "app/TargetList.h"
#include "world/BspData.h"
#include "world/PatchCollision.h"
#include "world/PhysicsBody.h"

namespace {

constexpr float kEps = 0.03125f;

// Solid box x 100..200, non-solid box x -200..-100; both span -1000..1000
// in y and z. Node 0 splits at x = 0: front leaf 0 holds the solid box.
CollisionReference boxLevel()
{
    CollisionReference L;
    auto plane = [&](float x, float y, float z, float d) {
        bsp::BspPlane p{{x, y, z}, d};
        L.planes.push_back(p);
    };
    plane(1, 0, 0, 0);  // the split
    auto box = [&](float x0, float x1, int texture) {
        int first = int(L.brushSides.size());
        int base = int(L.planes.size());
        plane(-1, 0, 0, -x0);
        plane(1, 0, 0, x1);
        plane(0, 1, 0, 1000);
        plane(0, -1, 0, 1000);
        plane(0, 0, 1, 1000);
        plane(0, 0, -1, 1000);
        for (int i = 0; i < 6; i++)
            L.brushSides.push_back({base + i, texture});
        L.brushes.push_back({first, 6, texture});
    };
    box(100, 200, 0);
    box(-200, -100, 1);
    bsp::BspTexture solid{}, water{};
    solid.contents = bsp::kContentsSolid;
    water.contents = 32;
    L.textures = {solid, water};
    bsp::BspNode node{};
    node.plane = 0;
    node.children[0] = ~0;
    node.children[1] = ~1;
    L.nodes.push_back(node);
    bsp::BspLeaf front{}, back{};
    front.firstLeafBrush = 0;
    front.leafBrushCount = 1;
    back.firstLeafBrush = 1;
    back.leafBrushCount = 1;
    L.leaves = {front, back};
    L.leafBrushes = {0, 1};
    return L;
}

struct FixedTarget : Target {
    float fraction;
    int damage = 0;
    explicit FixedTarget(float f) : fraction(f) {}
    float hitFraction(const Vector3&, const Vector3&) override { return fraction; }
    void takeDamage(int amount) override { damage += amount; }
    bool update() override { return true; }
};

class Collision : public ::testing::Test {
protected:
    void SetUp() override { boxLevel().fillRenderer(renderer); }
    TargetList targets;
    Renderer renderer;
};

TEST_F(Collision, EmptySpaceSegmentTravelsWholly)
{
    TraceResult r;
    rayTrace(renderer, r, {-50, 0, 0}, {50, 10, 5}, false, 0);
    EXPECT_FALSE(r.hit);
    EXPECT_EQ(r.fraction, 1.0f);
    EXPECT_TRUE(r.startsOut);
    EXPECT_EQ(r.endPosition.x, 50.0f);
    EXPECT_EQ(r.endPosition.y, 10.0f);
}

TEST_F(Collision, RayStopsOneEpsilonShortOfTheWall)
{
    TraceResult r;
    rayTrace(renderer, r, {0, 0, 0}, {200, 0, 0}, false, 0);
    ASSERT_TRUE(r.hit);
    EXPECT_NEAR(r.endPosition.x, 100.0f - kEps, 1e-4);
    EXPECT_EQ(r.normal.x, -1.0f);
}

TEST_F(Collision, StartInsideBrushIsReportedButDoesNotShorten)
{
    TraceResult r;
    rayTrace(renderer, r, {150, 0, 0}, {300, 0, 0}, false, 0);
    EXPECT_FALSE(r.startsOut);
    EXPECT_FALSE(r.allSolid);
    EXPECT_EQ(r.fraction, 1.0f);
    rayTrace(renderer, r, {150, 0, 0}, {160, 0, 0}, false, 0);
    EXPECT_FALSE(r.startsOut);
    EXPECT_TRUE(r.allSolid);
    EXPECT_EQ(r.fraction, 1.0f);
}

TEST_F(Collision, NonSolidBrushIsIgnored)
{
    TraceResult r;
    rayTrace(renderer, r, {-50, 0, 0}, {-300, 0, 0}, false, 0);
    EXPECT_FALSE(r.hit);
    sphereTrace(renderer, r, {-50, 0, 0}, {-300, 0, 0}, 20.0f);
    EXPECT_FALSE(r.hit);
}

TEST_F(Collision, SphereKeepsItsRadiusAndTinyFractionsBecomeZero)
{
    TraceResult r;
    sphereTrace(renderer, r, {0, 0, 0}, {100, 0, 0}, 20.0f);
    ASSERT_TRUE(r.hit);
    EXPECT_NEAR(r.endPosition.x, 80.0f - kEps, 1e-4);
    EXPECT_EQ(r.radius, 20.0f);
    // Starting within the epsilon of the grown plane: a negative raw fraction.
    sphereTrace(renderer, r, {79.99f, 0, 0}, {90, 0, 0}, 20.0f);
    ASSERT_TRUE(r.hit);
    EXPECT_EQ(r.fraction, 0.0f);
    EXPECT_EQ(r.endPosition.x, 79.99f);
    // Long segment, entering a hair past the start: 1e-5 < 0.0001.
    sphereTrace(renderer, r, {80.0f - kEps - 0.05f, 0, 0}, {80.0f + 5000.0f, 0, 0}, 20.0f);
    ASSERT_TRUE(r.hit);
    EXPECT_EQ(r.fraction, 0.0f);
}

TEST_F(Collision, NearestTargetInFrontOfTheWallTakesTheDamage)
{
    FixedTarget beyond(0.9f), inFront(0.2f), sameAgain(0.2f);
    targets.add(&beyond);
    targets.add(&inFront);
    targets.add(&sameAgain);
    renderer.targets = &targets;
    TraceResult r;
    r.normal = Vector3(0, 7, 0);
    rayTrace(renderer, r, {0, 0, 0}, {200, 0, 0}, true, 10);
    EXPECT_EQ(inFront.damage, 10);
    EXPECT_EQ(sameAgain.damage, 0);  // the first of equal fractions wins
    EXPECT_EQ(beyond.damage, 0);
    EXPECT_FLOAT_EQ(r.fraction, 0.2f);
    EXPECT_TRUE(r.hit);
    EXPECT_FLOAT_EQ(r.endPosition.x, 40.0f);

    // Only a target beyond the wall: the wall wins, nobody is hurt.
    TargetList farOnly;
    farOnly.add(&beyond);
    renderer.targets = &farOnly;
    rayTrace(renderer, r, {0, 0, 0}, {200, 0, 0}, true, 10);
    EXPECT_EQ(beyond.damage, 0);
    EXPECT_NEAR(r.endPosition.x, 100.0f - kEps, 1e-4);
    // Without target testing nobody is asked.
    renderer.targets = &targets;
    rayTrace(renderer, r, {0, 0, 0}, {200, 0, 0}, false, 10);
    EXPECT_EQ(inFront.damage, 10);
}

TEST_F(Collision, NoLevelLeavesTheResultAlone)
{
    Renderer empty;
    TraceResult r;
    r.fraction = 0.25f;
    r.hit = true;
    rayTrace(empty, r, {0, 0, 0}, {200, 0, 0}, false, 0);
    sphereTrace(empty, r, {0, 0, 0}, {200, 0, 0}, 20.0f);
    EXPECT_EQ(r.fraction, 0.25f);
    EXPECT_TRUE(r.hit);
}

TEST_F(Collision, BodyBouncesOffTheWallAtTheSameSpeed)
{
    PhysicsBody body(20.0f, 0.006f, true, Vector3());
    body.renderer = &renderer;
    body.velocity = Vector3(600, 0, 0);
    Vector3 p(75, 0, 0);
    body.stepBy(p, 1.0f / 60.0f);
    EXPECT_NEAR(100.0f - p.x, 20.0f + 2 * kEps, 1e-4);
    EXPECT_NEAR(body.velocity.x, -600.0f * 0.994f, 1e-3);
    EXPECT_NEAR(body.velocity.y, 0.0f, 1e-4);

    // A glancing hit mirrors only the normal component.
    body.velocity = Vector3(600, 0, 600);
    p = Vector3(75, 0, 0);
    body.stepBy(p, 1.0f / 60.0f);
    EXPECT_NEAR(body.velocity.x, -600.0f * 0.994f, 1e-2);
    EXPECT_NEAR(body.velocity.z, 600.0f * 0.994f, 1e-2);
}

TEST_F(Collision, FrictionAndGravityScaledByTime)
{
    PhysicsBody body(20.0f, 0.006f, true, Vector3(0, -10, 0));
    body.renderer = &renderer;
    body.velocity = Vector3(0, 0, 100);
    Vector3 p(-50, 0, 0);
    // Half a second is thirty sixtieths: thirty times the loss of one.
    body.stepBy(p, 0.5f);
    EXPECT_NEAR(p.z, 50.0f, 1e-4);
    const float kept = 100.0f * std::pow(0.994f, 30.0f);
    EXPECT_NEAR(body.velocity.z, kept, 1e-3);
    EXPECT_NEAR(body.velocity.y, -5.0f, 1e-4);
    body.frictionOn = false;
    body.stepBy(p, 0.5f);
    EXPECT_NEAR(body.velocity.z, kept, 1e-3);
    EXPECT_NEAR(body.velocity.y, -10.0f, 1e-4);
    body.impulse(2.0f, Vector3(1, 0, 0));
    EXPECT_EQ(body.velocity.x, 2.0f);
}

TEST_F(Collision, NonFiniteStateNeverSpinsOrCrashes)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    PhysicsBody body(20.0f, 0.006f, true, Vector3());
    body.renderer = &renderer;

    Vector3 p(0, 0, 0);
    body.velocity = Vector3(nan, 0, 0);
    body.stepBy(p, 1.0f / 60.0f);
    EXPECT_TRUE(p.isFinite());
    EXPECT_TRUE(body.velocity.isFinite());

    body.velocity = Vector3(inf, -inf, 0);
    body.stepBy(p, 1.0f / 60.0f);
    EXPECT_TRUE(p.isFinite());
    EXPECT_TRUE(body.velocity.isFinite());

    // Finite but overflowing once scaled by the frame time.
    body.velocity = Vector3(3e38f, 0, 0);
    body.stepBy(p, 100.0f);
    EXPECT_TRUE(p.isFinite());
    EXPECT_TRUE(body.velocity.isFinite());

    body.velocity = Vector3(10, 0, 0);
    body.stepBy(p, nan);
    body.stepBy(p, inf);
    EXPECT_TRUE(p.isFinite());

    Vector3 lost(nan, 0, inf);
    body.velocity = Vector3(10, 0, 0);
    body.stepBy(lost, 1.0f / 60.0f);  // position left alone, body stopped
    EXPECT_EQ(body.velocity.x, 0.0f);

    TraceResult r;
    sphereTrace(renderer, r, Vector3(nan, 0, 0), Vector3(500, 0, 0), 20.0f);
    EXPECT_FALSE(r.hit);
    sphereTrace(renderer, r, Vector3(0, 0, 0), Vector3(500, 0, 0), inf);
    EXPECT_FALSE(r.hit);
}

TEST_F(Collision, BrokenIndicesAreSkipped)
{
    CollisionReference L = boxLevel();
    L.brushSides[0].plane = 99999;     // solid box: a side plane out of range
    L.leaves[1].leafBrushCount = 500;  // back leaf: brush range past the list
    L.brushes[1].texture = -3;
    Renderer broken;
    L.fillRenderer(broken);
    TraceResult r;
    rayTrace(broken, r, {0, 0, 0}, {300, 0, 0}, false, 0);
    EXPECT_FALSE(r.hit);
    rayTrace(broken, r, {0, 0, 0}, {-300, 0, 0}, false, 0);
    EXPECT_FALSE(r.hit);
}

// Forty of the largest wavy patches, one flagged non-solid and one with a
// broken grid: the solid ones cost no more than the level's facet budget
// (cut coarser, then the last dropped), the other two nothing.
TEST(Curves, HostilePatchesCostABoundedAmount)
{
    const int side = 65, faces = 42;
    BspData data;
    data.textureCount = 2;
    data.textures = new bsp::BspTexture[2]();
    data.textures[0].contents = bsp::kContentsSolid;
    data.textures[1].contents = bsp::kContentsSolid;
    data.textures[1].flags = bsp::kSurfaceNonSolid;
    data.vertexCount = side * side;
    data.vertices = new bsp::BspVertex[size_t(data.vertexCount)]();
    for (int v = 0; v < side; v++)
        for (int u = 0; u < side; u++) {
            bsp::BspVertex& p = data.vertices[v * side + u];
            p.position[0] = float(u) * 16.0f;
            p.position[1] = (u + v) % 2 ? 200.0f : -200.0f;
            p.position[2] = float(v) * 16.0f;
            p.normal[1] = 1.0f;
        }
    data.faceCount = faces;
    data.faces = new bsp::BspFace[faces]();
    for (int f = 0; f < faces; f++) {
        bsp::BspFace& face = data.faces[f];
        face.type = bsp::FacePatch;
        face.texture = f == 0 ? 1 : 0;
        face.vertexCount = side * side;
        face.patchSize[0] = face.patchSize[1] = f == 1 ? 4 : side;
    }
    CurveReport report;
    std::unique_ptr<PatchCollision> curves(buildPatchCollision(data, report));
    ASSERT_TRUE(curves);
    EXPECT_EQ(report.notSolid, 1);
    EXPECT_EQ(report.bad, 1);
    EXPECT_GT(report.coarsened, 0);
    EXPECT_GT(report.overBudget, 0);
    EXPECT_LE(curves->facets.size(), size_t(kMaxCurveFacets));
    EXPECT_GT(curves->facets.size(), size_t(kMaxCurveFacets) / 2);
    EXPECT_EQ(report.surfaces + report.overBudget, faces - 2);
}

} // namespace
