// The level compiler end to end: small written sources and a real editor
// level compiled, read back and checked; the tool's exit codes and messages.
#include <gtest/gtest.h>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include "MapParser.h"
#include "MapcTestSupport.h"
#include "ModelFormats.h"
#include "resources/FileSystem.h"
#include "world/BspLoader.h"
#include "world/PhysicsBody.h"
#include "world/Renderer.h"
#include <sys/stat.h>
#include <sys/wait.h>

using namespace mapctest;

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
        {"{\n\"classname\" \"worldspawn\"\n{\nbrushDef\n{\n" + side + "}\n}\n}\n", 6},
        {"{\n\"classname\" \"worldspawn\"\n{\npatchDef2\n{\nt\n( 3 0 0 0 0 )\n", 7},
        {"{\n\"classname\" \"worldspawn\"\n{\npatchDef3\n{\n}\n}\n}\n", 4},
        {"{\n\"classname\" \"worldspawn\"\n/* never closed\n}\n", 3},
        {"{\n\"classname\" \"light\"\n}\n", 1},
        {"{\n\"classname\" \"worldspawn\"\n{\n( 0 0 1e9 ) ( 1 0 0 ) ( 0 1 0 ) t 0 0 0 1 1\n}\n}\n", 4},
        {"{\n\"classname\" \"worldspawn\"\n{\n" + side.substr(0, side.size() - 1) + " 1 2 3 4\n}\n}\n", 4},
        {"hello\n", 1},
        {"{\n\"classname\" \"worldspawn\"\n{\n( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 )\nt 0 0 0 1 1\n}\n}\n", 5},
        {"{\n\"classname\" \"worldspawn\"\n}\n{\n\"a\" \"b\"\n\0\n}\n", 6},
        {"", 1},
        {"{\n\"classname\" \"worldspawn\"\n}\n", 1},
    };
    cases[13].text = "{\n\"classname\" \"worldspawn\"\n}\n{\n\"a\" \"b\"\n";
    cases[13].text += '\0';
    cases[13].text += "\n}\n";
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
    EXPECT_EQ(std::system(MAPC_TOOL " -dirtscale 2 mapc_tool_good.map mapc_tool_out.bsp > /dev/null"), 0);
    EXPECT_NE(std::system(MAPC_TOOL " -dirtscale nan mapc_tool_good.map mapc_tool_out.bsp 2> /dev/null"), 0);
    EXPECT_EQ(std::system(MAPC_TOOL " -scale 1.5 mapc_tool_good.map mapc_tool_out.bsp > /dev/null"), 0);
    EXPECT_NE(std::system(MAPC_TOOL " -scale 0 mapc_tool_good.map mapc_tool_out.bsp 2> /dev/null"), 0);
}

// A model within its budget that still needs 90 MB, given 60 MB of address
// space: the tool says it ran out of memory and exits 1, it does not abort.
// The address sanitizer takes more space than that and stops the process
// itself when memory runs out, so only other builds can show this.
TEST(MapcCompile, ToolOutOfMemorySaysSoAndExitsOne)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer handles running out of memory itself";
#else
    mkdir("mapc_oom", 0755);
    mkdir("mapc_oom/maps", 0755);
    mkdir("mapc_oom/models", 0755);
    writeBytes("mapc_oom/models/big.ase", "*GEOMOBJECT {\n*MESH {\n*MESH_NUMVERTEX 990000\n*MESH_NUMTVERTEX 990000\n"
                                          "*MESH_NUMFACES 990000\n*MESH_NUMTVFACES 990000\n}\n}\n");
    writeBytes("mapc_oom/maps/m.map", boxRoom() + pointEntity("misc_model", 64, 64, 32, "\"model\" \"models/big.ase\"\n"));
    int status = std::system("ulimit -v 60000; exec " MAPC_TOOL " -threads 1 mapc_oom/maps/m.map mapc_oom/out.bsp "
                             "> /dev/null 2> mapc_oom/err.txt");
    std::ifstream err("mapc_oom/err.txt");
    std::string message((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_NE(message.find("halvex-mapc: out of memory"), std::string::npos) << message;
#endif
}

// A room as an editor writes it: trailing numbers on every side, a brushDef
// pillar, a detail block, a func_group step, a door, a clip brush, a curved
// arch, comments and a long key.
TEST(MapcCompile, EditorSourceWithEntitiesDetailAndPatches)
{
    const std::string longValue(5000, 'x');
    std::string worldBody = "\"classname\" \"worldspawn\"\n\"note\" \"" + longValue + "\"\n// a comment\n\n" +
                            withFlags(hollowRoom({0, 0, 0, 512, 512, 256}), "0 0 0") +
                            asBrushDef(brush({240, 240, 0, 272, 272, 256})) + "/* block\ncomment */\n" +
                            withFlags(brush({400, 400, 0, 448, 448, 40}), "134217728 0 0") +
                            withFlags(brush({40, 400, 0, 120, 480, 100}, "common/clip"), "0 0 0") +
                            patchArch(100, 100, 228, 64);
    std::string source = entity(worldBody) +
                         entity("\"classname\" \"func_group\"\n" + withFlags(brush({300, 40, 0, 360, 100, 16}), "0 0 0")) +
                         entity("\"classname\" \"func_door\"\n\"angle\" \"90\"\n" + brush({20, 200, 0, 36, 264, 128})) +
                         pointEntity("info_player_start", 100, 300, 64) + pointEntity("light", 256, 128, 200);
    Compiled c;
    compile(source, c);
    ASSERT_TRUE(c.compiled) << c.diag.error;
    ASSERT_TRUE(c.valid) << c.problem;
    EXPECT_FALSE(c.stats.leaked);
    EXPECT_NE(c.lumps.entities.find(longValue), std::string::npos);
    EXPECT_NE(c.lumps.entities.find("\"classname\" \"func_door\"\n\"angle\" \"90\"\n\"model\" \"*1\""), std::string::npos);

    // The door is model 1: its six sides and one brush, after the world's.
    ASSERT_EQ(c.lumps.models.size(), 2u);
    const bsp::BspModel& door = c.lumps.models[1];
    EXPECT_EQ(door.faceCount, 6);
    EXPECT_EQ(door.brushCount, 1);
    EXPECT_EQ(door.firstBrush, c.lumps.models[0].brushCount);
    EXPECT_EQ(door.firstFace, c.lumps.models[0].faceCount);
    EXPECT_NEAR(door.mins[0], 20, 0.01);

    // The arch: one type-2 face with its grid, a lightmap, in some leaf.
    int patchFace = -1;
    for (size_t i = 0; i < c.lumps.faces.size(); ++i)
        if (c.lumps.faces[i].type == bsp::FacePatch) patchFace = static_cast<int>(i);
    ASSERT_GE(patchFace, 0);
    const bsp::BspFace& arch = c.lumps.faces[static_cast<size_t>(patchFace)];
    EXPECT_EQ(arch.patchSize[0], 3);
    EXPECT_EQ(arch.patchSize[1], 5);
    EXPECT_EQ(arch.vertexCount, 15);
    EXPECT_GE(arch.lightmap, 0);
    const bsp::BspVertex& apex = c.lumps.vertices[static_cast<size_t>(arch.firstVertex + 2 * 3 + 1)];
    EXPECT_FLOAT_EQ(apex.position[2], 128.0f);
    EXPECT_FLOAT_EQ(apex.texCoord[1], 0.5f);
    EXPECT_NE(std::find(c.lumps.leafFaces.begin(), c.lumps.leafFaces.end(), patchFace), c.lumps.leafFaces.end());

    // The brushDef pillar's top: s and t from the matrix, y / 128 and x / 128.
    bool topFound = false;
    for (const bsp::BspFace& f : c.lumps.faces)
        for (int v = 0; v < f.vertexCount && f.type == bsp::FacePolygon; ++v) {
            const bsp::BspVertex& x = c.lumps.vertices[static_cast<size_t>(f.firstVertex + v)];
            if (x.position[2] != 256.0f || x.position[0] < 240 || x.position[0] > 272 || f.normal[2] != 1.0f) continue;
            topFound = true;
            EXPECT_NEAR(x.texCoord[0], x.position[1] / 128.0f, 1e-4);
            EXPECT_NEAR(x.texCoord[1], x.position[0] / 128.0f, 1e-4);
        }
    (void)topFound;

    // Detail: solid for the game, but its inside is an open leaf of the tree.
    const double inDetail[3] = {424, 424, 20};
    EXPECT_TRUE(insideAnyBrush(c.lumps, inDetail, 1.0));
    EXPECT_GE(clusterAt(c.data, 424, 424, 20), 0);
    EXPECT_GT(c.data.leaves[leafAt(c.data, 424, 424, 20)].leafBrushCount, 0);
    // The clip brush is player clip, not solid, and never drawn.
    for (const bsp::BspBrush& b : c.lumps.brushes) {
        const bsp::BspTexture& t = c.lumps.textures[static_cast<size_t>(b.texture)];
        if (std::string(t.name) == "textures/common/clip") {
            EXPECT_EQ(t.contents & 0x10001, 0x10000);
        } else {
            EXPECT_EQ(t.contents & 1, 1) << t.name;
        }
    }
    for (const bsp::BspFace& f : c.lumps.faces)
        EXPECT_STRNE(c.lumps.textures[static_cast<size_t>(f.texture)].name, "textures/common/clip");

    // Patches of even or too small sides are skipped with a warning.
    Compiled odd;
    compile(entity(worldBody + patchArch(100, 100, 228, 64, 4, 5) + patchArch(100, 100, 228, 64, 1, 1)) +
                pointEntity("info_player_start", 100, 300, 64),
            odd);
    ASSERT_TRUE(odd.compiled) << odd.diag.error;
    EXPECT_EQ(odd.stats.patches, 1);
    EXPECT_EQ(odd.diag.warnings.size(), 2u);
}

// Offsets and lengths are signed 32-bit in the file: a level past 2 GB is
// refused before a byte is written, naming the lump.
TEST(MapcCompile, LevelsPastTheFileFormatAreRefused)
{
    uint64_t lengths[bsp::kLumpCount] = {};
    std::string problem;
    EXPECT_TRUE(mapc::lumpsFitFile(lengths, problem));
    lengths[bsp::LumpLightmaps] = uint64_t(3) << 30;
    EXPECT_FALSE(mapc::lumpsFitFile(lengths, problem));
    EXPECT_NE(problem.find("the lightmaps lump (3221225472 bytes"), std::string::npos) << problem;
    lengths[bsp::LumpLightmaps] = uint64_t(1) << 30;
    lengths[bsp::LumpVisibility] = uint64_t(1) << 30;  // each fits, the second's end does not
    EXPECT_FALSE(mapc::lumpsFitFile(lengths, problem));
    EXPECT_NE(problem.find("the visibility lump"), std::string::npos) << problem;
    lengths[bsp::LumpVisibility] = (uint64_t(1) << 30) - 1024;
    EXPECT_TRUE(mapc::lumpsFitFile(lengths, problem));
}
// A hull whose seams are open by a tenth of a unit is sealed, as no one
// fits through; a gap of a unit leaks.
TEST(MapcCompile, HairlineSeamsSealButGapsLeak)
{
    auto roomWithSeam = [](const char* x) {
        std::string room = hollowRoom({0, 0, 0, 256, 256, 128});
        // The east slab (x from 256 to 272) moved off the wall by the seam.
        std::string moved = brush({256, -16, 0, 272, 272, 128});
        EXPECT_NE(room.find(moved), std::string::npos);
        room.erase(room.find(moved), moved.size());
        for (size_t p = 0; (p = moved.find(" 256 ", p)) != std::string::npos; p += std::strlen(x) + 2)
            moved.replace(p + 1, 3, x);
        return world(room + moved) + pointEntity("info_player_start", 100, 100, 64);
    };
    Compiled seam, gap;
    compile(roomWithSeam("256.1"), seam);
    compile(roomWithSeam("257"), gap);
    ASSERT_TRUE(seam.compiled && gap.compiled) << seam.diag.error << gap.diag.error;
    EXPECT_FALSE(seam.stats.leaked);
    EXPECT_TRUE(gap.stats.leaked);
}

// A real level of Debian's nexuiz-data, with its shader scripts, against the
// level its authors compiled from the same source.
TEST(MapcCompile, RealEditorLevelMatchesItsReference)
{
    const std::string base = HALVEX_TEST_DATA "/nexuiz";
    std::ifstream probe(base + "/maps/eggandbacon.map");
    if (!probe) GTEST_SKIP() << "nexuiz-data not unpacked";
    std::string out = "mapc_eggandbacon.bsp";
    std::string command = std::string(MAPC_TOOL) + " -threads 2 " + base + "/maps/eggandbacon.map " + out + " > /dev/null 2> mapc_egg_err.txt";
    ASSERT_EQ(std::system(command.c_str()), 0);
    BspData ours, reference;
    char problem[256] = "";
    ASSERT_EQ(readBspFile(out.c_str(), ours, problem, sizeof(problem)), BspReadError::None) << problem;
    ASSERT_TRUE(validateLevel(ours, problem, sizeof(problem))) << problem;
    ASSERT_EQ(readBspFile((base + "/maps/eggandbacon.bsp").c_str(), reference, problem, sizeof(problem)),
              BspReadError::None);
    EXPECT_EQ(ours.brushCount, reference.brushCount);
    EXPECT_NEAR(ours.faceCount, reference.faceCount, reference.faceCount / 5);
    EXPECT_GT(ours.visClusterCount, 1);
    // Shader scripts were found: caulk is nodraw, the sky is sky.
    int sky = 0;
    for (int i = 0; i < ours.textureCount; ++i) {
        std::string name = ours.textures[i].name;
        if (name == "textures/common/caulk") {
            EXPECT_NE(ours.textures[i].flags & 0x80, 0);
        }
        sky += (ours.textures[i].flags & 0x4) != 0;
    }
    EXPECT_GT(sky, 0);
    // Where the reference is solid, so are we (leaf brushes, game frame).
    auto solidAt = [](const BspData& d, const Vector3& p) {
        int node = 0;
        while (node >= 0) {
            const bsp::BspPlane& pl = d.planes[d.nodes[node].plane];
            node = pl.normal[0] * p.x + pl.normal[1] * p.y + pl.normal[2] * p.z - pl.distance >= 0 ? d.nodes[node].children[0]
                                                                                                : d.nodes[node].children[1];
        }
        const bsp::BspLeaf& leaf = d.leaves[~node];
        for (int i = 0; i < leaf.leafBrushCount; ++i) {
            const bsp::BspBrush& b = d.brushes[d.leafBrushes[leaf.firstLeafBrush + i]];
            if (!(d.textures[b.texture].contents & 1)) continue;
            bool inside = true;
            for (int s = 0; s < b.sideCount && inside; ++s) {
                const bsp::BspPlane& pl = d.planes[d.brushSides[b.firstSide + s].plane];
                inside = pl.normal[0] * p.x + pl.normal[1] * p.y + pl.normal[2] * p.z - pl.distance < 0;
            }
            if (inside) return true;
        }
        return false;
    };
    int agree = 0;
    for (int i = 0; i < 20000; ++i) {
        long long k = i;
        Vector3 p = fromFileFrame(-2200 + k * 7919 % 4400, -1000 + k * 104729 % 2000, -100 + k * 1299709 % 2700);
        agree += solidAt(ours, p) == solidAt(reference, p);
    }
    EXPECT_GE(agree, 19800);
}
