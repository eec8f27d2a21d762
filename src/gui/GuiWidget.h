#pragma once
// The base of every widget: its rectangle, its record and texts, and the
// eight virtual operations the window calls.
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
    // One mouse button event (type and button) at a point.
    virtual void mouseButton(const SDL_MouseButtonEvent& event, GuiPoint point) {}
    virtual void moveBy(float dx, float dy);
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
