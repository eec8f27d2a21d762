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

namespace {

std::string world(const std::string& brushes) { return entity("\"classname\" \"worldspawn\"\n" + brushes); }

std::string boxRoom()
{
    return world(hollowRoom({0, 0, 0, 512, 512, 256})) + pointEntity("info_player_start", 100, 100, 64) +
           pointEntity("light", 256, 256, 200, "\"light\" \"1000\"\n");
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

// Models placed with misc_model, read from the search path: an ASE square
// turned and scaled, an MD3 triangle stretched per axis; missing and broken
// models are left out with one warning each.
TEST(MapcCompile, PlacedModelsBecomeMeshFaces)
{
    char dir[] = "/tmp/mapc_modelsXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string root = dir;
    mkdir((root + "/models").c_str(), 0755);
    writeBytes(root + "/models/square.ase", aseSquare("C:\\art\\textures\\halvex\\metal.tga"));
    std::vector<unsigned char> md3 = md3Triangle("models/tri/skin.tga");
    writeBytes(root + "/models/tri.md3", std::string(md3.begin(), md3.end()));
    writeBytes(root + "/models/junk.md3", "IDP3\x0f\0\0\0 short");
    // Two surfaces of a million vertices each: within the old per-surface
    // limit, past the model's budget (the surfaces could share their bytes).
    std::vector<unsigned char> huge = md3;
    huge.resize(108 + 2 * 108);
    huge[84] = 2;  // surfaces
    std::copy(huge.begin() + 108, huge.begin() + 216, huge.begin() + 216);
    for (size_t surface : {size_t(108), size_t(216)}) {
        huge[surface + 80] = 0;
        huge[surface + 82] = 0x10;  // 1 << 20 vertices
        huge[surface + 104] = 108;      // its end
        huge[surface + 105] = 0;
    }
    writeBytes(root + "/models/huge.md3", std::string(huge.begin(), huge.end()));
    FileSystem files;
    files.setReporter([](void*, bool, const char*) {}, nullptr);
    files.addFolder(root.c_str());
    mapc::CompileOptions options;
    options.files = &files;

    std::string source = boxRoom() +
                         pointEntity("misc_model", 100, 100, 64,
                                     "\"model\" \"models/square.ase\"\n\"angle\" \"90\"\n\"modelscale\" \"2\"\n") +
                         pointEntity("misc_model", 200, 200, 100,
                                     "\"model\" \"models/tri.md3\"\n\"modelscale_vec\" \"1 2 3\"\n") +
                         pointEntity("misc_model", 300, 300, 100, "\"model\" \"models/missing.md3\"\n") +
                         pointEntity("misc_model", 300, 300, 100, "\"model\" \"models/junk.md3\"\n") +
                         pointEntity("misc_model", 300, 300, 100, "\"model\" \"models/huge.md3\"\n") +
                         pointEntity("misc_model", 310, 300, 100, "\"model\" \"models/huge.md3\"\n") +
                         pointEntity("misc_model", 300, 300, 100,
                                     "\"model\" \"models/square.ase\"\n\"modelscale\" \"1e6\"\n");  // past the limit
    Compiled c;
    compile(source, c, options);
    ASSERT_TRUE(c.compiled) << c.diag.error;
    ASSERT_TRUE(c.valid) << c.problem;
    EXPECT_FALSE(c.stats.leaked);
    int modelWarnings = 0;
    for (const std::string& w : c.diag.warnings) modelWarnings += w.find("misc_model") != std::string::npos;
    EXPECT_EQ(modelWarnings, 4);
    int budgetWarnings = 0;
    for (const std::string& w : c.diag.warnings)
        budgetWarnings += w.find("misc_model 'models/huge.md3': 2097152 vertices and 2 triangles, past the budget") !=
                          std::string::npos;
    EXPECT_EQ(budgetWarnings, 1);  // once for the model, not per placement

    double area[2] = {0, 0};
    for (size_t fi = 0; fi < c.lumps.faces.size(); ++fi) {
        const bsp::BspFace& f = c.lumps.faces[fi];
        if (f.type != bsp::FaceMesh) continue;
        const std::string name = c.lumps.textures[static_cast<size_t>(f.texture)].name;
        ASSERT_TRUE(name == "textures/halvex/metal" || name == "models/tri/skin") << name;
        const int which = name == "models/tri/skin";
        EXPECT_EQ(f.lightmap, -1);
        EXPECT_NEAR(f.normal[2], 1.0f, 1e-4);
        EXPECT_NE(std::find(c.lumps.leafFaces.begin(), c.lumps.leafFaces.end(), static_cast<int>(fi)),
                  c.lumps.leafFaces.end());
        for (int k = 0; k + 2 < f.meshVertexCount; k += 3) {
            const float* p[3];
            for (int j = 0; j < 3; ++j)
                p[j] = c.lumps.vertices[static_cast<size_t>(f.firstVertex + c.lumps.meshVertices[static_cast<size_t>(f.firstMeshVertex + k + j)])].position;
            double ux = p[1][0] - p[0][0], uy = p[1][1] - p[0][1], vx = p[2][0] - p[0][0], vy = p[2][1] - p[0][1];
            double cross = ux * vy - uy * vx;
            EXPECT_LT(cross, 0.0);  // clockwise seen from the front (above)
            area[which] += -cross / 2;
        }
        for (int v = 0; v < f.vertexCount; ++v) {
            const bsp::BspVertex& x = c.lumps.vertices[static_cast<size_t>(f.firstVertex + v)];
            if (which == 0) {  // turned a quarter left: x from 80 to 100, y from 100 to 120
                EXPECT_TRUE(x.position[0] >= 79.99f && x.position[0] <= 100.01f && x.position[1] >= 99.99f &&
                            x.position[1] <= 120.01f && x.position[2] == 64.0f) << x.position[0] << " " << x.position[1];
                EXPECT_GT(x.color[0], 8);  // the room's light, above the ambient (16 / 4 stored)
                EXPECT_EQ(x.color[0], x.color[2]);
            } else if (x.position[1] > 300.0f) {
                EXPECT_FLOAT_EQ(x.position[0], 200.0f);
                EXPECT_FLOAT_EQ(x.position[1], 328.0f);
                EXPECT_FLOAT_EQ(x.texCoord[1], 1.0f);
            }
        }
    }
    EXPECT_NEAR(area[0], 400.0, 0.01);
    EXPECT_NEAR(area[1], 0.5 * 64 * 128, 0.01);
    EXPECT_EQ(std::system(("rm -rf " + root).c_str()), 0);
}

namespace {

// Brightness (mean of r g b as stored) of the lightmap under the point,
// looked for on the lit triangles facing up; -1 when none holds it.
double luxelUnder(const mapc::LevelLumps& l, double x, double y, double z)
{
    for (const bsp::BspFace& f : l.faces) {
        if (f.lightmap < 0) continue;
        for (int k = 0; k + 2 < f.meshVertexCount; k += 3) {
            const bsp::BspVertex* v[3];
            for (int j = 0; j < 3; ++j)
                v[j] = &l.vertices[static_cast<size_t>(f.firstVertex + l.meshVertices[static_cast<size_t>(f.firstMeshVertex + k + j)])];
            // Clockwise from above: the weights of (x, y) in the triangle.
            auto edge = [&](int a, int b) {
                return (v[b]->position[0] - v[a]->position[0]) * (y - v[a]->position[1]) -
                       (v[b]->position[1] - v[a]->position[1]) * (x - v[a]->position[0]);
            };
            const double whole = -edge(0, 1) - edge(1, 2) - edge(2, 0);
            const double w[3] = {-edge(1, 2), -edge(2, 0), -edge(0, 1)};
            if (w[0] < 0 || w[1] < 0 || w[2] < 0 || whole <= 0) continue;
            double height = 0, s = 0, t = 0;
            for (int j = 0; j < 3; ++j) {
                height += v[j]->position[2] * w[j] / whole;
                s += v[j]->lightmapCoord[0] * w[j] / whole;
                t += v[j]->lightmapCoord[1] * w[j] / whole;
            }
            if (std::fabs(height - z) > 1.0) continue;
            const int px = std::clamp(static_cast<int>(s * bsp::kLightmapSize), 0, bsp::kLightmapSize - 1);
            const int py = std::clamp(static_cast<int>(t * bsp::kLightmapSize), 0, bsp::kLightmapSize - 1);
            const uint8_t* texel = &l.lightmaps[static_cast<size_t>(f.lightmap) * bsp::kLightmapBytes +
                                                (static_cast<size_t>(py) * bsp::kLightmapSize + px) * 3];
            return (texel[0] + texel[1] + texel[2]) / 3.0;
        }
    }
    return -1.0;
}

} // namespace

// A placed model whose spawnflags ask for lightmaps (4) is lit luxel by
// luxel: a lid of five squares standing on a plate under the room's light
// becomes one lit face per side it faces and one for the plate, the lid's
// top bright, and the lid shades the plate around it (models shade their
// own light). Without the flag the same model keeps its vertex light.
TEST(MapcCompile, MarkedModelsGetLightmaps)
{
    char dir[] = "/tmp/mapc_litmodelsXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string root = dir;
    mkdir((root + "/models").c_str(), 0755);
    // Lid corners 0-3 at the bottom, 4-7 at the top, then the plate's 8-11,
    // each counter-clockwise from above.
    const std::vector<std::array<double, 3>> corners = {
        {-48, -48, 0}, {48, -48, 0}, {48, 48, 0}, {-48, 48, 0}, {-48, -48, 100}, {48, -48, 100},
        {48, 48, 100}, {-48, 48, 100}, {-140, -140, 2}, {140, -140, 2}, {140, 140, 2}, {-140, 140, 2}};
    writeBytes(root + "/models/lid.ase",
               aseMesh("textures/halvex/metal.tga", corners,
                       {4, 5, 6, 4, 6, 7, 0, 1, 5, 0, 5, 4, 1, 2, 6, 1, 6, 5, 2, 3, 7, 2, 7, 6, 3, 0, 4, 3, 4, 7,
                        8, 9, 10, 8, 10, 11}));
    FileSystem files;
    files.setReporter([](void*, bool, const char*) {}, nullptr);
    files.addFolder(root.c_str());
    mapc::CompileOptions options;
    options.files = &files;
    const std::string source =
        boxRoom() + pointEntity("misc_model", 256, 256, 0, "\"model\" \"models/lid.ase\"\n\"spawnflags\" \"4\"\n") +
        pointEntity("misc_model", 80, 440, 0, "\"model\" \"models/lid.ase\"\n\"modelscale\" \"0.25\"\n");
    Compiled c;
    compile(source, c, options);
    ASSERT_TRUE(c.compiled) << c.diag.error;
    ASSERT_TRUE(c.valid) << c.problem;

    int litFaces = 0, vertexLit = 0;
    for (const bsp::BspFace& f : c.lumps.faces) {
        if (c.lumps.textures[static_cast<size_t>(f.texture)].name != std::string("textures/halvex/metal")) continue;
        if (f.type == bsp::FaceMesh) {
            EXPECT_EQ(f.lightmap, -1);
            vertexLit += f.meshVertexCount / 3;
            continue;
        }
        ASSERT_EQ(f.type, bsp::FacePolygon);
        ASSERT_GE(f.lightmap, 0);
        ++litFaces;
        for (int v = 0; v < f.vertexCount; ++v)  // inside the face's block, off its border
            for (int i = 0; i < 2; ++i) {
                const float at = c.lumps.vertices[static_cast<size_t>(f.firstVertex + v)].lightmapCoord[i] * bsp::kLightmapSize;
                EXPECT_GE(at, f.lightmapCorner[i]);
                EXPECT_LE(at, f.lightmapCorner[i] + f.lightmapSize[i]);
            }
    }
    EXPECT_EQ(litFaces, 6);
    EXPECT_EQ(vertexLit, 12);
    const double top = luxelUnder(c.lumps, 256, 256, 100), plateNear = luxelUnder(c.lumps, 256 + 72, 256, 2),
                 plateFar = luxelUnder(c.lumps, 256 + 128, 256, 2);
    EXPECT_GT(top, 1.5 * plateFar) << top;  // nearer the light
    EXPECT_LT(plateNear, plateFar * 0.6) << plateNear << " " << plateFar;  // in the lid's shadow
    EXPECT_GT(plateFar, 5.0);
    EXPECT_EQ(std::system(("rm -rf " + root).c_str()), 0);
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

// Every ASE item counts against the model's budget, empty objects too.
TEST(MapcCompile, AseObjectsCountAgainstTheItemBudget)
{
    std::string many;
    for (int i = 0; i < (1 << 20) + 1; ++i) many += "*GEOMOBJECT ";
    mapc::Model model;
    std::string problem;
    EXPECT_FALSE(mapc::readAseModel(many.data(), many.size(), model, problem));
    EXPECT_EQ(problem, "too many *GEOMOBJECT items");
    many.resize(many.size() - 24);
    EXPECT_TRUE(mapc::readAseModel(many.data(), many.size(), model, problem)) << problem;
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

namespace {

// What the tool printed on stdout, not a terminal: a compile longer than
// three seconds names its stages on plain lines, then a table of seconds
// per stage adding up to the total, and its peak memory.
void expectStageTable(const char* path)
{
    std::ifstream in(path);
    std::string printed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t summary = printed.rfind(" warnings, ");
    ASSERT_NE(summary, std::string::npos) << printed;
    if (std::atof(printed.c_str() + summary + 11) < 3.5) {
        std::printf("compile too short for the stage lines; not checked\n");
        return;
    }
    EXPECT_EQ(printed.find('\r'), std::string::npos);
    const char* const stages[] = {"reading the source", "tree and portals", "faces and models", "lighting",
                                  "visibility rough sets", "visibility flow", "writing"};
    const size_t table = printed.find("\nstage                     seconds\n");
    ASSERT_NE(table, std::string::npos) << printed;
    // The stages started after the first three seconds, as they start.
    EXPECT_LT(printed.find("visibility flow 100%\n"), table) << printed;
    EXPECT_LT(printed.find("\nwriting\n"), table) << printed;
    double sum = 0;
    for (const char* stage : stages) {
        const size_t row = printed.find(std::string("\n") + stage + " ", table);
        ASSERT_NE(row, std::string::npos) << stage;
        sum += std::atof(printed.c_str() + row + 25);  // the time column
    }
    const size_t total = printed.find("\ntotal ", table);
    ASSERT_NE(total, std::string::npos);
    EXPECT_NEAR(std::atof(printed.c_str() + total + 25), sum, 0.05);
    EXPECT_NE(printed.find("\npeak memory ", total), std::string::npos);
}

} // namespace

// A real level whose source marks its model solid (spawnflags 2): the
// compiled level holds a brush per model triangle, and a player's body
// thrown at the model's faces through the game's own physics stops short.
// The source's lightmap bit (4) is cleared: lighting the whole track costs
// seconds that say nothing about collision. Its compile is still long enough
// for the tool's stage lines and table.
TEST(MapcCompile, SolidModelStopsThePlayer)
{
    const std::string base = HALVEX_TEST_DATA "/nexuiz";
    std::ifstream probe(base + "/maps/racetrack.map");
    if (!probe) GTEST_SKIP() << "nexuiz-data not unpacked";
    std::string source((std::istreambuf_iterator<char>(probe)), std::istreambuf_iterator<char>());
    const size_t flags = source.find("\"spawnflags\" \"6\"");
    ASSERT_NE(flags, std::string::npos);
    source.replace(flags, 17, "\"spawnflags\" \"2\"");
    writeBytes(base + "/maps/racetrack_solid.map", source);
    std::string out = "mapc_racetrack.bsp";
    std::string command = std::string(MAPC_TOOL) + " -threads 2 " + base + "/maps/racetrack_solid.map " + out +
                          " > mapc_race_out.txt 2> mapc_race_err.txt";
    ASSERT_EQ(std::system(command.c_str()), 0);
    expectStageTable("mapc_race_out.txt");
    BspData data;
    char problem[256] = "";
    ASSERT_EQ(readBspFile(out.c_str(), data, problem, sizeof(problem)), BspReadError::None) << problem;
    ASSERT_TRUE(validateLevel(data, problem, sizeof(problem))) << problem;
    EXPECT_GT(data.brushCount, 10000);  // the source has 14

    // The model's triangles, from its mesh faces, before the level moves on.
    struct Triangle {
        Vector3 centre, normal;
    };
    std::vector<Triangle> triangles;
    for (int f = 0; f < data.faceCount; ++f) {
        const bsp::BspFace& face = data.faces[f];
        if (face.type != bsp::FaceMesh)
            continue;
        for (int i = 0; i + 2 < face.meshVertexCount; i += 3 * 97) {
            Vector3 p[3];
            for (int k = 0; k < 3; ++k) {
                const float* v = data.vertices[face.firstVertex + data.meshVertices[face.firstMeshVertex + i + k]].position;
                p[k] = Vector3(v[0], v[1], v[2]);
            }
            Vector3 n = (p[2] - p[0]).cross(p[1] - p[0]);
            if (n.length() > 400.0f)  // big enough to stand in front of
                triangles.push_back({(p[0] + p[1] + p[2]) * (1.0f / 3.0f), n * (1.0f / n.length())});
        }
    }
    Renderer renderer;
    BspLoader::install(data, renderer, new unsigned[size_t(data.textureCount) + 1](),
                       new unsigned[size_t(data.lightmapCount) + 1]());
    renderer.multitextureReady = true;
    ASSERT_TRUE(renderer.isReady());

    int thrown = 0, through = 0;
    for (size_t i = 0; i < triangles.size() && thrown < 12; i += 7) {
        const Triangle& t = triangles[i];
        // Either face, whichever has room for the body.
        for (float side : {1.0f, -1.0f}) {
            Vector3 n = t.normal * side;
            TraceResult clear;
            sphereTrace(renderer, clear, t.centre + n * 60.0f, t.centre + n * 21.0f, 20.0f);
            if (clear.hit || !clear.startsOut)
                continue;
            PhysicsBody body(20.0f, 0.006f, false, Vector3());
            body.renderer = &renderer;
            body.velocity = n * -400.0f;
            Vector3 p = t.centre + n * 40.0f;
            for (int frame = 0; frame < 30; ++frame) {
                body.stepBy(p, 1.0f / 60.0f);
                Vector3 offset = p - t.centre;
                float height = offset.dot(n);
                if (height < 0.0f && (offset - n * height).length() < 20.0f) {
                    ++through;
                    break;
                }
            }
            ++thrown;
            break;
        }
    }
    EXPECT_EQ(thrown, 12);
    EXPECT_EQ(through, 0);
}
