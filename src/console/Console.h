#pragma once
// The drop-down console that shows the log and runs typed lines as Lua.
#include "app/AppState.h"
#include "platform/Published.h"
#include "console/ConsoleInput.h"
#include "console/ConsoleView.h"
#include "resources/Font.h"

#include <SDL.h>

// The drop-down panel that shows the log in colour and runs typed lines as
// Lua. Opened and closed by toggleConsole; while open it takes every key.
class Console : public Published<Console> {
public:
    Console();
    ~Console();

    // Once at start-up, with a GL context current: panel of window height x
    // fraction, the console's own font, the background list, the entries.
    bool initConsole(int width, int height, float fraction, const char* fontFile, int fontSize);
    // True when the key press was consumed (always, while open).
    bool handleKey(const SDL_keysym& key);
    // In the 2D overlay, after the HUD; nothing while closed.
    void drawConsole();
    // Deletes the panel list and the font while the GL context is there.
    void release();

    int panelHeight() const { return height; }
    int panelWidth() const { return width; }
    int fontSize() const { return size; }
    // Top of entry i (0 lowest) and of the prompt line, in overlay pixels.
    int entryY(int i) const { return height - (size + 5) * (i + 2); }
    int promptY() const { return height - size - 5; }
    const ConsoleView& view() const { return entries; }
    const ConsoleInput& input() const { return line; }

private:
    void confirmLine();

    int height = 0;
    int width = 0;
    int size = 0;
    unsigned background = 0;  // display list: the panel and its yellow edge
    float textColour[3] = { 1.0f, 1.0f, 1.0f };
    Font consoleFont;
    ConsoleView entries;
    ConsoleInput line;
};

// Derived panel sizes, kept apart so they can be checked without a window.
int consolePanelHeight(int windowHeight, float fraction);
int consoleMaxLines(int panelHeight, int fontSize);
