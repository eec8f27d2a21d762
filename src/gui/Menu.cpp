#include "gui/Menu.h"

#include <GL/gl.h>
#include <cstdio>

#include "resources/Font.h"
#include "resources/TextureManager.h"
#include "script/LuaHost.h"

Menu* Menu::instance = nullptr;

namespace {

int updateGuiControls(lua_State*)
{
    return 0;
}

} // namespace

Menu::Menu()
{
    instance = this;
    if (LuaHost::instance)
        LuaHost::instance->registerCommand("updateGuiControls", updateGuiControls);
}

Menu::~Menu()
{
    if (instance == this)
        instance = nullptr;
}

bool Menu::initMenu(int w, int h, bool fullscreen)
{
    (void)fullscreen;
    width = w;
    height = h;
    TextureManager::get().loadTexture("baseq3//textures//logo.tga", &logoTexture, false);
    // The GUI's set-up does this in the full menu: bound keys need the
    // character of each press, and held keys repeat.
    SDL_EnableUNICODE(1);
    SDL_EnableKeyRepeat(500, 30);
    showScreen("main");
    menuActive = true;
    return true;
}

bool Menu::handleKey(const SDL_keysym& key)
{
    LuaHost* host = LuaHost::instance;
    if (!host)
        return false;
    if (key.sym == SDLK_ESCAPE) {
        host->runString("quit()");
        return true;
    }
    if (key.sym == SDLK_RETURN || key.sym == SDLK_KP_ENTER) {
        menuActive = false;
        host->runString("map(\"baseq3/maps/test.bsp\")");
        return true;
    }
    return false;
}

void Menu::handleMouseButton(const SDL_Event& event)
{
    (void)event;
}

void Menu::drawMenu()
{
    if (!menuActive)
        return;
    if (logoTexture) {
        glEnable(GL_TEXTURE_2D);
        glColor3f(1.0f, 1.0f, 1.0f);
        glBindTexture(GL_TEXTURE_2D, logoTexture);
        glBegin(GL_QUADS);
        glTexCoord2f(0.0f, 0.0f); glVertex2i(0, 0);
        glTexCoord2f(1.0f, 0.0f); glVertex2i(width, 0);
        glTexCoord2f(1.0f, 1.0f); glVertex2i(width, height);
        glTexCoord2f(0.0f, 1.0f); glVertex2i(0, height);
        glEnd();
    }
    // The font draws from its atlas, so texturing stays on for it too.
    glEnable(GL_TEXTURE_2D);
    Font* font = Font::shared;
    if (font && font->loaded()) {
        const char* hint = "Press Enter for a new game, Escape to quit";
        font->printText((width - font->textWidth(hint)) / 2, height - 60, 1.0f, 1.0f, 1.0f, "%s", hint);
    }
}

void Menu::showScreen(const char* name)
{
    std::snprintf(screen, sizeof screen, "%s", name ? name : "");
}
