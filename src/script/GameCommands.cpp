// The game's script commands: map, quit, setRes, kill, drawFps and the rest.
#include "script/GameCommands.h"

#include "app/AppState.h"
#include "app/Game.h"
#include "app/TargetList.h"
#include "gui/Menu.h"
#include "platform/Saturate.h"
#include "platform/SystemLog.h"
#include "resources/FileSystem.h"
#include "resources/GameFiles.h"
#include "script/LuaHost.h"
#include "script/Player.h"
#include "script/ScriptArgs.h"
#include "script/ViewCommands.h"
#include "world/BspLoader.h"
#include "world/Frustum.h"
#include "world/Renderer.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

bool levelIsLoaded()
{
    return Renderer::instance && Renderer::instance->levelLoaded;
}

// The level is freed and the target list emptied.
void unloadLevel()
{
    if (Renderer::instance)
        Renderer::instance->freeLevel();
    if (TargetList::instance)
        TargetList::instance->clear();
}

// gameData(folder): every .pk3 in the folder is searched as if it lay in
// baseq3/, after the plain files and the archives added before it.
int gameDataCommand(lua_State* L)
{
    const char* folder = scriptargs::text(L, 1);
    if (folder)
        addGameData(folder);
    return 0;
}

// map(file name): the loader reads and checks the whole file before it
// replaces anything, so a level that cannot be loaded leaves the current
// one, its enemies and the game as they were.
int mapCommand(lua_State* L)
{
    // No name: the load fails with the loader's own error line.
    playLevel(scriptargs::text(L, 1));
    return 0;
}

// quit(): numeric argument ends the program, else toggles the menu while a
// level is loaded.
int quitCommand(lua_State* L)
{
    if (scriptargs::isNumeric(L, 1) || !levelIsLoaded()) {
        quitRequested = true;
        return 0;
    }
    if (Menu::instance)
        Menu::instance->setActive(!Menu::instance->menuActive);
    return 0;
}

int drawFpsCommand(lua_State*)
{
    drawFps = !drawFps;
    SystemLog::get().write(LOG_WHITE "::drawFps is now %i", drawFps ? 1 : 0);
    return 0;
}

// Flips a switch and says in white which way it now stands.
void flipAndLog(bool& flag, const char* nowOn, const char* nowOff)
{
    flag = !flag;
    SystemLog::get().write("%s", flag ? nowOn : nowOff);
}

int lockFrustumCommand(lua_State*)
{
    if (Frustum::instance)
        flipAndLog(Frustum::instance->locked, LOG_WHITE "::Frustum locked", LOG_WHITE "::Frustum unlocked");
    return 0;
}

int toggleCameraPhysicsCommand(lua_State*)
{
    if (Player::instance)
        flipAndLog(Player::instance->physicsEnabled, LOG_WHITE "::Camera physics enabled",
                   LOG_WHITE "::Camera physics disabled");
    return 0;
}

// setRes("WIDTHxHEIGHT", fullscreen): takes effect at the next window creation.
int setResCommand(lua_State* L)
{
    int width = 0, height = 0;
    if (!parseResolution(scriptargs::text(L, 1), &width, &height))
        return 0;
    screenWidth = width;
    screenHeight = height;
    int full = 0;
    fullscreenSetting = scriptargs::integer(L, 2, &full) && full > 0;
    return 0;
}

// setOverbright(n): the factor the light of the levels loaded from now on
// is brightened by.
int setOverbrightCommand(lua_State* L)
{
    float factor = 0.0f;
    if (!scriptargs::finiteNumber(L, 1, &factor) || factor <= 0.0f || factor > kMaxOverbright) {
        SystemLog::get().write(LOG_RED "::setOverbright ERROR needs a factor above 0 and at most %g",
                               double(kMaxOverbright));
        return 0;
    }
    levelOverbright = factor;
    SystemLog::get().write(LOG_WHITE "::Overbright factor %g for the levels loaded next", double(factor));
    return 0;
}

// setToneCurve(lift): each channel x of the 3-D view of a level from a
// game-data archive becomes x + lift * x * (1 - x), from the next frame on.
int setToneCurveCommand(lua_State* L)
{
    float lift = 0.0f;
    if (!scriptargs::finiteNumber(L, 1, &lift) || lift < 0.0f || lift > 1.0f) {
        SystemLog::get().write(LOG_RED "::setToneCurve ERROR needs a lift from 0 to 1");
        return 0;
    }
    if (Renderer::instance)
        Renderer::instance->toneLift = lift;
    SystemLog::get().write(LOG_WHITE "::Tone curve lift %g", double(lift));
    return 0;
}

// kill(): ends the game and shows the killed dialog.
int killCommand(lua_State*)
{
    unloadLevel();
    if (Game::instance)
        Game::instance->reset();
    if (Menu::instance) {
        Menu::instance->setActive(true);
        Menu::instance->showScreen(menu::ScreenKill);
    }
    return 0;
}

} // namespace

int addGameData(const char* folder)
{
    int added = GameFiles::get().addArchives(folder, "baseq3");
    SystemLog::get().write(LOG_WHITE "::FileSystem %i archives in %s", added, folder);
    return added;
}

bool playLevel(const char* path)
{
    BspLoader loader;
    loader.overbright = levelOverbright;
    bool loaded = loader.load(path ? path : "", TargetList::instance);
    if (loaded && Menu::instance)
        Menu::instance->setActive(false);
    return loaded;
}

bool parseResolution(const char* text, int* width, int* height)
{
    if (!text)
        return false;
    const char* x = std::strchr(text, 'x');
    if (!x)
        return false;
    // Room for 11 characters before the "x"; longer widths are cut.
    char widthText[12];
    size_t length = static_cast<size_t>(x - text);
    if (length > sizeof widthText - 1)
        length = sizeof widthText - 1;
    std::memcpy(widthText, text, length);
    widthText[length] = '\0';
    *width = clampedAtoi(widthText);
    *height = clampedAtoi(x + 1);
    return true;
}

void registerGameCommands()
{
    LuaHost* host = LuaHost::instance;
    if (!host) {
        SystemLog::get().write(LOG_RED "::LUA ERROR no Lua host for the game commands");
        return;
    }
    host->registerCommand("map", mapCommand);
    host->registerCommand("gameData", gameDataCommand);
    host->registerCommand("quit", quitCommand);
    host->registerCommand("drawFps", drawFpsCommand);
    host->registerCommand("lockFrustum", lockFrustumCommand);
    host->registerCommand("toggleCameraPhysics", toggleCameraPhysicsCommand);
    host->registerCommand("setRes", setResCommand);
    host->registerCommand("kill", killCommand);
    host->registerCommand("setOverbright", setOverbrightCommand);
    host->registerCommand("setToneCurve", setToneCurveCommand);
    registerViewCommands();
}
