#pragma once
// One screen of the GUI: a body with a 20-pixel title-bar strip above it and
// the widgets on it, laid out from its WindowRecord.
#include "gui/GuiFile.h"
#include "gui/GuiGeometry.h"
#include "gui/GuiWidget.h"

#include <SDL.h>
#include <memory>
#include <string>
#include <vector>

class Font;

class GuiWindow {
public:
    GuiWindow() = default;
    ~GuiWindow();
    GuiWindow(const GuiWindow&) = delete;
    GuiWindow& operator=(const GuiWindow&) = delete;

    // Lays the window out from its block and makes its widgets (unknown
    // type codes are dropped), sorted lowest on screen first, then moves it
    // to the record's position. Visible afterwards.
    void build(const WindowBlock& block, Font* font);
    void moveBy(float dx, float dy);
    // A press starts a drag on a movable window's title bar or moves the
    // focus to the widget under the point. A left release goes only to the
    // widget that took the left press, wherever the pointer is then, and
    // ends a drag; a wheel release goes to the focused widget.
    void mouseButton(const SDL_MouseButtonEvent& event, GuiPoint point);
    // No focus, no pressed widget, no drag: a window just shown owes no
    // release to a press it never saw.
    void resetInput();
    // Before drawing: a dragged window and its widgets' drags follow the
    // pointer; part of the title bar stays on a view of viewW x viewH.
    void followPointer(GuiPoint pointer, float viewW, float viewH);
    // Draws the frame, title and widgets.
    void draw(GuiPoint pointer, bool isTop);
    // The first widget in list order with that name, or null.
    GuiWidget* findWidget(const char* name) const;
    // The widget holding the focus, or null.
    GuiWidget* focusedWidget() const
    {
        return focus >= 0 && focus < int(widgets.size()) ? widgets[size_t(focus)].get() : nullptr;
    }
    // Index in widgets of the topmost widget taking input that contains
    // point, or -1.
    int widgetAt(GuiPoint point) const;
    const char* name() const { return record.name; }

    int focus = -1;    // index in widgets, -1 for none
    int pressed = -1;  // the widget that took the left press not yet released, -1 for none
    GuiRect frame;     // title bar and body
    GuiRect titleBar;  // the 20 pixels above the body
    GuiPoint position; // top-left of the body
    GuiPoint titlePos;
    GuiColour backgroundColour, titleColour, borderColour, titleTextColour;
    std::string title;  // empty: none
    bool visible = false;
    bool movable = true;
    WindowRecord record;
    Font* font = nullptr;
    bool dragging = false;
    GuiPoint dragPoint;
    std::vector<std::unique_ptr<GuiWidget>> widgets;

private:
    void release();
};

// How far a drag may move a window so that part of its title bar stays on
// a screen of viewW x viewH: at least `keep` pixels of it across, and all
// of its height, stay inside. Returns the allowed move.
GuiPoint clampDrag(const GuiRect& titleBar, GuiPoint move, float viewW, float viewH, float keep);
