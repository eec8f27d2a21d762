// The program's skeleton: main's steps, start-up, the main loop with its event routing, shutdown.
#include "app/Startup.h"

#include <SDL.h>
#include <GL/gl.h>
#include <cmath>
#include <string>

#include "app/AppState.h"
#include "app/Frame.h"
#include "app/Game.h"
#include "app/StartOptions.h"
#include "app/TargetList.h"
#include "console/Console.h"
#include "gui/Menu.h"
#include "platform/DisplayLoss.h"
#include "platform/OglSdl.h"
#include "platform/SystemLog.h"
#include "resources/FileSystem.h"
#include "resources/Font.h"
#include "resources/GameFiles.h"
#include "resources/TextureManager.h"
#include "script/GameCommands.h"
#include "script/InputBindings.h"
#include "script/LuaHost.h"
#include "script/Player.h"
#include "world/Frustum.h"
#include "world/Renderer.h"

namespace {

void runStartupFile(const char* path)
{
    if (LuaHost::instance)
        LuaHost::instance->runFile(path);
}

// SDL answers a query with the state it really has, so a refused change shows.
bool setCursorShown(bool shown)
{
    int wanted = shown ? SDL_ENABLE : SDL_DISABLE;
    SDL_ShowCursor(wanted);
    return SDL_ShowCursor(SDL_QUERY) == wanted;
}

void routeKey(const SDL_keysym& key)
{
    Menu* menu = Menu::instance;
    if (!consoleOpen && menu && menu->menuActive) {
        menu->keyPressed(key);
        return;
    }
    if (Console::instance && Console::instance->handleKey(key))
        return;
    // A key bound by name first (F12 types nothing); characters above 255
    // have no slot, the table ignores them.
    if (InputBindings::instance && !InputBindings::instance->runNamedKeyCommand(key.sym))
        InputBindings::instance->runBoundCommand(key.unicode);
}

void routeResize(const SDL_ResizeEvent& resize)
{
    OglSdl* window = OglSdl::instance;
    if (!window)
        return;
    // The configured size stays: the overlay keeps its coordinate space and
    // is stretched onto the new window.
    window->screen = SDL_SetVideoMode(resize.w, resize.h, window->depth, window->flags);
    if (window->screen)
        window->resizeViewport(resize.w, resize.h);
    else
        SystemLog::get().write(LOG_RED "::OglSdl ERROR Resizing window");
}

} // namespace

void routeEvent(const SDL_Event& event)
{
    switch (event.type) {
    case SDL_KEYDOWN:
        routeKey(event.key.keysym);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        if (Menu::instance && Menu::instance->menuActive)
            Menu::instance->gui.mouseEvent(event);
        break;
    case SDL_QUIT:
        quitRequested = true;
        break;
    case SDL_VIDEORESIZE:
        routeResize(event.resize);
        break;
    default:
        break;  // key releases, motion and the rest: actions poll SDL's state
    }
}

void setGameGlState()
{
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_TEXTURE_2D);
    glCullFace(GL_FRONT);
    glEnable(GL_CULL_FACE);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
}

bool startUp()
{
    setGameGlState();

    if (!setCursorShown(false))
        SystemLog::get().write(LOG_YELLOW "::Main WARNING SDL_ShowCursor(SDL_DISABLE) Failed!");
    SDL_WarpMouse(static_cast<Uint16>(screenWidth / 2), static_cast<Uint16>(screenHeight / 2));

    if (!SharedFont::instance || !SharedFont::instance->init("faktos.ttf", Game::HUD_FONT_SIZE))
        return false;
    if (Player::instance)
        Player::instance->speed = 100.0f;
    if (!Renderer::instance || !Renderer::instance->setupMultitexture())
        return false;

    if (Frustum::instance)
        Frustum::instance->setViewport(screenWidth / 2.0f, screenHeight / 2.0f, std::tan(0.7853981635f));
    if (Player::instance)
        Player::instance->setScreenSize(screenWidth, screenHeight);
    drawFps = false;

    if (Console::instance)
        Console::instance->initConsole(screenWidth, screenHeight, 0.7f, "faktos.ttf", 11);
    if (Menu::instance)
        Menu::instance->init(screenWidth, screenHeight, fullscreenSetting);
    if (Game::instance)
        Game::instance->init(screenWidth, screenHeight, SharedFont::instance);

    runStartupFile("input.lua");
    runStartupFile("settings.lua");
    return true;
}

void applyStartOptions(const StartOptions& options)
{
    if (!options.level.empty()) {
        std::string level = options.level;
        if (!GameFiles::get().exists(level.c_str()) && GameFiles::get().exists(("baseq3/" + level).c_str()))
            level = "baseq3/" + level;
        playLevel(level.c_str());
    }
    for (const std::string& line : options.luaLines)
        if (LuaHost::instance)
            LuaHost::instance->runString(line.c_str());
}

void mainLoop()
{
    while (!quitRequested || screenshotRequested) {
        SDL_Event event;
        while (SDL_PollEvent(&event))
            routeEvent(event);
        runFrame();
    }
}

void shutDown()
{
    if (!setCursorShown(true))
        SystemLog::get().write(LOG_YELLOW "::Main WARNING SDL_ShowCursor(SDL_ENABLE) Failed!");
}

void releaseGlObjects()
{
    if (Renderer::instance)
        Renderer::instance->freeLevel();  // its enemies and particle systems too
    if (TargetList::instance)
        TargetList::instance->clear();
    if (Console::instance)
        Console::instance->release();
    if (Game::instance)
        Game::instance->release();
    if (SharedFont::instance)
        SharedFont::instance->release();
    if (Menu::instance)
        Menu::instance->gui.font.release();
    TextureManager::get().releaseAll();
}

int runHalvex(const StartOptions& options)
{
    registerGameCommands();
    for (const std::string& folder : options.dataFolders)
        addGameData(folder.c_str());
    runStartupFile("videoSettings.lua");

    // A display that goes away before the window shows ends start-up with a
    // failure: set before SDL opens it, and again after its video start and
    // the mode set, which may set their own.
    endProcessWhenDisplayLost(false);
    OglSdl* window = new OglSdl();
    endProcessWhenDisplayLost(false);
    if (fullscreenSetting)
        window->fitToDisplay(&screenWidth, &screenHeight);
    bool windowOpen = false;
    {
        DriverFaultGuard guard;
        windowOpen = window->createWindow("Halvex v. 0.1", screenWidth, screenHeight, 24, 45.0f);
        // A refused full-screen mode falls back to the window rather than
        // running on without a surface.
        if (windowOpen && fullscreenSetting && !window->toggleFullscreen())
            windowOpen = window->toggleFullscreen();
    }
    // Once the window shows, losing the display ends the program as closing
    // the window does.
    endProcessWhenDisplayLost(windowOpen);

    // Without a window there is no GL context to start up on.
    if (windowOpen && startUp()) {
        // A quit() in the start-up files does not end the program before it
        // began; one in the command line's Lua lines does.
        quitRequested = false;
        applyStartOptions(options);
        mainLoop();
    }
    shutDown();

    releaseGlObjects();
    SDL_Quit();
    delete window;
    // A game nobody can see has failed, whatever else went right.
    return windowOpen ? 0 : 1;
}
