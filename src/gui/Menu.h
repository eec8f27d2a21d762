#pragma once
// The front end: the logo over the whole window, the five screens of
// gui.gui (main, settings, key controls, video, killed) with the code behind
// their buttons, and the mouse pointer. Writes input.lua and
// videoSettings.lua from the settings screens.
#include "platform/Published.h"
#include <SDL.h>
#include <sigc++/sigc++.h>
#include <string>

#include "gui/Gui.h"
#include "gui/MenuScreens.h"

class GuiWidget;
class LuaHost;
class Player;

class Menu : public sigc::trackable, public Published<Menu> {
public:
    bool menuActive = false;  // the frame draws the menu; keys and mouse buttons go to it
    std::string failure;      // why the last New Game failed, shown in red under the screens
    unsigned logoTexture = 0;
    unsigned pointerTexture = 0;
    int screenWidth = 0;
    int screenHeight = 0;
    int parentScreen[menu::ScreenCount] = { -1, -1, -1, -1, -1 };
    int currentScreen = menu::ScreenMain;
    GUI gui;
    GuiWindow* screens[menu::ScreenCount] = {};  // null when gui.gui lacks one
    LuaHost* host = nullptr;
    Player* player = nullptr;

    Menu();  // registers updateGuiControls

    // Once at start-up with a GL context: textures, gui.gui, centred
    // screens, handlers; shows the main screen.
    void init(int width, int height, bool fullscreen);
    // The part of init that reads the description file: windows, centring,
    // handlers, the main screen on top. Without the file: no windows.
    void loadScreens(const char* path, bool fullscreen);
    // A key press while the menu is shown and the console closed.
    void keyPressed(const SDL_keysym& key);
    // In the 2D overlay: logo, windows, pointer.
    void draw();
    // Shows the screen with no focus and no held button.
    void showScreen(int screen);
    // Shows or hides the menu. Shown again, it owes no release to a press
    // made in the game; hidden, the failure line goes.
    void setActive(bool active);
    // Back to the current screen's parent; from the main screen ends the program.
    void goBack(GuiWidget* button = nullptr);

    void onNewGame(GuiWidget* button);
    void onApplyControls(GuiWidget* button);
    void onVideoOk(GuiWidget* button);
    // Fills the key boxes of the controls screen from the action keys.
    void updateGuiControls();

private:
    void backOrQuit(const char* quitCall);
    void hideWindow(GuiWindow* window);
    void connect(int screen, const char* button, void (Menu::*handler)(GuiWidget*));
    void connectShow(int screen, const char* button, int target);
    void fillVideoScreen(bool fullscreen);
    GuiWidget* widget(int screen, const char* name) const;
};
