// Event routing and the frame skeleton with the game's twelve objects, real
// Lua and a real GL window under Xvfb.
#include <gtest/gtest.h>

#include <SDL.h>
#include <GL/gl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "app/AppState.h"
#include "app/Frame.h"
#include "app/FrameTimer.h"
#include "app/Startup.h"
#include "gui/Menu.h"
#include "platform/OglSdl.h"
#include "platform/SystemLog.h"
#include "script/GameCommands.h"
#include "script/InputBindings.h"
#include "script/ActionKeyTable.h"
#include "script/LuaHost.h"
#include "script/Player.h"

namespace {

class RoutingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        registerGameCommands();
        window = new OglSdl();
        window->createWindow("Halvex v. 0.1", 320, 240, 24, 45.0f);
        Menu::instance->init(320, 240, false);  // no gui.gui here: background and pointer only
        LuaHost::instance->runString("bind('print(\"slot j\")', 'j')");
        LuaHost::instance->runString("bind('print(\"slot J\")', 'J')");
        LuaHost::instance->runString("bind('print(\"slot escape\")', 27)");
    }
    static void TearDownTestSuite()
    {
        SDL_Quit();
        delete window;
    }
    void SetUp() override
    {
        mark = SystemLog::get().storedLines();
        consoleOpen = false;
        quitRequested = false;
        Menu::instance->menuActive = true;
    }
    bool logged(const std::string& text) const
    {
        for (size_t i = mark; i < SystemLog::get().storedLines(); ++i)
            if (std::string(SystemLog::get().line(i)).find(text) != std::string::npos)
                return true;
        return false;
    }
    static SDL_Event keyDown(SDLKey sym, Uint16 unicode)
    {
        SDL_Event e = {};
        e.type = SDL_KEYDOWN;
        e.key.type = SDL_KEYDOWN;
        e.key.state = SDL_PRESSED;
        e.key.keysym.sym = sym;
        e.key.keysym.unicode = unicode;
        return e;
    }
    static OglSdl* window;
    size_t mark = 0;
};
OglSdl* RoutingTest::window = nullptr;

TEST_F(RoutingTest, MenuTakesKeysBeforeTheBindings)
{
    routeEvent(keyDown(SDLK_j, 'j'));
    EXPECT_FALSE(logged("slot j"));
    // Escape in the menu runs quit(); with no level that ends the program.
    routeEvent(keyDown(SDLK_ESCAPE, 27));
    EXPECT_TRUE(quitRequested);
    EXPECT_FALSE(logged("slot escape"));
}

TEST_F(RoutingTest, BoundCharacterRunsOnlyItsOwnSlot)
{
    Menu::instance->menuActive = false;
    routeEvent(keyDown(SDLK_j, 'j'));
    EXPECT_TRUE(logged("slot j"));
    EXPECT_FALSE(logged("slot J"));
    mark = SystemLog::get().storedLines();
    routeEvent(keyDown(SDLK_j, 'J'));
    EXPECT_TRUE(logged("slot J"));
    EXPECT_FALSE(logged("slot j"));
    // Key releases fire nothing.
    mark = SystemLog::get().storedLines();
    SDL_Event up = keyDown(SDLK_j, 'j');
    up.type = SDL_KEYUP;
    routeEvent(up);
    EXPECT_FALSE(logged("slot"));
}

TEST_F(RoutingTest, CharacterAbove255ReachesNoSlot)
{
    Menu::instance->menuActive = false;
    // 330 = 256 + 'J': a numeric bind would land in slot 74, a key must not.
    SDL_Event e = keyDown(SDLK_UNKNOWN, 330);
    ASSERT_EQ(SDL_PushEvent(&e), 0);
    SDL_Event polled;
    while (SDL_PollEvent(&polled))
        routeEvent(polled);
    EXPECT_FALSE(logged("slot"));
}

TEST_F(RoutingTest, OpenConsoleTakesEveryKeyEvenOverTheMenu)
{
    consoleOpen = true;
    routeEvent(keyDown(SDLK_j, 'j'));
    EXPECT_FALSE(logged("slot j"));
    // Escape closes the console; the menu never sees it.
    routeEvent(keyDown(SDLK_ESCAPE, 27));
    EXPECT_FALSE(consoleOpen);
    EXPECT_FALSE(quitRequested);
    EXPECT_FALSE(logged("slot escape"));
}

TEST_F(RoutingTest, WindowCloseAndMouseButtons)
{
    Menu::instance->menuActive = false;
    SDL_Event click = {};
    click.type = SDL_MOUSEBUTTONDOWN;
    click.button.button = SDL_BUTTON_LEFT;
    routeEvent(click);
    EXPECT_FALSE(Menu::instance->menuActive);
    EXPECT_FALSE(quitRequested);

    SDL_Event close = {};
    close.type = SDL_QUIT;
    routeEvent(close);
    EXPECT_TRUE(quitRequested);
}

TEST_F(RoutingTest, ResizeSetsViewportButKeepsConfiguredSizes)
{
    SDL_Event e = {};
    e.type = SDL_VIDEORESIZE;
    e.resize.w = 400;
    e.resize.h = 300;
    routeEvent(e);
    ASSERT_NE(window->screen, nullptr);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 400);
    EXPECT_EQ(viewport[3], 300);
    EXPECT_EQ(window->width, 320);
    EXPECT_EQ(screenWidth, 800);
    EXPECT_FALSE(logged("Resizing window"));
    e.resize.w = 320;
    e.resize.h = 240;
    routeEvent(e);
}

TEST_F(RoutingTest, FrameTicksAndLeavesMatricesBalanced)
{
    GLint depthBefore = 0;
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depthBefore);
    uint32_t frames = FrameTimer::instance->frameCount;

    runFrame();  // menu branch
    Menu::instance->menuActive = false;
    runFrame();  // game branch with no level

    EXPECT_EQ(FrameTimer::instance->frameCount, frames + 2);
    GLint depthAfter = 0;
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depthAfter);
    EXPECT_EQ(depthAfter, depthBefore);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
}

TEST_F(RoutingTest, WithoutGuiFileKillStillSwitchesToTheKilledDialog)
{
    // Enter does nothing in the menu; with no windows nothing takes keys.
    routeEvent(keyDown(SDLK_RETURN, 13));
    EXPECT_TRUE(Menu::instance->menuActive);
    EXPECT_EQ(Menu::instance->gui.count, 0);
    Menu::instance->showScreen(99);
    EXPECT_EQ(Menu::instance->currentScreen, menu::ScreenMain);
    Menu::instance->menuActive = false;
    LuaHost::instance->runString("kill()");
    EXPECT_TRUE(Menu::instance->menuActive);
    EXPECT_EQ(Menu::instance->currentScreen, menu::ScreenKill);
    // Escape on the killed dialog goes back to the main screen.
    routeEvent(keyDown(SDLK_ESCAPE, 27));
    EXPECT_EQ(Menu::instance->currentScreen, menu::ScreenMain);
    EXPECT_FALSE(quitRequested);
    runFrame();  // background and pointer only
}

// The shipped gui.gui cut at every byte: each time one white line and no
// window; the menu draws only background and pointer and Escape ends.
TEST_F(RoutingTest, ShippedGuiFileCutAtEveryByte)
{
    std::ifstream in(HALVEX_GAME_DIR "/gui.gui", std::ios::binary);
    std::stringstream whole;
    whole << in.rdbuf();
    const std::string bytes = whole.str();
    ASSERT_GT(bytes.size(), 1000u);
    const std::string path = "cut_" + std::to_string(getpid()) + ".gui";
    for (size_t n = 0; n < bytes.size(); ++n) {
        std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(n));
        size_t before = SystemLog::get().storedLines();
        Menu::instance->loadScreens(path.c_str(), false);
        ASSERT_EQ(SystemLog::get().storedLines(), before + 1) << n;
        ASSERT_STREQ(SystemLog::get().line(before), LOG_WHITE "::Menu Failed to load gui") << n;
        ASSERT_EQ(Menu::instance->gui.count, 0) << n;
        if (n % 64 == 0)
            runFrame();
        quitRequested = false;
        routeEvent(keyDown(SDLK_ESCAPE, 27));
        ASSERT_TRUE(quitRequested) << n;
    }
    std::remove(path.c_str());
}

TEST_F(RoutingTest, ShippedConfigurationBindsTheControls)
{
    // The run folder's defaults, as start-up runs them: no red line.
    EXPECT_TRUE(LuaHost::instance->runFile(HALVEX_SOURCE_DIR "/content/config/input.lua"));
    EXPECT_TRUE(LuaHost::instance->runFile(HALVEX_SOURCE_DIR "/content/config/settings.lua"));
    for (size_t i = mark; i < SystemLog::get().storedLines(); ++i)
        EXPECT_NE(SystemLog::get().line(i)[3], '0') << SystemLog::get().line(i);

    InputBindings* bindings = InputBindings::instance;
    ASSERT_NE(bindings->boundCommand(96), nullptr);
    EXPECT_STREQ(bindings->boundCommand(96), "toggleConsole(96)");
    ASSERT_NE(bindings->boundCommand(27), nullptr);
    EXPECT_STREQ(bindings->boundCommand(27), "quit()");
    EXPECT_NE(bindings->boundCommand('f'), nullptr);
    EXPECT_NE(bindings->boundCommand('p'), nullptr);
    // Movement keys must stay free of one-shot commands.
    for (char c : { 'w', 'a', 's', 'd', ' ', 'c' })
        EXPECT_EQ(bindings->boundCommand(c), nullptr) << c;

    const ActionKey* keys = Player::instance->actionKeys->keys;
    const int expected[ActionCount][2] = {
        { DeviceKeyboard, 'w' }, { DeviceKeyboard, 's' }, { DeviceKeyboard, 'a' }, { DeviceKeyboard, 'd' },
        { DeviceKeyboard, ' ' }, { DeviceKeyboard, 'c' }, { DeviceMouse, 1 },
    };
    for (int a = 0; a < ActionCount; ++a) {
        EXPECT_EQ(keys[a].device, expected[a][0]) << a;
        EXPECT_EQ(keys[a].code, expected[a][1]) << a;
    }

    // Back-quote opens the console once the menu is gone; it then closes it.
    Menu::instance->menuActive = false;
    routeEvent(keyDown(SDLK_BACKQUOTE, 96));
    EXPECT_TRUE(consoleOpen);
    routeEvent(keyDown(SDLK_BACKQUOTE, 96));
    EXPECT_FALSE(consoleOpen);
}

} // namespace
