// The seven game commands through real Lua, with the process-wide objects as
// the game constructs them (no window, no level: see MapCommandTest).
#include "app/AppState.h"
#include "app/Game.h"
#include "gui/Menu.h"
#include "script/GameCommands.h"
#include "script/LuaHost.h"
#include "script/Player.h"
#include "world/Camera.h"
#include "world/Frustum.h"
#include "world/Renderer.h"

#include "LogProbe.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

namespace {

const std::string white = LOG_WHITE;

class GameCommands : public ::testing::Test {
protected:
    static void SetUpTestSuite() { registerGameCommands(); }

    void SetUp() override
    {
        screenWidth = 800;
        screenHeight = 600;
        fullscreenSetting = false;
        quitRequested = false;
    }

    // Every command must run without raising a Lua error.
    static void run(const std::string& text)
    {
        EXPECT_TRUE(LuaHost::instance->runString(text.c_str())) << text;
    }
};

TEST_F(GameCommands, DrawFpsTogglesAndLogs)
{
    LogProbe probe;
    ASSERT_FALSE(drawFps);
    run("drawFps()");
    EXPECT_TRUE(drawFps);
    EXPECT_EQ(probe.last(), white + "::drawFps is now 1");
    run("drawFps('ignored', {})");
    EXPECT_FALSE(drawFps);
    EXPECT_EQ(probe.last(), white + "::drawFps is now 0");
}

TEST_F(GameCommands, LockFrustumTogglesAndLogs)
{
    LogProbe probe;
    ASSERT_FALSE(Frustum::instance->locked);
    run("lockFrustum()");
    EXPECT_TRUE(Frustum::instance->locked);
    EXPECT_EQ(probe.last(), white + "::Frustum locked");
    run("lockFrustum(1)");
    EXPECT_FALSE(Frustum::instance->locked);
    EXPECT_EQ(probe.last(), white + "::Frustum unlocked");
}

TEST_F(GameCommands, ToggleCameraPhysicsTogglesAndLogs)
{
    LogProbe probe;
    ASSERT_TRUE(Player::instance->physicsEnabled);
    run("toggleCameraPhysics()");
    EXPECT_FALSE(Player::instance->physicsEnabled);
    EXPECT_EQ(probe.last(), white + "::Camera physics disabled");
    run("toggleCameraPhysics()");
    EXPECT_TRUE(Player::instance->physicsEnabled);
    EXPECT_EQ(probe.last(), white + "::Camera physics enabled");
}

TEST_F(GameCommands, SetResParsesWidthAndHeight)
{
    run("setRes('1024x768')");
    EXPECT_EQ(screenWidth, 1024);
    EXPECT_EQ(screenHeight, 768);
    EXPECT_FALSE(fullscreenSetting);

    // atoi skips the leading blank and stops at the blank before the x.
    run("setRes(' 1024 x 768')");
    EXPECT_EQ(screenWidth, 1024);
    EXPECT_EQ(screenHeight, 768);

    run("setRes('640x400', 1)");
    EXPECT_EQ(screenWidth, 640);
    EXPECT_EQ(screenHeight, 400);
    EXPECT_TRUE(fullscreenSetting);
    run("setRes('800x600')");
    EXPECT_FALSE(fullscreenSetting);
    run("setRes('800x600', '2')");
    EXPECT_TRUE(fullscreenSetting);
    run("setRes('800x600', 0)");
    EXPECT_FALSE(fullscreenSetting);
    run("setRes('800x600', 0.9)");  // truncated to 0
    EXPECT_FALSE(fullscreenSetting);
    run("setRes('800x600', -3)");
    EXPECT_FALSE(fullscreenSetting);
    run("setRes('800x600', 1.5)");
    EXPECT_TRUE(fullscreenSetting);
    run("setRes('800x600', 'yes')");
    EXPECT_FALSE(fullscreenSetting);
    run("setRes('800x600', {})");
    EXPECT_FALSE(fullscreenSetting);

    // Only the first x splits; signs and junk follow atoi.
    run("setRes('-12x+34xjunk')");
    EXPECT_EQ(screenWidth, -12);
    EXPECT_EQ(screenHeight, 34);
    run("setRes('x')");
    EXPECT_EQ(screenWidth, 0);
    EXPECT_EQ(screenHeight, 0);
    run("setRes('abcx12abc')");
    EXPECT_EQ(screenWidth, 0);
    EXPECT_EQ(screenHeight, 12);
}

TEST_F(GameCommands, SetResWithoutAnXOrTextChangesNothing)
{
    run("setRes('640x480', 1)");
    for (const char* text : { "setRes('1024X768', 0)", "setRes('1024*768')", "setRes(1024)", "setRes()",
                              "setRes({}, 0)", "setRes(nil, 0)", "setRes(true)", "setRes('')" }) {
        run(text);
        EXPECT_EQ(screenWidth, 640) << text;
        EXPECT_EQ(screenHeight, 480) << text;
        EXPECT_TRUE(fullscreenSetting) << text;
    }
}

TEST_F(GameCommands, SetResCutsLongWidthsAndClampsHugeNumbers)
{
    // Only 11 characters before the x are read.
    run("setRes('123456789012345x99')");
    EXPECT_EQ(screenWidth, INT_MAX);  // "12345678901" overflows int: clamped
    EXPECT_EQ(screenHeight, 99);
    run("setRes('           640x480')");
    EXPECT_EQ(screenWidth, 0);  // the 11 characters kept are all blanks
    run("setRes('" + std::string(100000, '7') + "x" + std::string(100000, '9') + "')");
    EXPECT_EQ(screenWidth, INT_MAX);
    EXPECT_EQ(screenHeight, INT_MAX);
    run("setRes('1x-99999999999999')");
    EXPECT_EQ(screenHeight, INT_MIN);
}

TEST_F(GameCommands, ParseResolutionWithoutLua)
{
    int w = 5, h = 6;
    EXPECT_FALSE(parseResolution(nullptr, &w, &h));
    EXPECT_FALSE(parseResolution("800 600", &w, &h));
    EXPECT_EQ(w, 5);
    EXPECT_EQ(h, 6);
    EXPECT_TRUE(parseResolution("\t320x\n200", &w, &h));
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 200);
    EXPECT_TRUE(parseResolution("12345678901x1", &w, &h));  // exactly 11 digits
    EXPECT_EQ(w, INT_MAX);
    EXPECT_TRUE(parseResolution("00000000640x1", &w, &h));   // 11 kept: "00000000640"
    EXPECT_EQ(w, 640);
    EXPECT_TRUE(parseResolution("000000000640x1", &w, &h));  // 11 kept: "00000000064"
    EXPECT_EQ(w, 64);
}

TEST_F(GameCommands, QuitWithoutALevelAlwaysEnds)
{
    ASSERT_FALSE(Renderer::instance->levelLoaded);
    bool menuBefore = Menu::instance->menuActive;
    for (const char* text : { "quit()", "quit(0)", "quit(1)", "quit('abc')", "quit({})", "quit('0x10')" }) {
        quitRequested = false;
        run(text);
        EXPECT_TRUE(quitRequested) << text;
        EXPECT_EQ(Menu::instance->menuActive, menuBefore) << text;
    }
}

TEST_F(GameCommands, KillShowsTheKilledDialogAndResetsTheGame)
{
    Menu::instance->menuActive = false;
    Game::instance->life = 3;
    Game::instance->bullets = 7;
    run("kill()");
    EXPECT_TRUE(Menu::instance->menuActive);
    EXPECT_EQ(Menu::instance->currentScreen, menu::ScreenKill);
    EXPECT_EQ(Game::instance->life, 100);
    EXPECT_EQ(Game::instance->bullets, 1000);
    EXPECT_FALSE(Renderer::instance->levelLoaded);

    // Already shown: still resets.
    Game::instance->life = -20;
    run("kill('extra')");
    EXPECT_TRUE(Menu::instance->menuActive);
    EXPECT_EQ(Game::instance->life, 100);
}

TEST_F(GameCommands, MapOfMissingOrForeignFileKeepsTheMenu)
{
    std::FILE* f = std::fopen("not_a_level.bsp", "wb");
    std::fputs("RBSP this is no level at all", f);
    std::fclose(f);

    for (bool shown : { true, false }) {
        Menu::instance->menuActive = shown;
        LogProbe probe;
        run("map('no/such/level.bsp')");
        EXPECT_EQ(Menu::instance->menuActive, shown);
        EXPECT_FALSE(Renderer::instance->levelLoaded);
        EXPECT_EQ(probe.last(), LOG_RED "::BspLoader ERROR: file does not exist: no/such/level.bsp");

        run("map('not_a_level.bsp')");
        EXPECT_EQ(probe.last(), LOG_RED "::BspLoader ERROR: file is not a Quake3 BSP file: not_a_level.bsp");
        EXPECT_EQ(Menu::instance->menuActive, shown);

        // No usable name: the load fails the same way.
        run("map() map({}) map(nil) map(true) map('') map('" + std::string(5000, 'm') + "')");
        EXPECT_EQ(Menu::instance->menuActive, shown);
        EXPECT_FALSE(Renderer::instance->levelLoaded);
    }
}

TEST_F(GameCommands, CommandsSurviveMissingObjects)
{
    Frustum* frustum = Frustum::instance;
    Player* player = Player::instance;
    Menu* menu = Menu::instance;
    Game* game = Game::instance;
    Renderer* renderer = Renderer::instance;
    Frustum::instance = nullptr;
    Player::instance = nullptr;
    Menu::instance = nullptr;
    Game::instance = nullptr;
    Renderer::instance = nullptr;

    Camera* camera = Camera::instance;
    Camera::instance = nullptr;
    run("lockFrustum() toggleCameraPhysics() kill() map('none.bsp') setViewPos(1, 2, 3) viewPos() quit('x')");
    Camera::instance = camera;
    EXPECT_TRUE(quitRequested);

    Frustum::instance = frustum;
    Player::instance = player;
    Menu::instance = menu;
    Game::instance = game;
    Renderer::instance = renderer;
}

TEST_F(GameCommands, SetOverbrightTakesFactorsAboveZeroUpToSixteen)
{
    LogProbe probe;
    ASSERT_EQ(levelOverbright, 4.0f);
    run("setOverbright(1.5)");
    EXPECT_EQ(levelOverbright, 1.5f);
    EXPECT_EQ(probe.last(), white + "::Overbright factor 1.5 for the levels loaded next");
    for (const char* bad : {"setOverbright(0)", "setOverbright(-2)", "setOverbright(17)", "setOverbright()",
                            "setOverbright('x')", "setOverbright(0/0)", "setOverbright(1/0)"}) {
        run(bad);
        EXPECT_EQ(levelOverbright, 1.5f) << bad;
        EXPECT_EQ(probe.last().find(LOG_RED "::setOverbright ERROR"), 0u) << bad;
    }
    run("setOverbright('16')");
    EXPECT_EQ(levelOverbright, 16.0f);
    run("setOverbright(4)");

    // The tone curve's lift goes to the renderer at once.
    run("setToneCurve(0.25)");
    EXPECT_EQ(Renderer::instance->toneLift, 0.25f);
    EXPECT_EQ(probe.last(), white + "::Tone curve lift 0.25");
    for (const char* bad : {"setToneCurve(-0.1)", "setToneCurve(1.5)", "setToneCurve()", "setToneCurve(0/0)"}) {
        run(bad);
        EXPECT_EQ(Renderer::instance->toneLift, 0.25f) << bad;
        EXPECT_EQ(probe.last().find(LOG_RED "::setToneCurve ERROR"), 0u) << bad;
    }
    run("setToneCurve(0)");
}

} // namespace
