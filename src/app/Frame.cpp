// One pass of the main loop after the events: the menu or the game frame, then the buffer swap.
#include "app/Frame.h"

#include <SDL.h>
#include <GL/gl.h>

#include "app/AppState.h"
#include "app/FrameTimer.h"
#include "app/Game.h"
#include "app/Screenshot.h"
#include "console/Console.h"
#include "gui/Menu.h"
#include "platform/OglSdl.h"

void runFrame()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (FrameTimer::instance)
        FrameTimer::instance->tick();
    glColor3f(1.0f, 1.0f, 1.0f);

    OglSdl* window = OglSdl::instance;
    if (Menu::instance && Menu::instance->menuActive) {
        if (window)
            window->beginOverlay();
        Menu::instance->draw();
        // An open console takes every key, so it stays in sight over the menu.
        if (Console::instance)
            Console::instance->drawConsole();
    } else if (Game::instance) {
        // The game opens the overlay itself, after the world, for its HUD.
        Game::instance->runGameFrame();
    } else if (window) {
        window->beginOverlay();
    }

    if (window)
        window->endOverlay();
    // The back buffer holds exactly the frame the swap is about to show.
    if (screenshotRequested) {
        screenshotRequested = false;
        saveScreenshot();
    }
    SDL_GL_SwapBuffers();
}
