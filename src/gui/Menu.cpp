// The menu screens: the GUI's windows wired to game actions and the settings files.
#include "gui/Menu.h"

#include <GL/gl.h>
#include <cstdio>
#include <cstring>

#include "app/Game.h"
#include "gui/GuiButton.h"
#include "gui/GuiCheckBox.h"
#include "gui/GuiComboBox.h"
#include "gui/GuiEditBox.h"
#include "gui/SettingsFiles.h"
#include "platform/OglSdl.h"
#include "platform/SystemLog.h"
#include "resources/TextureManager.h"
#include "script/ActionKeyTable.h"
#include "script/LuaHost.h"
#include "script/Player.h"
#include "world/Camera.h"
#include "world/PhysicsBody.h"

namespace {

const float kPointerSize = 20.0f;

int updateGuiControlsCommand(lua_State*)
{
    if (Menu::instance)
        Menu::instance->updateGuiControls();
    return 0;
}

// The last red log line from index `from` on, without its colour prefix.
std::string lastRedLine(size_t from)
{
    const SystemLog& log = SystemLog::get();
    const size_t prefix = sizeof(LOG_RED) - 1;
    for (size_t i = log.storedLines(); i > from; --i) {
        const char* line = log.line(i - 1);
        if (std::strncmp(line, LOG_RED, prefix) == 0)
            return line + prefix;
    }
    return "::Menu New Game failed";
}

} // namespace

Menu::Menu()
{
    host = LuaHost::instance;
    player = Player::instance;
    if (host)
        host->registerCommand("updateGuiControls", updateGuiControlsCommand);
}

GuiWidget* Menu::widget(int screen, const char* name) const
{
    return screens[screen] ? screens[screen]->findWidget(name) : nullptr;
}

void Menu::connect(int screen, const char* button, void (Menu::*handler)(GuiWidget*))
{
    if (GuiButton* b = dynamic_cast<GuiButton*>(widget(screen, button)))
        b->clicked.connect(sigc::mem_fun(*this, handler));
}

void Menu::connectShow(int screen, const char* button, int target)
{
    if (GuiButton* b = dynamic_cast<GuiButton*>(widget(screen, button)))
        b->clicked.connect(sigc::hide(sigc::bind(sigc::mem_fun(*this, &Menu::showScreen), target)));
}

void Menu::fillVideoScreen(bool fullscreen)
{
    if (GuiComboBox* combo = dynamic_cast<GuiComboBox*>(widget(menu::ScreenVideo, menu::kResolutionCombo))) {
        for (const char* size : menu::kResolutions) {
            ListItem item;
            std::snprintf(item.text, sizeof item.text, "%s", size);
            combo->list.addItem(item);
        }
        char current[32];
        std::snprintf(current, sizeof current, "%ix%i", screenWidth, screenHeight);
        combo->setText(current);
    }
    if (GuiCheckBox* check = dynamic_cast<GuiCheckBox*>(widget(menu::ScreenVideo, menu::kFullscreenCheck)))
        check->checked = fullscreen;
}

void Menu::init(int width, int height, bool fullscreen)
{
    screenWidth = width;
    screenHeight = height;
    TextureManager::get().loadTexture("baseq3//textures//logo.tga", &logoTexture, false);
    TextureManager::get().loadTexture("baseq3//textures//arrow.tga", &pointerTexture, false);
    gui.init();
    loadScreens("gui.gui", fullscreen);
    menuActive = true;
}

void Menu::loadScreens(const char* path, bool fullscreen)
{
    if (!gui.loadFile(path))
        SystemLog::get().write(LOG_WHITE "::Menu Failed to load gui");

    for (int s = 0; s < menu::ScreenCount; ++s) {
        GuiWindow* window = gui.findWindow(menu::kWindowNames[s]);
        screens[s] = window;
        if (!window)
            continue;
        // Body centred on the screen; the title bar lies above it.
        float dx = (screenWidth - window->record.width) * 0.5f - window->position.x;
        float dy = (screenHeight - window->record.height) * 0.5f - window->position.y;
        window->moveBy(dx, dy);
    }

    connect(menu::ScreenMain, menu::kNewGameButton, &Menu::onNewGame);
    connectShow(menu::ScreenMain, menu::kSettingsButton, menu::ScreenSettings);
    connect(menu::ScreenMain, menu::kQuitButton, &Menu::goBack);
    connectShow(menu::ScreenSettings, menu::kControlsButton, menu::ScreenControls);
    connectShow(menu::ScreenSettings, menu::kVideoButton, menu::ScreenVideo);
    connect(menu::ScreenSettings, menu::kSettingsBackButton, &Menu::goBack);
    connect(menu::ScreenControls, menu::kApplyButton, &Menu::onApplyControls);
    connect(menu::ScreenControls, menu::kControlsCancelButton, &Menu::goBack);
    connect(menu::ScreenVideo, menu::kVideoOkButton, &Menu::onVideoOk);
    connect(menu::ScreenVideo, menu::kVideoCancelButton, &Menu::goBack);
    connect(menu::ScreenKill, menu::kKillOkButton, &Menu::goBack);
    fillVideoScreen(fullscreen);

    for (int s = 1; s < menu::ScreenCount; ++s)
        if (screens[s])
            hideWindow(screens[s]);

    for (int s = 0; s < menu::ScreenCount; ++s)
        parentScreen[s] = menu::kParentScreens[s];
    currentScreen = menu::ScreenMain;
    if (screens[menu::ScreenMain])
        gui.raise(gui.zPosition(menu::kWindowNames[menu::ScreenMain]));
}

// Hidden, and when it was on top the window right below it takes its place.
void Menu::hideWindow(GuiWindow* window)
{
    window->visible = false;
    if (gui.count > 1 && gui.topWindow() == window)
        gui.raise(gui.count - 2);
}

void Menu::showScreen(int screen)
{
    if (screen < 0 || screen >= menu::ScreenCount)
        return;
    if (screens[currentScreen])
        hideWindow(screens[currentScreen]);
    currentScreen = screen;
    gui.resetInput();
    GuiWindow* window = screens[screen];
    if (!window)
        return;
    if (GuiWindow* top = gui.topWindow())
        top->visible = false;
    window->visible = true;
    gui.raise(gui.zPosition(window->name()));
}

void Menu::setActive(bool active)
{
    if (active && !menuActive)
        gui.resetInput();
    if (!active)
        failure.clear();
    menuActive = active;
}

// The button and the Escape key end the program by different quit calls.
void Menu::backOrQuit(const char* quitCall)
{
    int parent = parentScreen[currentScreen];
    if (parent >= 0)
        showScreen(parent);
    else if (host)
        host->runString(quitCall);
}

void Menu::goBack(GuiWidget*)
{
    backOrQuit("quit(1)");
}

void Menu::keyPressed(const SDL_keysym& key)
{
    if (key.sym == SDLK_ESCAPE) {
        backOrQuit("quit()");
        return;
    }
    GuiWindow* top = gui.topWindow();
    if (GuiWidget* focused = top ? top->focusedWidget() : nullptr)
        focused->keyPressed(key);
}

// A new game from the menu starts clean even over a running one: full life
// and bullets, no marks, the camera at rest looking down the default axis.
void Menu::onNewGame(GuiWidget*)
{
    if (Game::instance)
        Game::instance->reset();
    if (Camera::instance)
        Camera::instance->resetOrientation();
    if (player && player->body)
        player->body->velocity = Vector3();
    // The level hides the menu once it is loaded; one that cannot be loaded
    // leaves the menu up with the loader's red line under it.
    failure.clear();
    const size_t mark = SystemLog::get().storedLines();
    if (host)
        host->runString("map(\"baseq3/maps/test.bsp\")");
    if (menuActive)
        failure = lastRedLine(mark);
}

void Menu::onApplyControls(GuiWidget*)
{
    const char* contents[menu::kActionFieldCount] = {};
    for (int i = 0; i < menu::kActionFieldCount; ++i)
        if (GuiEditBox* box = dynamic_cast<GuiEditBox*>(widget(menu::ScreenControls, menu::kInputFileOrder[i].editBox)))
            contents[i] = box->content.c_str();
    if (!settings::replaceFile("input.lua", settings::inputFileText(contents)))
        return;
    if (host)
        host->runFile("input.lua");
}

void Menu::onVideoOk(GuiWidget*)
{
    GuiComboBox* combo = dynamic_cast<GuiComboBox*>(widget(menu::ScreenVideo, menu::kResolutionCombo));
    GuiCheckBox* check = dynamic_cast<GuiCheckBox*>(widget(menu::ScreenVideo, menu::kFullscreenCheck));
    const char* resolution = nullptr;
    if (combo && check) {
        // No row chosen yet: the size the box shows.
        int row = combo->list.selectedIndex;
        bool chosen = row >= 0 && row < static_cast<int>(combo->list.items.size());
        resolution = chosen ? combo->list.items[row].text : combo->shownText.c_str();
    }
    settings::replaceFile("videoSettings.lua", settings::videoFileText(resolution, check && check->checked));
}

void Menu::updateGuiControls()
{
    if (!screens[menu::ScreenControls] || !player || !player->actionKeys)
        return;
    for (const menu::ActionField& field : menu::kInputFileOrder)
        if (GuiEditBox* box = dynamic_cast<GuiEditBox*>(widget(menu::ScreenControls, field.editBox)))
            box->setText(settings::keyText(player->actionKeys->keys[field.action]));
}

void Menu::draw()
{
    if (!menuActive)
        return;
    glColor3f(1.0f, 1.0f, 1.0f);
    // Without its image the background stays black rather than white, so
    // the light captions stay readable.
    if (logoTexture) {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, logoTexture);
        drawTexturedQuad(0.0f, 0.0f, static_cast<float>(screenWidth), static_cast<float>(screenHeight));
    }
    glDisable(GL_TEXTURE_2D);

    // Window and widget colours carry their own alpha, from the first frame on.
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    int mx = 0, my = 0;
    SDL_GetMouseState(&mx, &my);
    float x = static_cast<float>(mx), y = static_cast<float>(my);
    gui.drawAll({x, y});
    if (!failure.empty()) {
        gui.font.printQueued(1.0f, 0.0f, 0.0f, 10, screenHeight - 2 * GUI::kFontSize, "%s", failure.c_str());
        glEnable(GL_TEXTURE_2D);
        gui.font.flushQueue();
        glDisable(GL_TEXTURE_2D);
    }

    glColor3f(1.0f, 1.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glBindTexture(GL_TEXTURE_2D, pointerTexture);
    drawTexturedQuad(x, y, x + kPointerSize, y + kPointerSize);
    glDisable(GL_TEXTURE_2D);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_BLEND);
}
