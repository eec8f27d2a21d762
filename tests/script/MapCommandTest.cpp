// map, quit and kill against a real level in a real GL context; the view
// commands through the real frame.
#include "app/AppState.h"
#include "app/Frame.h"
#include "app/Game.h"
#include "app/TargetList.h"
#include "gui/Menu.h"
#include "platform/SystemLog.h"
#include "resources/ImageReader.h"
#include "script/GameCommands.h"
#include "script/LuaHost.h"
#include "script/Player.h"
#include "world/EntitieParser.h"
#include "world/Camera.h"
#include "world/Frustum.h"
#include "world/PhysicsBody.h"
#include "world/Renderer.h"

#include "LogProbe.h"

#include <gtest/gtest.h>

#include <GL/gl.h>
#include <SDL/SDL.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The smallest of the real levels keeps the test quick.
std::string smallestLevel()
{
    std::string best;
    uintmax_t bestSize = 0;
    fs::path dir = fs::path(HALVEX_TEST_DATA) / "openarena" / "maps";
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir, ec)) {
        if (entry.path().extension() != ".bsp")
            continue;
        uintmax_t size = entry.file_size(ec);
        if (best.empty() || size < bestSize) {
            best = entry.path().string();
            bestSize = size;
        }
    }
    return best;
}

class MapCommand : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0);
        ASSERT_NE(SDL_SetVideoMode(64, 64, 0, SDL_OPENGL), nullptr);
        ASSERT_TRUE(Renderer::instance->setupMultitexture());
        // The game's projection: a square 90 degree view.
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glFrustum(-1.0, 1.0, -1.0, 1.0, 1.0, 10000.0);
        glMatrixMode(GL_MODELVIEW);
        registerGameCommands();
        level = smallestLevel();
    }
    static void TearDownTestSuite()
    {
        Renderer::instance->freeLevel();
        SDL_Quit();
    }

    void SetUp() override
    {
        ASSERT_FALSE(level.empty()) << "no levels under " HALVEX_TEST_DATA;
        quitRequested = false;
    }

    static void run(const std::string& text)
    {
        EXPECT_TRUE(LuaHost::instance->runString(text.c_str())) << text;
    }
    static void loadLevel()
    {
        run("map('" + level + "')");
        ASSERT_TRUE(Renderer::instance->levelLoaded);
    }

    static std::string level;
};

std::string MapCommand::level;

TEST_F(MapCommand, SuccessfulMapHidesTheMenuAndKeepsLifeAndBullets)
{
    Menu::instance->menuActive = true;
    Game::instance->life = 55;
    Game::instance->bullets = 12;
    loadLevel();
    EXPECT_FALSE(Menu::instance->menuActive);
    EXPECT_EQ(Game::instance->life, 55);
    EXPECT_EQ(Game::instance->bullets, 12);

    // Loading again over a loaded level replaces it.
    loadLevel();
    EXPECT_FALSE(Menu::instance->menuActive);
}

TEST_F(MapCommand, QuitTogglesTheMenuWhileALevelIsLoaded)
{
    loadLevel();
    run("quit('abc')");
    EXPECT_FALSE(quitRequested);
    EXPECT_TRUE(Menu::instance->menuActive);
    run("quit()");
    EXPECT_FALSE(quitRequested);
    EXPECT_FALSE(Menu::instance->menuActive);
    run("quit({})");
    EXPECT_TRUE(Menu::instance->menuActive);

    // A numeric argument ends the program whatever its value.
    run("quit(0)");
    EXPECT_TRUE(quitRequested);
    EXPECT_TRUE(Menu::instance->menuActive);
    quitRequested = false;
    run("quit(' -1 ')");
    EXPECT_TRUE(quitRequested);
}

TEST_F(MapCommand, FailedMapKeepsTheLevelItsEnemiesAndTheGame)
{
    loadLevel();
    ASSERT_FALSE(Menu::instance->menuActive);
    std::FILE* f = std::fopen("damaged.bsp", "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("IBSP and then nothing a level needs", f);
    std::fclose(f);
    Renderer* r = Renderer::instance;
    const bsp::BspFace* faces = r->faces;
    int targets = TargetList::instance->count();
    Game::instance->life = 42;
    Game::instance->markCount = 3;
    size_t mark = SystemLog::get().storedLines();
    for (const char* bad : {"map('baseq3/maps/missing.bsp')", "map('damaged.bsp')", "map()"}) {
        SCOPED_TRACE(bad);
        run(bad);
        EXPECT_TRUE(r->levelLoaded);
        EXPECT_EQ(r->faces, faces);
        EXPECT_EQ(TargetList::instance->count(), targets);
        EXPECT_EQ(Game::instance->life, 42);
        EXPECT_EQ(Game::instance->markCount, 3);
        EXPECT_FALSE(Menu::instance->menuActive);
    }
    int red = 0;
    for (size_t i = mark; i < SystemLog::get().storedLines(); ++i)
        red += std::string(SystemLog::get().line(i)).find(LOG_RED "::BspLoader ERROR") == 0;
    EXPECT_EQ(red, 3);
    // Still a level: quit() shows the menu instead of ending.
    run("quit()");
    EXPECT_FALSE(quitRequested);
    EXPECT_TRUE(Menu::instance->menuActive);
    Game::instance->reset();
}

// The README's console line: the Debian archives named, a level in them
// loaded by its path inside them.
TEST_F(MapCommand, GameDataFolderThenALevelInsideItsArchives)
{
    // Before the archives are named the level is not found (and whatever
    // level was loaded stays).
    size_t mark = SystemLog::get().storedLines();
    run("map('baseq3/maps/oa_dm1.bsp')");
    ASSERT_GT(SystemLog::get().storedLines(), mark);
    EXPECT_EQ(std::string(SystemLog::get().line(mark)).find(LOG_RED "::BspLoader ERROR"), 0u);
    run("gameData('/usr/share/games/openarena/baseoa') map('baseq3/maps/oa_dm1.bsp')");
    EXPECT_TRUE(Renderer::instance->levelLoaded);
    EXPECT_GT(Renderer::instance->faceCount, 0);
    run("gameData() gameData('/usr/share/games/openarena/baseoa')");  // nothing named, or again: nothing new
}

TEST_F(MapCommand, KillUnloadsResetsAndShowsTheKilledDialog)
{
    for (bool menuShown : { false, true }) {
        loadLevel();
        Menu::instance->menuActive = menuShown;
        Menu::instance->showScreen(menu::ScreenMain);
        Game::instance->life = 0;
        Game::instance->bullets = 3;
        run("kill()");
        EXPECT_FALSE(Renderer::instance->levelLoaded);
        EXPECT_EQ(TargetList::instance->count(), 0);
        EXPECT_EQ(Game::instance->life, 100);
        EXPECT_EQ(Game::instance->bullets, 1000);
        EXPECT_TRUE(Menu::instance->menuActive);
        EXPECT_EQ(Menu::instance->currentScreen, menu::ScreenKill);
    }
    // After kill, quit() ends the program.
    run("quit()");
    EXPECT_TRUE(quitRequested);
}

// The eye set in the file's own frame (z up) is where the next real frame
// draws from, along the direction yaw and pitch name, and viewPos gives the
// same numbers back; with physics on and off.
TEST_F(MapCommand, SetViewPosIsWhereTheNextFrameLooksFromAndViewPosSaysSo)
{
    loadLevel();
    Camera* camera = Camera::instance;
    Player::instance->mouseLook = false;
    for (bool physics : {true, false}) {
        SCOPED_TRACE(physics ? "physics on" : "physics off");
        Player::instance->physicsEnabled = physics;
        Player::instance->body->velocity = Vector3(50.0f, 0.0f, 0.0f);
        runFrame();  // the frame clock starts, so the next step is short
        run("setViewPos(100.5, -200.25, 64, 30, -20)");
        EXPECT_EQ(Player::instance->body->velocity.lengthSquared(), 0.0f);
        runFrame();

        // The file's (x, y, z) is (x, z, -y) here; yaw 30 and pitch -20 in the file's frame.
        const float yaw = 30.0f * float(M_PI) / 180.0f, pitch = -20.0f * float(M_PI) / 180.0f;
        Vector3 forward(std::cos(pitch) * std::cos(yaw), std::sin(pitch), -std::cos(pitch) * std::sin(yaw));
        Vector3 eye(100.5f, 64.0f, 200.25f);
        EXPECT_LT((camera->position - eye).length(), 1.0f);
        EXPECT_LT((camera->forward - forward).length(), 1e-4f);
        // The frame found the eye's leaf and built the frustum from GL's own
        // matrices there: the near plane faces along the view.
        EXPECT_EQ(camera->leaf, Renderer::instance->findLeaf(camera->position));
        Frustum* frustum = Frustum::instance;
        EXPECT_LT((frustum->coneVertex - camera->position).length(), 1e-4f);
        Vector3 nearNormal(frustum->planes[Frustum::Near][0], frustum->planes[Frustum::Near][1],
                           frustum->planes[Frustum::Near][2]);
        EXPECT_LT((nearNormal - forward).length(), 1e-3f);

        LogProbe probe;
        run("viewPos()");
        float x = 0, y = 0, z = 0, yawOut = 0, pitchOut = 0;
        ASSERT_EQ(std::sscanf(probe.last().c_str(), LOG_WHITE "::viewPos %f %f %f %f %f", &x, &y, &z,
                              &yawOut, &pitchOut), 5) << probe.last();
        EXPECT_NEAR(x, 100.5f, 1.0f);
        EXPECT_NEAR(y, -200.25f, 1.0f);
        EXPECT_NEAR(z, 64.0f, 1.0f);
        EXPECT_NEAR(yawOut, 30.0f, 0.01f);
        EXPECT_NEAR(pitchOut, -20.0f, 0.01f);
    }
    Player::instance->physicsEnabled = true;

    // Without three numbers nothing moves and a red line says why.
    Vector3 before = camera->position;
    LogProbe probe;
    run("setViewPos(1, 2) setViewPos('a', 2, 3)");
    EXPECT_EQ(probe.count(), 2u);
    EXPECT_EQ(probe.last().find(LOG_RED "::setViewPos ERROR"), 0u);
    EXPECT_EQ((camera->position - before).lengthSquared(), 0.0f);
}

// screenshot() saves the next finished frame under screenshots/ with the
// next free number, as a PNG of the window's size, and logs its name.
TEST_F(MapCommand, ScreenshotSavesTheNextFrameWithTheNextFreeNumber)
{
    loadLevel();
    std::filesystem::remove_all("screenshots");
    LogProbe probe;
    run("setHud(0) screenshot()");
    EXPECT_FALSE(hudShown);
    EXPECT_FALSE(std::filesystem::exists("screenshots/shot0000.png"));
    runFrame();
    run("screenshot()");
    runFrame();
    runFrame();  // nothing asked: no third picture
    run("setHud(1)");
    EXPECT_TRUE(hudShown);
    std::vector<std::string> lines = probe.lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], LOG_WHITE "::HUD hidden");
    EXPECT_EQ(lines[1], LOG_WHITE "::Screenshot screenshots/shot0000.png");
    EXPECT_EQ(lines[2], LOG_WHITE "::Screenshot screenshots/shot0001.png");
    EXPECT_FALSE(std::filesystem::exists("screenshots/shot0002.png"));
    for (const char* name : {"screenshots/shot0000.png", "screenshots/shot0001.png"}) {
        std::ifstream file(name, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        TgaImage image;
        const char* why = nullptr;
        ASSERT_TRUE(decodeImage(bytes.data(), bytes.size(), &image, &why)) << name;
        EXPECT_EQ(image.width, 64);
        EXPECT_EQ(image.height, 64);
    }
}

// The player starts looking along the spawn's direction: oa_bases5's player
// start says "angle" "179". "angles" gives pitch (down positive) and yaw;
// a start with neither (oa_bases3's) keeps the direction the camera had.
TEST_F(MapCommand, SpawnFacesItsAngle)
{
    Camera::instance->resetOrientation();
    run("map('" HALVEX_TEST_DATA "/openarena/maps/oa_bases5.bsp')");
    ASSERT_TRUE(Renderer::instance->levelLoaded);
    LogProbe probe;
    run("viewPos()");
    EXPECT_EQ(probe.last(), LOG_WHITE "::viewPos 864.00 0.00 32.00 179.00 0.00");

    EntitieParser parser;
    parser.parse("{\n\"classname\" \"info_player_deathmatch\"\n\"origin\" \"8 16 32\"\n"
                 "\"angles\" \"10 -135 0\"\n}\n", nullptr);
    run("viewPos()");
    EXPECT_EQ(probe.last(), LOG_WHITE "::viewPos 8.00 16.00 32.00 -135.00 -10.00");
    run("map('" HALVEX_TEST_DATA "/openarena/maps/oa_bases3.bsp') viewPos()");
    EXPECT_EQ(probe.last(), LOG_WHITE "::viewPos 1632.00 -448.00 72.00 -135.00 -10.00");
}

} // namespace
