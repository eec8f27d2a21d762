#include <gtest/gtest.h>
#include <cstdlib>
#include <fstream>
#include "MapParser.h"
#include "MapcTestSupport.h"

using namespace mapctest;

namespace {

std::string world(const std::string& brushes) { return entity("\"classname\" \"worldspawn\"\n" + brushes); }

std::string boxRoom()
{
    return world(hollowRoom({0, 0, 0, 512, 512, 256})) + pointEntity("info_player_start", 100, 100, 64) +
           pointEntity("light", 256, 256, 200, "\"light\" \"400\"\n");
}

} // namespace

TEST(MapcCompile, SealedBoxRoomLoadsAndSplitsSolidFromEmpty)
{
    Compiled c;
    compile(boxRoom(), c);
    ASSERT_TRUE(c.compiled) << c.diag.error;
    ASSERT_TRUE(c.read) << c.problem;
    ASSERT_TRUE(c.valid) << c.problem;
    EXPECT_FALSE(c.stats.leaked);
    EXPECT_TRUE(c.diag.warnings.empty());

    int roomLeaf = leafAt(c.data, 256, 256, 128);
    EXPECT_GE(c.data.leaves[roomLeaf].cluster, 0);
    EXPECT_GT(c.data.leaves[roomLeaf].leafFaceCount, 0);
    int wallLeaf = leafAt(c.data, -8, 256, 128);
    EXPECT_LT(c.data.leaves[wallLeaf].cluster, 0);
    EXPECT_GT(c.data.leaves[wallLeaf].leafBrushCount, 0);
    int beyond = leafAt(c.data, -40, 256, 128);
    EXPECT_LT(c.data.leaves[beyond].cluster, 0);

    // Every leaf's box holds the faces it lists (file frame before reading).
    for (const bsp::BspLeaf& leaf : c.lumps.leaves)
        for (int k = 0; k < leaf.leafFaceCount; ++k) {
            const bsp::BspFace& f = c.lumps.faces[c.lumps.leafFaces[leaf.firstLeafFace + k]];
            for (int v = 0; v < f.vertexCount; ++v)
                for (int a = 0; a < 3; ++a) {
                    float x = c.lumps.vertices[f.firstVertex + v].position[a];
                    EXPECT_GE(x, leaf.mins[a] - 0.01f);
                    EXPECT_LE(x, leaf.maxs[a] + 0.01f);
                }
        }
    // Entities come through in order, worldspawn first.
    std::string text(c.data.entities);
    EXPECT_LT(text.find("worldspawn"), text.find("info_player_start"));
    EXPECT_LT(text.find("info_player_start"), text.find("\"light\" \"400\""));
}

TEST(MapcCompile, ShippedLevelPassesTheGamesValidation)
{
    BspData data;
    char problem[256] = "";
    ASSERT_EQ(readBspFile(HALVEX_GAME_DIR "/baseq3/maps/test.bsp", data, problem, sizeof(problem)),
              BspReadError::None)
        << problem;
    EXPECT_TRUE(validateLevel(data, problem, sizeof(problem))) << problem;
    EXPECT_GT(data.lightmapCount, 0);
    EXPECT_GT(data.visClusterCount, 3);
    std::string text(data.entities);
    EXPECT_NE(text.find("\"classname\" \"info_player_start\""), std::string::npos);
    EXPECT_NE(text.find("\"move_system\" \"1\""), std::string::npos);

    // The upper hall is hidden from the start hall (corridor bend) and from
    // the lower hall (no opening between them).
    int start = clusterAt(data, 384, 384, 160), upper = clusterAt(data, 1280, 1650, 300),
        lower = clusterAt(data, 200, 1700, 0);
    ASSERT_GE(start, 0);
    ASSERT_GE(upper, 0);
    ASSERT_GE(lower, 0);
    EXPECT_FALSE(clusterSees(data, start, upper));
    EXPECT_FALSE(clusterSees(data, lower, upper));
    EXPECT_FALSE(clusterSees(data, upper, lower));

    // Every placed entity stands in open space with a cluster.
    std::ifstream in(HALVEX_SOURCE_DIR "/content/maps/test.map");
    std::string source((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    mapc::MapFile map;
    mapc::Diagnostics diag(false);
    ASSERT_TRUE(mapc::parseMap(source, map, diag)) << diag.error;
    int enemies = 0, fountains = 0;
    for (const mapc::MapEntity& e : map.entities) {
        mapc::Vec3 o;
        if (!e.vector("origin", o)) continue;
        EXPECT_GE(clusterAt(data, o.x, o.y, o.z), 0) << e.value("classname") << " at line " << e.line;
        enemies += std::string(e.value("classname")) == "enemy";
        fountains += std::string(e.value("classname")) == "particle_fountain";
    }
    EXPECT_GE(enemies, 8);
    EXPECT_GE(fountains, 3);

    // Sealed: rays from the player start in every direction end on a wall.
    CollisionLevel level = collisionOf(data);
    Vector3 origin = fromFileFrame(96, 96, 64);
    for (int i = 0; i < 64; ++i) {
        float yaw = i * 0.37f, pitch = (i % 7 - 3) * 0.4f;
        Vector3 dir = fromFileFrame(std::cos(yaw) * std::cos(pitch), std::sin(yaw) * std::cos(pitch), std::sin(pitch));
        TraceResult r;
        traceLevel(level, origin, origin + dir * 20000.0f, r);
        EXPECT_LT(r.fraction, 1.0f) << "ray " << i << " left the level";
    }
}

TEST(MapcCompile, LeakWarnsWithTheEntityAndLeavesEverythingVisible)
{
    // The east wall is missing.
    const int t = 16;
    std::string brushes = brush({-t, -t, -t, 512 + t, 512 + t, 0}, "halvex/floor") +
                          brush({-t, -t, 256, 512 + t, 512 + t, 256 + t}) + brush({-t, -t, 0, 0, 512 + t, 256}) +
                          brush({0, -t, 0, 512, 0, 256}) + brush({0, 512, 0, 512, 512 + t, 256});
    Compiled c;
    compile(world(brushes) + pointEntity("info_player_start", 100, 100, 64), c);
    ASSERT_TRUE(c.compiled) << c.diag.error;
    ASSERT_TRUE(c.valid) << c.problem;
    EXPECT_TRUE(c.stats.leaked);
    bool named = false;
    for (const std::string& w : c.diag.warnings)
        if (w.find("leak") != std::string::npos && w.find("info_player_start") != std::string::npos) named = true;
    EXPECT_TRUE(named);
    ASSERT_GT(c.data.visClusterCount, 0);
    for (int i = 0; i < c.data.visClusterCount; ++i)
        for (int j = 0; j < c.data.visClusterCount; ++j) EXPECT_TRUE(clusterSees(c.data, i, j));
}

TEST(MapcCompile, BrushesWithoutVolumeAreSkippedWithAWarning)
{
    std::string flat = "{\n( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 ) halvex/wall 0 0 0 1 1\n"
                       "( 0 1 0 ) ( 0 0 0 ) ( 1 0 0 ) halvex/wall 0 0 0 1 1\n"
                       "( 0 0 0 ) ( 0 0 1 ) ( 0 1 0 ) halvex/wall 0 0 0 1 1\n}\n";
    std::string collinear = "{\n( 0 0 0 ) ( 1 0 0 ) ( 2 0 0 ) halvex/wall 0 0 0 1 1\n"
                            "( 0 1 0 ) ( 0 0 0 ) ( 1 0 0 ) halvex/wall 0 0 0 1 1\n"
                            "( 0 0 0 ) ( 0 0 1 ) ( 0 1 0 ) halvex/wall 0 0 0 1 1\n"
                            "( 0 0 9 ) ( 0 0 1 ) ( 0 1 9 ) halvex/wall 0 0 0 1 1\n}\n";
    std::string thin = brush({100, 100, 0, 200, 200, 0});  // zero height
    Compiled c;
    compile(world(hollowRoom({0, 0, 0, 512, 512, 256}) + flat + collinear + thin) +
                pointEntity("info_player_start", 100, 100, 64),
            c);
    ASSERT_TRUE(c.compiled) << c.diag.error;
    EXPECT_TRUE(c.valid) << c.problem;
    EXPECT_EQ(c.stats.brushes, 6);
    EXPECT_EQ(c.diag.warnings.size(), 3u);
}

TEST(MapcCompile, MalformedSourcesFailWithTheirLine)
{
    const std::string side = "( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 ) halvex/wall 0 0 0 1 1\n";
    struct Case {
        std::string text;
        int line;
    } cases[] = {
        {"{\n\"classname\" \"worldspawn\"\n{\n( 0 0 x ) ( 1 0 0 ) ( 0 1 0 ) t 0 0 0 1 1\n}\n}\n", 4},
        {"{\n\"classname\" \"worldspawn\"\n", 3},
        {"// comment\n{\n\"classname\" \"worldspawn\n}\n", 3},
        {"{\n\"classname\"\n}\n", 3},
        {"{\n\"classname\" \"worldspawn\"\n{\nbrushDef\n{\n}\n}\n}\n", 4},
        {"{\n\"classname\" \"light\"\n}\n", 1},
        {"{\n\"classname\" \"worldspawn\"\n{\n( 0 0 1e9 ) ( 1 0 0 ) ( 0 1 0 ) t 0 0 0 1 1\n}\n}\n", 4},
        {"{\n\"classname\" \"worldspawn\"\n{\n" + side.substr(0, side.size() - 1) + " 1 2 3 4\n}\n}\n", 4},
        {"hello\n", 1},
        {"{\n\"classname\" \"worldspawn\"\n{\n( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 )\nt 0 0 0 1 1\n}\n}\n", 5},
        {"{\n\"classname\" \"worldspawn\"\n}\n{\n\"k\" \"" + std::string(150, 'v') + "\"\n}\n", 5},
        {"{\n\"classname\" \"worldspawn\"\n}\n{\n\"a\" \"b\"\n\0\n}\n", 6},
        {"", 1},
        {"{\n\"classname\" \"worldspawn\"\n}\n", 1},
    };
    cases[11].text = "{\n\"classname\" \"worldspawn\"\n}\n{\n\"a\" \"b\"\n";
    cases[11].text += '\0';
    cases[11].text += "\n}\n";
    for (const Case& k : cases) {
        Compiled c;
        compile(k.text, c);
        EXPECT_FALSE(c.compiled) << k.text;
        EXPECT_EQ(c.diag.errorLine, k.line) << k.text << " -> " << c.diag.error;
        EXPECT_FALSE(c.diag.error.empty());
    }
}

TEST(MapcCompile, ToolExitsNonZeroOnErrorsAndWritesOnSuccess)
{
    const char* good = "mapc_tool_good.map";
    const char* bad = "mapc_tool_bad.map";
    std::ofstream(good) << boxRoom();
    std::ofstream(bad) << "{\n\"classname\" \"worldspawn\"\n{\n( 0 0 0 ) ( 1 0 0 )\n";
    std::remove("mapc_tool_out.bsp");
    EXPECT_EQ(std::system(MAPC_TOOL " mapc_tool_good.map mapc_tool_out.bsp > /dev/null"), 0);
    BspData data;
    char problem[256] = "";
    EXPECT_EQ(readBspFile("mapc_tool_out.bsp", data, problem, sizeof(problem)), BspReadError::None);
    EXPECT_NE(std::system(MAPC_TOOL " mapc_tool_bad.map mapc_tool_out2.bsp 2> mapc_tool_err.txt"), 0);
    std::ifstream err("mapc_tool_err.txt");
    std::string message((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
    EXPECT_NE(message.find("mapc_tool_bad.map:5: error"), std::string::npos) << message;
    EXPECT_NE(std::system(MAPC_TOOL " missing.map out.bsp 2> /dev/null"), 0);
    EXPECT_NE(std::system(MAPC_TOOL " > /dev/null 2>&1"), 0);
}
