#pragma once
#include <SDL.h>

// Stand-in front end until the widget GUI lands: a full-screen logo with one
// line of text. Enter starts a new game, Escape runs quit(); mouse buttons
// are ignored. Keeps the flag and the calls the rest of the program uses.
class Menu {
public:
    static Menu* instance;  // published by the constructor, cleared by the destructor

    static const int kScreenNameSize = 32;

    bool menuActive = false;  // the frame draws the menu; keys go to it

    Menu();  // registers updateGuiControls (a no-op here)
    ~Menu();
    Menu(const Menu&) = delete;
    Menu& operator=(const Menu&) = delete;

    // Once at start-up with a GL context: loads the logo and shows the menu.
    bool initMenu(int w, int h, bool fullscreen);
    // Takes every key press while the menu is shown. True when it acted.
    bool handleKey(const SDL_keysym& key);
    // Mouse buttons go to the GUI, which the stand-in does not have.
    void handleMouseButton(const SDL_Event& event);
    // In the 2D overlay: the logo over the whole window and the hint text.
    void drawMenu();
    // Records the screen to show ("main", "kill", ...); cut to 31 characters.
    void showScreen(const char* name);

    const char* currentScreen() const { return screen; }

private:
    unsigned logoTexture = 0;
    int width = 0;
    int height = 0;
    char screen[kScreenNameSize] = "main";
};
