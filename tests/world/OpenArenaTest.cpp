// The OpenArena levels as a player gets them: the Debian archives dropped
// into baseq3/, each level started with the map command, one real frame
// drawn from its player start. Pictures come from JPEGs, TGAs and shader
// scripts inside the archives; curves are tessellated; the sky is drawn.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <png.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "RealLevels.h"
#include "TestWindow.h"
#include "app/Frame.h"
#include "app/FrameTimer.h"
#include "app/Startup.h"
#include "gui/Menu.h"
#include "platform/SystemLog.h"
#include "resources/FileSystem.h"
#include "resources/GameFiles.h"
#include "resources/TextureManager.h"
#include "script/GameCommands.h"
#include "script/LuaHost.h"
#include "world/Camera.h"
#include "world/Frustum.h"
#include "world/Renderer.h"
#include "world/SurfaceKind.h"

namespace fs = std::filesystem;

namespace {

const int kWidth = 640, kHeight = 480;
const char kArchives[] = "/usr/share/games/openarena/baseoa";
// The archives of the packages the test set-up installs, by name: a later
// archive from another package (openarena-088-data's patch) would replace
// levels the expectations below were made on, and add more to load.
const char* const kPinnedArchives[] = {"pak0.pk3", "pak1-maps.pk3", "pak4-textures.pk3", "pak5-TA.pk3",
                                       "pak6-misc.pk3", "pak6-patch085.pk3"};

// A game folder of our own: the archives and the shipped level linked into
// baseq3/, entered before anything reads a file.
struct OpenArenaGame : TestWindow {
    OpenArenaGame() : TestWindow("openarena test", kWidth, kHeight) {}
    void SetUp() override
    {
        fs::remove_all("oa_game");
        fs::create_directories("oa_game/baseq3/maps");
        for (const char* name : kPinnedArchives)
            fs::create_symlink(fs::path(kArchives) / name, fs::path("oa_game/baseq3") / name);
        fs::path game = fs::path(HALVEX_GAME_DIR) / "baseq3";
        fs::create_directory_symlink(game / "textures", "oa_game/baseq3/textures");
        fs::create_symlink(game / "maps" / "test.bsp", "oa_game/baseq3/maps/test.bsp");
        ASSERT_EQ(chdir("oa_game"), 0);
        TestWindow::SetUp();
        ASSERT_TRUE(Renderer::instance->setupMultitexture());
        Frustum::instance->setViewport(kWidth / 2.0f, kHeight / 2.0f, 1.0f);
        registerGameCommands();
    }
};

::testing::Environment* const game = ::testing::AddGlobalTestEnvironment(new OpenArenaGame);

std::vector<std::string> levelNames()
{
    std::vector<std::string> names;
    for (const std::string& path : GameFiles::get().list("baseq3/maps", ".bsp"))
        if (path != "baseq3/maps/test.bsp")
            names.push_back(path);
    return names;
}

int logLinesWith(size_t from, const char* text)
{
    int n = 0;
    for (size_t i = from; i < SystemLog::get().storedLines(); i++)
        n += std::strstr(SystemLog::get().line(i), text) != nullptr;
    return n;
}

// map(...) as the console runs it, the camera at the level's first player
// spawn turned along `forward`, and one frame of the game.
bool startLevel(const std::string& path, const Vector3& forward, float lift = 0.0f)
{
    std::string command = "map('" + path + "')";
    if (!LuaHost::instance->runString(command.c_str()) || !Renderer::instance->levelLoaded)
        return false;
    std::vector<unsigned char> bytes;
    if (!GameFiles::get().readFile(path.c_str(), bytes))
        return false;
    std::vector<uint8_t> level(bytes.begin(), bytes.end());
    std::string entities(reinterpret_cast<const char*>(level.data()) + lumpOffset(level, 0),
                         size_t(lumpLength(level, 0)));
    float origin[3];
    if (!playerSpawn(entities, origin))
        return false;
    // The level placed the camera at its first deathmatch spawn itself;
    // the test only aims it, and the frame takes the new pose.
    Camera& camera = *Camera::instance;
    Vector3 spawn(origin[0], origin[2], -origin[1]);
    if ((camera.position - spawn).length() > 0.01f)
        return false;
    camera.position.y += lift;
    camera.forward = forward;
    camera.recompute();
    runFrame();
    return true;
}

struct FaceCount {
    int drawn = 0, withImage = 0, patches = 0, hiddenDrawn = 0;
};

// The faces the last frame marked as drawn, from the renderer's own marks.
FaceCount countDrawnFaces()
{
    const Renderer& r = *Renderer::instance;
    FaceCount c;
    int32_t frame = int32_t(FrameTimer::instance->frameCount);
    for (int i = 0; i < r.faceCount; i++) {
        if (r.faceMarks[i] != frame)
            continue;
        const bsp::BspFace& face = r.faces[i];
        FaceKind kind = textureKind(r.textures[face.texture]);
        if (kind == FaceHidden)
            c.hiddenDrawn++;
        if (kind != FaceDrawn || (face.type != bsp::FacePolygon && face.type != bsp::FacePatch))
            continue;
        c.drawn++;
        c.patches += face.type == bsp::FacePatch;
        c.withImage += r.textureHandles[face.texture] != 0;
    }
    return c;
}

void savePng(const std::string& path)
{
    std::vector<unsigned char> pixels(size_t(kWidth) * kHeight * 3);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    image.width = kWidth;
    image.height = kHeight;
    image.format = PNG_FORMAT_RGB;
    // GL rows start at the bottom.
    png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), -kWidth * 3, nullptr);
}

TEST(OpenArena, EveryLevelTexturedCurvedAndWithoutToolFaces)
{
    std::vector<std::string> levels = levelNames();
    ASSERT_GE(levels.size(), 50u);  // 50 in the maps package, more in the 0.8.5 data
    int levelsWithPatches = 0;
    for (const std::string& path : levels) {
        SCOPED_TRACE(path);
        size_t mark = SystemLog::get().storedLines();
        ASSERT_TRUE(startLevel(path, Vector3(0, 0, 1)));
        const Renderer& r = *Renderer::instance;

        FaceCount c = countDrawnFaces();
        EXPECT_GT(c.drawn, 0);
        EXPECT_GE(c.withImage, c.drawn * 95 / 100) << c.withImage << " of " << c.drawn;
        EXPECT_EQ(c.hiddenDrawn, 0);
        int patches = 0, tessellated = 0;
        for (int i = 0; i < r.faceCount; i++) {
            if (r.faces[i].type != bsp::FacePatch)
                continue;
            patches++;
            tessellated += r.faces[i].meshVertexCount > 0;
        }
        EXPECT_EQ(tessellated, patches);
        EXPECT_EQ(logLinesWith(mark, "patch face"), 0);
        EXPECT_EQ(logLinesWith(mark, "skipped"), 0);
        levelsWithPatches += patches > 0;
        printf("%-28s %4d faces drawn, %4d with image, %3d patches drawn, %4d patches\n",
               path.c_str() + 12, c.drawn, c.withImage, c.patches, patches);
    }
    EXPECT_GT(levelsWithPatches, 30);
}

// Texture objects alive in the GL context (names are handed out upwards).
int liveGlTextures()
{
    int live = 0;
    for (GLuint name = 1; name < 200000; name++)
        live += glIsTexture(name) == GL_TRUE;
    return live;
}

// Loading a level again and again through map() keeps the texture table and
// the GL texture objects as they were after the first load: each free gives
// back the level's lightmaps and the pictures only it used.
TEST(OpenArena, ReloadingALevelKeepsTheTextureCount)
{
    struct Case {
        const char* level;
        int loads;
    };
    for (const Case& c : {Case{"baseq3/maps/test.bsp", 100}, Case{"baseq3/maps/ctf_inyard.bsp", 4}}) {
        SCOPED_TRACE(c.level);
        std::string command = std::string("map('") + c.level + "')";
        int entries = 0, capacity = 0, live = 0;
        for (int i = 0; i < c.loads; i++) {
            ASSERT_TRUE(LuaHost::instance->runString(command.c_str()));
            ASSERT_TRUE(Renderer::instance->levelLoaded);
            TextureManager& textures = TextureManager::get();
            if (i == 0) {
                entries = textures.count();
                capacity = textures.capacity();
                live = liveGlTextures();
                EXPECT_GT(Renderer::instance->lightmapCount, 0);
            }
        }
        EXPECT_EQ(TextureManager::get().count(), entries);
        EXPECT_EQ(TextureManager::get().capacity(), capacity);
        EXPECT_EQ(liveGlTextures(), live);
        // Only the level read from an archive takes the tone curve.
        EXPECT_EQ(Renderer::instance->levelPacked, std::string(c.level) != "baseq3/maps/test.bsp");
    }
}

// Three levels looked at from a little above their start, turned toward sky
// and curves:
// the pictures are kept beside the test for a person to look at.
TEST(OpenArena, ScreenshotsShowTexturesSkyAndCurves)
{
    struct View {
        const char* level;
        float yaw;  // eighths of a turn
        float rise = 0.3f;
        float darkest = 1.0f / 3.0f;  // share of the view allowed to be black
        float lift = 40.0f;
    };
    const View views[] = {{"czest3ctf", 5, 0.3f, 0.4f}, {"oa_shouse", 3, 0.3f, 0.4f}, {"wrackdm17", 2, 0.3f, 0.6f},
                          {"oa_dm1", 1},    {"oa_dm4", 2, 0.3f, 1.0f / 3.0f, 0.0f},       {"ctf_inyard", 2, 0.8f, 0.55f}};
    std::string folder = std::string(HALVEX_BINARY_DIR) + "/tests/world/screenshots";
    fs::create_directories(folder);
    for (const View& view : views) {
        SCOPED_TRACE(view.level);
        float a = view.yaw * 0.785398f;
        ASSERT_TRUE(startLevel(std::string("baseq3/maps/") + view.level + ".bsp",
                               Vector3(std::sin(a), view.rise, std::cos(a)) * (1.0f / std::sqrt(1.0f + view.rise * view.rise)),
                               view.lift));
        const RenderStats& stats = Renderer::instance->stats;
        EXPECT_GT(stats.skyFacesSeen + stats.blendedFaces, 0);

        std::vector<unsigned char> pixels(size_t(kWidth) * kHeight * 3);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
        size_t black = 0;
        std::vector<bool> seen(1 << 18, false);
        size_t colours = 0;
        for (size_t i = 0; i < pixels.size(); i += 3) {
            black += pixels[i] + pixels[i + 1] + pixels[i + 2] < 12;
            size_t key = size_t(pixels[i] >> 2) << 12 | size_t(pixels[i + 1] >> 2) << 6 | (pixels[i + 2] >> 2);
            colours += !seen[key];
            seen[key] = true;
        }
        // Pictures, not flat grey faces; and no black hole where the sky is.
        EXPECT_GT(colours, 40u);
        EXPECT_LT(black, size_t(float(pixels.size() / 3) * view.darkest));  // night skies are dark
        savePng(folder + "/" + view.level + ".png");
        // The title of the picture, kept for the person looking.
        printf("screenshot %s/%s.png: %d faces, %d curved, %d staged, %d blended, %d fogged, %d sky faces, "
               "%zu colours, %zu black\n",
               folder.c_str(), view.level, stats.facesDrawn, stats.patchesDrawn, stats.stagedFaces,
               stats.blendedFaces, stats.foggedFaces, stats.skyFacesSeen, colours, black);
    }
}

} // namespace

namespace {

struct Picture {
    std::vector<unsigned char> colour;
    std::vector<float> depth;
};

// The world part of a game frame from the camera as it stands, drawn either
// the usual way or the reference way, and read back.
Picture drawWorld(bool reference)
{
    Renderer& r = *Renderer::instance;
    Camera& camera = *Camera::instance;
    r.referenceDrawing = reference;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor3f(1.0f, 1.0f, 1.0f);  // as the game frame starts
    FrameTimer::instance->frameCount++;
    r.updateCameraLeaf(camera, camera.position);
    camera.applyView();
    Frustum::instance->update(camera.position, camera.forward);
    r.renderLevel();
    r.referenceDrawing = false;
    Picture p;
    p.colour.resize(size_t(kWidth) * kHeight * 3);
    p.depth.resize(size_t(kWidth) * kHeight);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, p.colour.data());
    glReadPixels(0, 0, kWidth, kHeight, GL_DEPTH_COMPONENT, GL_FLOAT, p.depth.data());
    return p;
}

} // namespace

// Faces near to far with fewer binds, and the sky behind them, against the
// reference walk (sky first, then each face on its own), on a short
// fly-through of three levels: the same depth everywhere, and a colour
// difference only where coplanar faces meet at the same depth (whichever is
// drawn last wins there).
TEST(OpenArena, FacesNearToFarDrawTheSamePictures)
{
    setGameGlState();
    const char* levels[] = {"czest3ctf", "oa_shouse", "oa_dm3"};
    size_t skyPixels = 0;  // no face drawn there: the sky, drawn behind the faces
    for (const char* level : levels) {
        SCOPED_TRACE(level);
        ASSERT_TRUE(startLevel(std::string("baseq3/maps/") + level + ".bsp", Vector3(0, 0, 1)));
        Camera& camera = *Camera::instance;
        for (int frame = 0; frame < 3; frame++) {
            camera.turn(0.9f, Vector3(0, 1, 0));
            camera.moveForward(60.0f);
            Picture usual = drawWorld(false);
            RenderStats usualStats = Renderer::instance->stats;
            Picture reference = drawWorld(true);
            const RenderStats& stats = Renderer::instance->stats;
            EXPECT_EQ(usualStats.leavesDrawn, stats.leavesDrawn);
            EXPECT_EQ(usualStats.facesDrawn, stats.facesDrawn);
            size_t coplanar = 0, otherDepth = 0, pixels = usual.depth.size();
            for (size_t i = 0; i < pixels; i++) {
                skyPixels += usual.depth[i] == 1.0f;
                if (usual.depth[i] != reference.depth[i])
                    otherDepth++;
                else if (std::memcmp(&usual.colour[i * 3], &reference.colour[i * 3], 3) != 0)
                    coplanar++;
            }
            printf("%s frame %d: %d faces, %zu pixels of coplanar faces differ, %zu pixels at another depth\n",
                   level, frame, stats.facesDrawn, coplanar, otherDepth);
            EXPECT_EQ(otherDepth, 0u);
            EXPECT_LT(coplanar, pixels / 1000);
        }
    }
    EXPECT_GT(skyPixels, 1000u);
}
