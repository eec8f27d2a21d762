// Drawing levels with a real GL context (Mesa under Xvfb): the visibility
// walk, face marks and the leaf entity pass on a small level, then every
// real OpenArena level from its first player start. The surfaces drawn
// (lightmaps, curves, shader stages) are in RenderSurfacesTest.cpp.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <string>
#include <vector>

#include "RealLevels.h"
#include "RenderTestSupport.h"
#include "TestLevel.h"
#include "TestWindow.h"
#include "objects/WorldEntity.h"
#include "resources/TextureManager.h"
#include "world/BspLoader.h"

namespace {

::testing::Environment* const window =
    ::testing::AddGlobalTestEnvironment(new TestWindow("level test", 800, 600));

// Counts its draws and does what the test asks of it.
struct Probe : WorldEntity {
    static int destroyed;
    int draws = 0;
    bool finished = false;          // draw answers false
    bool hasMove = false;           // moves to `target` in its next draw
    Vector3 target;
    ~Probe() override { destroyed++; }
    bool draw() override
    {
        draws++;
        if (hasMove) {
            hasMove = false;
            position = target;
            moved = true;
        }
        return !finished;
    }
};
int Probe::destroyed = 0;

bool loadTestLevel(World& world, const TestLevel& level)
{
    if (!level.write("render_test.bsp"))
        return false;
    BspLoader loader;
    return loader.load("render_test.bsp", &world.targets);
}

} // namespace

TEST(Render, MultitextureAndReadiness)
{
    World world;
    ASSERT_TRUE(world.renderer.setupMultitexture());
    EXPECT_FALSE(world.renderer.isReady());
    EXPECT_EQ(world.renderer.findLeaf(Vector3(1, 2, 3)), 0);
    world.renderer.renderLevel();  // nothing loaded: nothing to do
    ASSERT_TRUE(loadTestLevel(world, TestLevel()));
    EXPECT_TRUE(world.renderer.isReady());
    EXPECT_EQ(world.renderer.findLeaf(Vector3(5, 0, 0)), 0);
    EXPECT_EQ(world.renderer.findLeaf(Vector3(-5, 0, 0)), 1);

    // The report is one call of four lines.
    SystemLog& log = SystemLog::get();
    size_t last = log.storedLines();
    ASSERT_GE(last, 4u);
    EXPECT_STREQ(log.line(last - 4), LOG_WHITE "::BspLoader map loaded: render_test.bsp");
    EXPECT_STREQ(log.line(last - 3), LOG_WHITE "   1 Textures loaded");
    EXPECT_STREQ(log.line(last - 2), LOG_WHITE "   1 Lightmaps loaded");
    EXPECT_STREQ(log.line(last - 1), LOG_WHITE "   3 Faces loaded");

    // Loading over a level frees it first: its entities go with it.
    Probe::destroyed = 0;
    world.renderer.addEntity(1, new Probe);
    ASSERT_TRUE(loadTestLevel(world, TestLevel()));
    EXPECT_EQ(Probe::destroyed, 1);
    EXPECT_EQ(world.renderer.leafEntities[1].count, 0);
}

TEST(Render, WalkAndFaceMarks)
{
    World world;
    ASSERT_TRUE(world.renderer.setupMultitexture());
    ASSERT_TRUE(loadTestLevel(world, TestLevel()));
    Renderer& r = world.renderer;
    world.lookAt(Vector3(10, 70, 200), Vector3(0, 0, -1));

    // A frustum never updated rejects the root: nothing drawn.
    world.frame(false);
    EXPECT_EQ(r.stats.leavesDrawn, 0);

    // Far leaf (behind the plane) first; the face both leaves list is drawn
    // once, the patch never.
    world.frame();
    EXPECT_EQ(world.drawnLeaves(), (std::vector<int>{1, 0}));
    EXPECT_EQ(r.stats.facesDrawn, 2);
    EXPECT_EQ(world.markedFaces(), 2);
    EXPECT_EQ(r.faceMarks[2], 0);
    world.frame();
    EXPECT_EQ(r.stats.facesDrawn, 2);  // and again the next frame

    // The faces are on screen.
    EXPECT_GT(litPixels(), 100u);

    // Cluster 0 that sees only itself hides leaf 1; a camera in no cluster
    // and a level without visibility see everything.
    r.visBits[0] = 0x1;
    world.frame();
    EXPECT_EQ(world.drawnLeaves(), (std::vector<int>{0}));
    EXPECT_EQ(r.clusterVisible(1, -1), 1);
    uint8_t* bits = r.visBits;
    r.visBits = nullptr;
    world.frame();
    EXPECT_EQ(world.drawnLeaves(), (std::vector<int>{1, 0}));
    r.visBits = bits;

    // Facing away, inside the node's box: only the camera's own leaf stays.
    world.lookAt(Vector3(10, 70, 250), Vector3(0, 0, 1));
    r.visBits[0] = 0x3;
    world.frame();
    EXPECT_EQ(world.drawnLeaves(), (std::vector<int>{0}));
    EXPECT_EQ(world.camera.leaf, 0);
    world.camera.leaf = 1;  // pretend it stood in the other leaf
    world.timer.frameCount++;
    world.renderer.renderLevel();
    EXPECT_EQ(world.drawnLeaves(), (std::vector<int>{1}));
}

TEST(Render, LeafEntityPass)
{
    World world;
    ASSERT_TRUE(world.renderer.setupMultitexture());
    ASSERT_TRUE(loadTestLevel(world, TestLevel()));
    Renderer& r = world.renderer;
    world.lookAt(Vector3(10, 70, 200), Vector3(0, 0, -1));
    Probe::destroyed = 0;

    // A finished entity goes; the last one takes its slot and is drawn in
    // the same pass.
    Probe* finished = new Probe;
    finished->finished = true;
    Probe* stays = new Probe;
    ASSERT_TRUE(r.addEntity(0, finished));
    ASSERT_TRUE(r.addEntity(0, stays));
    world.frame();
    EXPECT_EQ(Probe::destroyed, 1);
    EXPECT_EQ(stays->draws, 1);
    EXPECT_EQ(r.leafEntities[0].count, 1);
    EXPECT_EQ(r.leafEntities[0].entities[0], stays);

    // Leaf 1 is drawn before leaf 0: walking from 1 into 0 draws twice in
    // the frame, walking from 0 into 1 waits for the next frame.
    Probe* walker = new Probe;
    walker->position = Vector3(-50, 0, 0);
    walker->hasMove = true;
    walker->target = Vector3(50, 0, 0);
    ASSERT_TRUE(r.addEntity(1, walker));
    world.frame();
    EXPECT_EQ(walker->draws, 2);
    EXPECT_EQ(r.leafEntities[1].count, 0);
    EXPECT_EQ(r.leafEntities[0].count, 2);
    walker->hasMove = true;
    walker->target = Vector3(-50, 0, 0);
    world.frame();
    EXPECT_EQ(walker->draws, 3);
    EXPECT_EQ(r.leafEntities[1].count, 1);
    world.frame();
    EXPECT_EQ(walker->draws, 4);

    // 100 per leaf; a walker whose new leaf is full stays where it was.
    while (r.leafEntities[0].count < kLeafEntityCapacity)
        ASSERT_TRUE(r.addEntity(0, new Probe));
    Probe extra;
    EXPECT_FALSE(r.addEntity(0, &extra));
    EXPECT_FALSE(r.addEntity(7, &extra));
    walker->hasMove = true;
    walker->target = Vector3(50, 0, 0);
    world.frame();
    EXPECT_EQ(r.leafEntities[1].count, 1);
    EXPECT_EQ(r.leafEntities[1].entities[0], walker);

    // Freeing the level destroys every entity it owns.
    int before = Probe::destroyed;
    r.freeLevel();
    EXPECT_EQ(Probe::destroyed, before + 1 + kLeafEntityCapacity);
    EXPECT_FALSE(r.levelLoaded);
    EXPECT_EQ(r.leafEntities, nullptr);
    EXPECT_EQ(r.nodeCount, 0);
    r.freeLevel();  // twice is harmless
    Probe::destroyed--;  // `extra` is destroyed by the stack
}

// A leaf hanging below two nodes is reached twice: its entities are drawn
// each time, its faces once, and no leaf after it is lost.
TEST(Render, LeafBelowTwoNodesIsWalkedEachTime)
{
    World world;
    ASSERT_TRUE(world.renderer.setupMultitexture());
    TestLevel level;
    level.nodes[0].children[0] = 1;
    level.nodes.push_back({1, {-1, -2}, {-300, -300, -300}, {300, 300, 300}});
    ASSERT_TRUE(loadTestLevel(world, level));
    Renderer& r = world.renderer;
    world.lookAt(Vector3(10, 70, 200), Vector3(0, 0, -1));
    Probe* probe = new Probe;
    ASSERT_TRUE(r.addEntity(1, probe));
    world.frame();
    EXPECT_EQ(world.drawnLeaves(), (std::vector<int>{1, 1, 0}));
    EXPECT_EQ(probe->draws, 2);
    EXPECT_EQ(r.stats.facesDrawn, 2);
}

TEST(Render, RealLevelsFromTheirPlayerStart)
{
    World world;
    ASSERT_TRUE(world.renderer.setupMultitexture());
    std::vector<std::string> paths = realLevels();
    ASSERT_EQ(paths.size(), 50u);
    BspLoader loader;
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        std::vector<uint8_t> bytes = readWholeFile(path);
        ASSERT_GT(bytes.size(), 144u);
        std::string entities(reinterpret_cast<const char*>(bytes.data()) + lumpOffset(bytes, 0),
                             size_t(lumpLength(bytes, 0)));
        float origin[3];
        ASSERT_TRUE(firstSpawn(entities, origin));

        ASSERT_TRUE(loader.load(path.c_str(), &world.targets));
        ASSERT_TRUE(world.renderer.levelLoaded);
        world.lookAt(fromFileFrame(origin[0], origin[1], origin[2]) + Vector3(0, 16, 0),
                     Vector3(0, 0, 1));
        world.camera.turn(0.4f, Vector3(0, 1, 0));  // one mouse turn
        world.frame();

        const RenderStats& stats = world.renderer.stats;
        EXPECT_GT(stats.facesDrawn, 0);
        // Each draw marks a distinct face: none drawn twice.
        EXPECT_EQ(stats.facesDrawn + stats.skyFacesSeen, world.markedFaces());

        EXPECT_GT(litPixels(), 800u * 600u / 10u) << "mostly black frame";

        world.renderer.freeLevel();
        world.targets.clear();
        TextureManager::get().releaseAll();
    }
}
