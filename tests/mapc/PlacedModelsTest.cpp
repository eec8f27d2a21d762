// Placed models (misc_model) through the level compiler: mesh faces, lit
// blocks for marked models, the model budget, and a real solid model that
// stops the player; its long compile also shows the tool's stage table.
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

// Models placed with misc_model, read from the search path: an ASE square
// turned and scaled, an MD3 triangle stretched per axis that shades a second
// square under it; missing and broken models are left out with one warning each.
TEST(MapcCompile, PlacedModelsBecomeMeshFaces)
{
    char dir[] = "/tmp/mapc_modelsXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string root = dir;
    mkdir((root + "/models").c_str(), 0755);
    writeBytes(root + "/models/square.ase", aseSquare("C:\\art\\textures\\halvex\\metal.tga"));
    writeBytes(root + "/models/under.ase", aseSquare("textures/halvex/under.tga"));
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
                         pointEntity("misc_model", 210, 210, 64, "\"model\" \"models/under.ase\"\n") +  // under the triangle
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
    int litLeast = 255, shadedMost = 0;  // vertex light of the first square, and of the one under the triangle
    for (size_t fi = 0; fi < c.lumps.faces.size(); ++fi) {
        const bsp::BspFace& f = c.lumps.faces[fi];
        if (f.type != bsp::FaceMesh) continue;
        const std::string name = c.lumps.textures[static_cast<size_t>(f.texture)].name;
        if (name == "textures/halvex/under") {
            for (int v = 0; v < f.vertexCount; ++v)
                shadedMost = std::max<int>(shadedMost, c.lumps.vertices[static_cast<size_t>(f.firstVertex + v)].color[0]);
            continue;
        }
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
                litLeast = std::min<int>(litLeast, x.color[0]);
                EXPECT_EQ(x.color[0], x.color[2]);
            } else if (x.position[1] > 300.0f) {
                EXPECT_FLOAT_EQ(x.position[0], 200.0f);
                EXPECT_FLOAT_EQ(x.position[1], 328.0f);
                EXPECT_FLOAT_EQ(x.texCoord[1], 1.0f);
            }
        }
    }
    EXPECT_NEAR(area[0], 400.0, 0.01);
    // The triangle shades the square under it, though it is nearer the light.
    EXPECT_LT(shadedMost, litLeast / 2) << shadedMost << " " << litLeast;
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
// top bright, and the lid shades the plate around it and the plate the
// floor under it (a lightmapped model shades the world). Without the flag
// the same model keeps its vertex light and shades no brush face.
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
        pointEntity("misc_model", 80, 440, 0, "\"model\" \"models/lid.ase\"\n\"modelscale\" \"0.25\"\n") +
        pointEntity("misc_model", 80, 80, 0, "\"model\" \"models/lid.ase\"\n\"modelscale\" \"0.5\"\n");
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
    EXPECT_EQ(vertexLit, 24);
    const double top = luxelUnder(c.lumps, 256, 256, 100), plateNear = luxelUnder(c.lumps, 256 + 72, 256, 2),
                 plateFar = luxelUnder(c.lumps, 256 + 128, 256, 2);
    EXPECT_GT(top, 1.5 * plateFar) << top;  // nearer the light
    EXPECT_LT(plateNear, plateFar * 0.6) << plateNear << " " << plateFar;  // in the lid's shadow
    EXPECT_GT(plateFar, 5.0);
    // The floor under the marked plate is shaded; under the unmarked one it
    // is lit as the floor as far from the light on the other side.
    const double floorShaded = luxelUnder(c.lumps, 256 + 120, 256, 0);
    const double floorUnmarked = luxelUnder(c.lumps, 130, 80, 0), floorMirror = luxelUnder(c.lumps, 382, 80, 0);
    EXPECT_LT(floorShaded, plateFar * 0.6) << floorShaded << " " << plateFar;
    EXPECT_NEAR(floorUnmarked, floorMirror, 4.0) << floorUnmarked << " " << floorMirror;
    EXPECT_EQ(std::system(("rm -rf " + root).c_str()), 0);
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
