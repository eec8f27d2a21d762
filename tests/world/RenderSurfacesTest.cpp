// Drawing level surfaces with a real GL context (Mesa under Xvfb):
// lightmaps and vertex colours brightened at load, curves within their
// budget, tool and sky faces, and shader stages and cloud layers read back
// from the frame.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <vector>

#include "RenderTestSupport.h"
#include "TestLevel.h"
#include "TestWindow.h"
#include "app/Startup.h"
#include "resources/TextureManager.h"
#include "world/BspLoader.h"
#include "world/PatchTessellation.h"

namespace {

::testing::Environment* const window =
    ::testing::AddGlobalTestEnvironment(new TestWindow("surface test", 800, 600));

// A grey w x h 24-bit TGA file.
bool rtWriteTga(const std::string& path, int w, int h, uint8_t grey)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::vector<uint8_t> bytes(18, 0);
    bytes[2] = 2;
    bytes[12] = uint8_t(w);
    bytes[14] = uint8_t(h);
    bytes[16] = 24;
    bytes.resize(18 + size_t(w * h * 3), grey);
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

// A 32-bit 8 x 8 TGA whose pixels depend on the column: `left` in the left
// half, `right` in the right half.
bool writeHalves(const std::string& path, const uint8_t left[4], const uint8_t right[4], bool lowerUpper = false)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::vector<uint8_t> bytes(18, 0);
    bytes[2] = 2;
    bytes[12] = bytes[14] = 8;
    bytes[16] = 32;
    bytes[17] = 8;
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) {
            const uint8_t* c = (lowerUpper ? y : x) < 4 ? left : right;  // rows stored bottom first
            bytes.insert(bytes.end(), {c[2], c[1], c[0], c[3]});  // stored BGRA
        }
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

// An upright quad in the plane y = depth of the file's frame, facing -y,
// picture coordinates 0..1 across it.
void addQuad(TestLevel& level, int texture, float x0, float x1, float depth, float z0, float z1)
{
    bsp::BspFace face{};
    face.type = bsp::FacePolygon;
    face.texture = texture;
    face.lightmap = -1;
    face.firstVertex = int32_t(level.vertices.size());
    face.vertexCount = 4;
    face.firstMeshVertex = int32_t(level.meshVertices.size());
    face.meshVertexCount = 6;
    const float corners[4][2] = {{x0, z0}, {x1, z0}, {x1, z1}, {x0, z1}};
    for (int k = 0; k < 4; k++) {
        level.addVertex(corners[k][0], depth, corners[k][1]);
        level.vertices.back().texCoord[0] = k == 0 || k == 3 ? 0.0f : 1.0f;
    }
    level.meshVertices.insert(level.meshVertices.end(), {0, 1, 2, 0, 2, 3});
    level.faces.push_back(face);
}

// The colour of the frame where the level point (file frame) is drawn.
std::array<int, 3> colourAt(float x, float y, float z)
{
    GLdouble model[16], projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    Vector3 p = fromFileFrame(x, y, z);
    GLdouble wx = 0, wy = 0, wz = 0;
    gluProject(p.x, p.y, p.z, model, projection, viewport, &wx, &wy, &wz);
    unsigned char rgb[3] = {};
    glReadPixels(GLint(wx), GLint(wy), 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    return {rgb[0], rgb[1], rgb[2]};
}

} // namespace

// A 3 x 3 patch replaces the test level's patch face; two more faces carry
// a nodraw and a sky texture; a second patch with an even grid is bad. The
// lightmap lump is empty and the lightmap lies beside the level as a file.
// The loader brightens the stored light by the overbright factor; a colour
// that would pass 255 is scaled down whole, so its hue stays.
TEST(Render, OverbrightBrightensLightmapsAndVertexColoursKeepingHue)
{
    World world;
    ASSERT_TRUE(world.renderer.setupMultitexture());
    TestLevel level;
    const uint8_t bright[3] = {200, 100, 50}, dim[3] = {60, 30, 11};
    for (size_t texel = 0; texel < size_t(bsp::kLightmapSize) * bsp::kLightmapSize; ++texel)
        std::memcpy(&level.lightmaps[texel * 3], texel % 2 ? dim : bright, 3);
    const uint8_t vertexColour[4] = {100, 200, 40, 77};
    std::memcpy(level.vertices[0].color, vertexColour, 4);
    ASSERT_TRUE(level.write("render_test.bsp"));
    BspLoader loader;
    EXPECT_EQ(loader.overbright, 4.0f);
    // The total factor: half of it at load, the other half as drawn; below
    // 2 all of it at load.
    EXPECT_EQ(splitOverbright(4.0f).data, 2.0f);
    EXPECT_EQ(splitOverbright(1.5f).data, 1.5f);
    EXPECT_EQ(splitOverbright(1.5f).draw, 1.0f);
    ASSERT_TRUE(loader.load("render_test.bsp", &world.targets));

    Renderer& r = world.renderer;
    EXPECT_EQ(r.lightScale, 2.0f);
    std::vector<uint8_t> texels(size_t(bsp::kLightmapBytes));
    glBindTexture(GL_TEXTURE_2D, r.lightmapHandles[0]);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    EXPECT_EQ(std::vector<int>(texels.begin(), texels.begin() + 6), (std::vector<int>{255, 128, 64, 120, 60, 22}));
    const uint8_t* colour = r.vertices[0].color;
    EXPECT_EQ(std::vector<int>(colour, colour + 4), (std::vector<int>{128, 255, 51, 77}));
}

TEST(Render, CurvesToolAndSkySurfacesAndLightmapsBesideTheLevel)
{
    World world;
    ASSERT_TRUE(world.renderer.setupMultitexture());
    TestLevel level;
    bsp::BspTexture nodraw = level.textures[0], sky = level.textures[0];
    strcpy(nodraw.name, "textures/common/caulk");
    nodraw.flags = 0x80;
    strcpy(sky.name, "textures/skies/none");
    sky.flags = 0x4;
    level.textures.push_back(nodraw);
    level.textures.push_back(sky);
    bsp::BspFace& patch = level.faces[2];
    patch.firstVertex = int32_t(level.vertices.size());
    patch.vertexCount = 9;
    patch.patchSize[0] = patch.patchSize[1] = 3;
    patch.lightmap = 0;
    for (int v = 0; v < 3; v++)  // a half pipe bowed toward -y, x from -60 to -20
        for (int u = 0; u < 3; u++)
            level.addVertex(-60.0f + 20 * u, u == 1 ? -30.0f : 0.0f, 50.0f + 20 * v);
    bsp::BspFace bad = patch;
    bad.patchSize[0] = 4;
    bsp::BspFace hidden = level.faces[0], skyFace = level.faces[0];
    hidden.texture = 1;
    skyFace.texture = 2;
    level.faces.push_back(bad);
    level.faces.push_back(hidden);
    level.faces.push_back(skyFace);
    bsp::BspFace tooFew = patch;  // in range, one vertex short of its grid
    tooFew.firstVertex = 0;
    tooFew.vertexCount = 8;
    level.faces.push_back(tooFew);
    level.leaves[1].leafFaceCount = 5;  // faces 0, 2, 3, 4, 5 seen from leaf 1
    level.leafFaces = {0, 1, 0, 2, 3, 4, 5};
    level.lightmaps.clear();
    std::filesystem::create_directories("baseq3/maps");
    ASSERT_TRUE(level.write("baseq3/maps/render_curves.bsp"));
    ASSERT_TRUE(rtWriteTga("baseq3/maps/render_curves/lm_0000.tga", 4, 4, 60));
    {  // the file's first row is the picture's bottom row (no top-left origin bit): make it brighter
        FILE* f = fopen("baseq3/maps/render_curves/lm_0000.tga", "r+b");
        ASSERT_NE(f, nullptr);
        const uint8_t bottom[4 * 3] = {120, 120, 120, 120, 120, 120, 120, 120, 120, 120, 120, 120};
        ASSERT_EQ(fseek(f, 18, SEEK_SET), 0);
        ASSERT_EQ(fwrite(bottom, 1, sizeof(bottom), f), sizeof(bottom));
        ASSERT_EQ(fclose(f), 0);
    }

    size_t mark = SystemLog::get().storedLines();
    BspLoader loader;
    ASSERT_TRUE(loader.load("baseq3/maps/render_curves.bsp", &world.targets));
    Renderer& r = world.renderer;
    EXPECT_EQ(logLinesWith(mark, "patch face 3 skipped: control grid 4 x 3"), 1);
    EXPECT_EQ(logLinesWith(mark, "patch face 6 skipped: 8 vertices for a 3 x 3 control grid (9 needed)"), 1);
    EXPECT_EQ(logLinesWith(mark, "skipped"), 2);
    EXPECT_EQ(logLinesWith(mark, "budget"), 0);
    EXPECT_EQ(r.lightmapCount, 1);
    ASSERT_NE(r.lightmapHandles[0], 0u);
    // Brightened like a lightmap in the level's own lump.
    uint8_t texel[4 * 4 * 3] = {};
    glBindTexture(GL_TEXTURE_2D, r.lightmapHandles[0]);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texel);
    EXPECT_EQ(int(texel[0]), int(60 * splitOverbright(loader.overbright).data));
    // Turned over: lightmap coordinates start at the picture's top row.
    EXPECT_EQ(int(texel[3 * 4 * 3]), int(120 * splitOverbright(loader.overbright).data));
    EXPECT_TRUE(r.sky.present);
    EXPECT_GT(r.faces[2].meshVertexCount, 3);
    EXPECT_EQ(r.faces[2].meshVertexCount % 3, 0);
    EXPECT_EQ(r.faces[3].meshVertexCount, 0);

    // From behind the plane, looking at the faces: the curve is drawn with
    // the others; the caulk face and the bad patch are not, the sky face is
    // left to the sky, which fills the rest of the view with its colour.
    world.lookAt(Vector3(-40, 70, 200), Vector3(0, 0, -1));
    world.frame();
    EXPECT_EQ(r.stats.patchesDrawn, 1);
    EXPECT_EQ(r.stats.facesDrawn, 3);  // the polygon, the mesh and the curve
    EXPECT_EQ(r.stats.skyFacesSeen, 1);
    EXPECT_EQ(r.faceMarks[4], 0);
    EXPECT_EQ(r.faceMarks[3], 0);
    EXPECT_EQ(litPixels(), 800u * 600u);

    // The curve bends toward the camera: the middle of a control point 30
    // out lies 15 out, and the cut is fine enough to reach it.
    float nearest = 0.0f;
    for (int i = 0; i < r.faces[2].vertexCount; i++)
        nearest = std::max(nearest, r.vertices[r.faces[2].firstVertex + i].position[2]);
    EXPECT_NEAR(nearest, 15.0f, 0.001f);
}

// A thousand patch faces sharing one strongly bent 65 x 65 control grid
// would become 16 million vertices: the curves are cut coarser, the ones
// still past the budget are left out, and one line says so.
TEST(Render, CurvesKeepToTheirBudget)
{
    World world;
    TestLevel level;
    bsp::BspFace& patch = level.faces[2];
    patch.firstVertex = int32_t(level.vertices.size());
    patch.vertexCount = kMaxControlSide * kMaxControlSide;
    patch.patchSize[0] = patch.patchSize[1] = kMaxControlSide;
    for (int v = 0; v < kMaxControlSide; v++)
        for (int u = 0; u < kMaxControlSide; u++)
            level.addVertex(-60.0f + u, (u + v) % 2 ? -100.0f : 0.0f, 50.0f + v);
    const int copies = 1000;
    const bsp::BspFace shared = patch;
    for (int i = 1; i < copies; i++)
        level.faces.push_back(shared);
    ASSERT_TRUE(level.write("render_budget.bsp"));

    size_t mark = SystemLog::get().storedLines();
    BspLoader loader;
    ASSERT_TRUE(loader.load("render_budget.bsp", &world.targets));
    const Renderer& r = world.renderer;
    EXPECT_EQ(logLinesWith(mark, "past the budget"), 1);
    EXPECT_EQ(logLinesWith(mark, "at most 1 steps per block"), 1);
    int drawn = 0;
    long added = 0;
    for (int i = 0; i < r.faceCount; i++) {
        if (r.faces[i].type != bsp::FacePatch || r.faces[i].vertexCount == 0)
            continue;
        drawn++;
        EXPECT_EQ(r.faces[i].vertexCount, 33 * 33);  // one step per block
        added += r.faces[i].vertexCount;
    }
    EXPECT_LE(added, kPatchVertexBudget);
    EXPECT_GT(drawn, 900);
    EXPECT_LT(drawn, copies);
}

// Shader scripts beside the level, drawn as they say in a real frame: in
// front of a red wall an alpha-tested grate (green where its picture is
// solid, the wall through its holes), an additive stage that brightens the
// wall, a scrolling stage that moves with the frame timer's time, and above
// them a sky of two cloud layers, the second filtering the first; below
// it two lit faces, plain and stage by stage, brighter than their picture,
// and a clamped picture; then the tone curve over the whole frame.
TEST(Render, ShaderStagesAsTheirScriptsSay)
{
    World world;
    ASSERT_TRUE(world.renderer.setupMultitexture());
    const uint8_t red[4] = {255, 0, 0, 255}, green[4] = {0, 255, 0, 255}, clear[4] = {0, 0, 0, 0};
    const uint8_t grey[4] = {64, 64, 64, 255}, black[4] = {0, 0, 0, 255}, white[4] = {255, 255, 255, 255};
    const uint8_t light[4] = {200, 200, 200, 255}, half[4] = {128, 128, 128, 255};
    ASSERT_TRUE(writeHalves("baseq3/textures/st/red.tga", red, red));
    ASSERT_TRUE(writeHalves("baseq3/textures/st/grate.tga", green, clear));
    ASSERT_TRUE(writeHalves("baseq3/textures/st/grey.tga", grey, grey));
    ASSERT_TRUE(writeHalves("baseq3/textures/st/halves.tga", black, white));
    ASSERT_TRUE(writeHalves("baseq3/textures/st/light.tga", light, light));
    ASSERT_TRUE(writeHalves("baseq3/textures/st/half.tga", half, half));
    ASSERT_TRUE(writeHalves("baseq3/textures/st/rows.tga", black, white, true));
    std::filesystem::create_directories("baseq3/scripts");
    FILE* script = fopen("baseq3/scripts/st.shader", "w");
    ASSERT_NE(script, nullptr);
    fputs("textures/st/grate\n{\n\tcull none\n\t{\n\t\tmap textures/st/grate.tga\n\t\talphaFunc GE128\n"
          "\t\tdepthWrite\n\t}\n}\n"
          "textures/st/glow\n{\n\t{\n\t\tmap textures/st/grey.jpg\n\t\tblendFunc add\n\t}\n}\n"
          "textures/st/scroll\n{\n\t{\n\t\tmap textures/st/halves.tga\n\t\ttcMod scroll 0.5 0\n\t}\n}\n"
          "textures/st/sky\n{\n\tskyParms - 512 -\n\t{\n\t\tmap textures/st/light.tga\n\t}\n"
          "\t{\n\t\tmap textures/st/half.tga\n\t\tblendFunc GL_DST_COLOR GL_ZERO\n\t}\n}\n"
          "textures/st/lit\n{\n\tcull none\n\t{\n\t\tmap textures/st/grey.tga\n\t}\n"
          "\t{\n\t\tmap $lightmap\n\t}\n}\n"  // unblended, as Nexuiz writes it
          "textures/st/clamped\n{\n\t{\n\t\tclampMap textures/st/rows.tga\n\t}\n}\n",
          script);
    fclose(script);

    TestLevel level;
    level.faces.clear();
    level.vertices.clear();
    level.meshVertices.clear();
    level.textures.clear();
    for (const char* name : {"textures/st/red", "textures/st/grate", "textures/st/glow", "textures/st/scroll",
                             "textures/st/sky", "textures/st/grey", "textures/st/lit", "textures/st/clamped"}) {
        bsp::BspTexture t{};
        strcpy(t.name, name);
        t.flags = std::strcmp(name, "textures/st/sky") == 0 ? 0x4 : 0;
        level.textures.push_back(t);
    }
    addQuad(level, 0, -90, 90, -50, 40, 100);   // the wall
    addQuad(level, 1, -90, -35, 0, 50, 90);     // the grate
    addQuad(level, 2, -30, 25, 0, 50, 90);      // the glow
    addQuad(level, 3, 30, 85, 0, 50, 90);       // the scroller
    addQuad(level, 4, -90, 90, -60, 100, 400);  // sky above the wall
    addQuad(level, 5, -90, -5, 0, 5, 35);       // lightmapped below the wall, plain
    addQuad(level, 6, 5, 90, 0, 5, 35);         // and stage by stage
    level.faces[5].lightmap = level.faces[6].lightmap = 0;
    addQuad(level, 7, -30, 30, 0, -28, -2);     // a clamped picture, its top row at t 0
    for (int k = 0; k < 4; k++)
        level.vertices[level.vertices.size() - 4 + size_t(k)].texCoord[1] = k < 2 ? 1.0f : 0.0f;
    level.leafFaces = {0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7};
    level.leaves[0].firstLeafFace = 0;
    level.leaves[0].leafFaceCount = 8;
    level.leaves[1].firstLeafFace = 8;
    level.leaves[1].leafFaceCount = 8;
    for (bsp::BspLeaf& leaf : level.leaves)
        leaf.mins[2] = -100, leaf.maxs[2] = 400;
    std::filesystem::create_directories("baseq3/maps");
    ASSERT_TRUE(level.write("baseq3/maps/render_stages.bsp"));

    TextureManager::get().releaseAll();  // the scripts are read afresh
    size_t mark = SystemLog::get().storedLines();
    BspLoader loader;
    ASSERT_TRUE(loader.load("baseq3/maps/render_stages.bsp", &world.targets));
    EXPECT_EQ(logLinesWith(mark, "not found"), 0);
    setGameGlState();  // back sides culled, as in the game
    world.lookAt(fromFileFrame(0, 250, 70), fromFileFrame(0, -1, 0));
    world.timer.now = 0.0f;
    world.frame();
    const RenderStats& stats = world.renderer.stats;
    EXPECT_EQ(stats.stagedFaces, 6);  // the wall is vertex-lit
    EXPECT_EQ(stats.blendedFaces, 1);
    EXPECT_EQ(stats.skyFacesSeen, 1);

    std::array<int, 3> solid = colourAt(-80, 0, 70), hole = colourAt(-45, 0, 70);
    EXPECT_LT(solid[0], 30);
    EXPECT_GT(solid[1], 220);
    EXPECT_GT(hole[0], 220);  // the wall behind the grate's hole
    EXPECT_LT(hole[1], 30);
    std::array<int, 3> glow = colourAt(0, 0, 70), wall = colourAt(-32.5f, 0, 70);
    EXPECT_GT(wall[0], 220);
    EXPECT_LT(wall[1], 30);
    EXPECT_GT(glow[0], 220);
    EXPECT_NEAR(glow[1], 64, 8);  // red plus grey
    std::array<int, 3> before = colourAt(40, 0, 70);
    std::array<int, 3> sky = colourAt(0, -60, 180);
    EXPECT_NEAR(sky[0], 200 * 128 / 255, 8);  // the light layer filtered by the half one
    EXPECT_NEAR(sky[1], sky[0], 2);
    // A full lightmap (stored 200, brightened to 255 at load) is drawn
    // times 2: the grey picture shows at twice its colour, both ways (an
    // unblended lightmap stage after the picture multiplies it too).
    EXPECT_NEAR(colourAt(-50, 0, 20)[1], 128, 4);
    EXPECT_NEAR(colourAt(50, 0, 20)[1], 128, 4);
    // The clamped picture shows whole, not stretched from one edge row.
    EXPECT_LT(colourAt(0, 0, -24)[1], 30);
    EXPECT_GT(colourAt(0, 0, -6)[1], 220);
    // The tone curve lifts that middle grey by lift x (1 - x); the red wall's
    // full and empty channels stay.
    // A loose level file takes no tone curve; one from an archive does.
    world.renderer.toneLift = 0.5f;
    world.renderer.drawToneCurve(800, 600);
    EXPECT_NEAR(colourAt(-50, 0, 20)[1], 128, 4);
    EXPECT_FALSE(world.renderer.levelPacked);
    world.renderer.levelPacked = true;
    world.renderer.drawToneCurve(800, 600);
    world.renderer.toneLift = 0.0f;
    EXPECT_NEAR(colourAt(-50, 0, 20)[1], 128 + 64 * 127 / 255, 4);
    std::array<int, 3> toned = colourAt(-32.5f, 0, 70);
    EXPECT_GT(toned[0], 250);
    EXPECT_LT(toned[1], 30);

    world.timer.now = 1.0f;  // half a picture further
    world.frame();
    std::array<int, 3> after = colourAt(40, 0, 70);
    EXPECT_LT(before[1], 30);
    EXPECT_GT(after[1], 220);
    world.renderer.freeLevel();
    glDisable(GL_CULL_FACE);
}
