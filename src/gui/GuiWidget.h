#pragma once
// The base of every widget: its rectangle, its record and texts, the click
// behaviour they share and the virtual operations the window calls.
#include "gui/GuiFile.h"
#include "gui/GuiGeometry.h"

#include <SDL.h>
#include <string>

class Font;

class GuiWidget {
public:
    GuiWidget() = default;
    virtual ~GuiWidget();
    GuiWidget(const GuiWidget&) = delete;
    GuiWidget& operator=(const GuiWidget&) = delete;

    // Sets the widget up from its block; the base is the common load every
    // class runs first: rect and origin from the record, relative to the
    // window body (the window's moveBy places them on screen).
    virtual void load(const WidgetBlock& block, Font* font);
    // Frees buffers the class owns; called just before the widget is deleted.
    virtual void release() {}
    // The widget lost the focus to another click.
    virtual void collapse() {}
    virtual void keyPressed(const SDL_keysym& key) {}
    // One mouse button event at a point, the click behaviour every widget
    // shares: a left press, a left release and a wheel step (released) each
    // reach their own operation below; a left release inside rect is also a
    // click. Other buttons and wheel presses do nothing.
    void mouseButton(const SDL_MouseButtonEvent& event, GuiPoint point);
    virtual void leftPressed(GuiPoint point) {}
    virtual void leftReleased(GuiPoint point) {}
    virtual void click() {}
    // step: -1 for the wheel turned up, 1 for down.
    virtual void wheel(int step, GuiPoint point) {}
    virtual void moveBy(float dx, float dy);
    // Before drawing, the pointer's place this frame: drags follow it.
    // focused as for draw.
    virtual void followPointer(bool focused, GuiPoint point) {}
    // focused: the window's focused widget; hovered: its window is on top
    // and the pointer is inside rect.
    virtual void draw(bool focused, bool hovered, GuiPoint point) {}
    // False for widgets only drawn (frames, labels): hit tests pass over
    // them to the widgets they surround.
    virtual bool takesInput() const { return true; }

    const char* name() const { return record.name; }

    GuiRect rect;
    GuiPoint origin;
    WidgetRecord record;
    std::string text;        // the text block; empty when none
    std::string colourSpec;  // the colour block; empty when none
    Font* font = nullptr;    // the GUI's font, not owned
};

// A widget of the class the type code names, or null for codes with no class.
GuiWidget* makeWidget(int type);
