#pragma once
// The window manager of the menu screens: up to 20 windows from gui.gui,
// their stacking order and the mouse button dispatch.
#include "gui/GuiRecords.h"
#include "gui/GuiWindow.h"
#include "resources/Font.h"

#include <SDL.h>

class GUI {
public:
    static constexpr int kMaxWindows = gui::kMaxWindows;
    static constexpr int kFontSize = 10;

    GUI() = default;
    ~GUI() = default;
    GUI(const GUI&) = delete;
    GUI& operator=(const GUI&) = delete;

    // Loads the font ("faktos.ttf", size 10; needs a GL context) and turns
    // on SDL's key translation and key repeat. Failures are logged only.
    void init();
    void init(const char* fontFile);
    // Adds the windows of a description file, in file order, the last on
    // top. False, with nothing added, when the file cannot be read, is cut
    // short or damaged, or holds more windows than the free slots.
    bool loadFile(const char* path);
    // The same from blocks already read.
    bool addWindows(const std::vector<WindowBlock>& blocks);

    GuiWindow* findWindow(const char* name);
    int windowIndex(const char* name) const;  // count when there is none
    int zPosition(const char* name) const;    // count when there is none
    // The window at that zOrder position goes on top; the ones above move
    // down a place. Positions outside 0..count-1 are ignored.
    void raise(int position);
    // The window on top, or null with no windows.
    GuiWindow* topWindow();

    // One SDL_MOUSEBUTTONDOWN or SDL_MOUSEBUTTONUP; other events are ignored.
    void mouseEvent(const SDL_Event& event);
    // No held button, and no window keeps a focus, a pressed widget or a drag.
    void resetInput();
    // Every window, bottom first: the drags follow the pointer on a view of
    // viewW x viewH.
    void followPointer(GuiPoint pointer, float viewW, float viewH);
    // Follows the pointer on the GL viewport, then draws every window,
    // bottom first; pointer decides hover.
    void drawAll(GuiPoint pointer);

    GuiWindow windows[kMaxWindows];
    int zOrder[kMaxWindows] = {};  // entry count-1 is the top window
    int count = 0;
    Font font;
    bool mouseHeld = false;  // from a left press to the next left release
};
