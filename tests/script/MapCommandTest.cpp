// map, quit and kill against a real level in a real GL context.
#include "app/AppState.h"
#include "app/Game.h"
#include "app/TargetList.h"
#include "gui/Menu.h"
#include "platform/SystemLog.h"
#include "script/GameCommands.h"
#include "script/LuaHost.h"
#include "world/Renderer.h"

#include <gtest/gtest.h>

#include <SDL/SDL.h>

#include <cstdio>
#include <filesystem>
#include <string>

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

} // namespace
