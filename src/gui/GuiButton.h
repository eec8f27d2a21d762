#pragma once
// The push button widget.
#include "gui/GuiWidget.h"

#include <sigc++/sigc++.h>

// A push button: a left release over it, after a press on it, emits
// clicked; moving off before letting go cancels the click.
class GuiButton : public GuiWidget {
public:
    void load(const WidgetBlock& block, Font* font) override;
    void click() override;
    void moveBy(float dx, float dy) override;
    void draw(bool focused, bool hovered, GuiPoint point) override;

    GuiPoint textPos;                      // caption, centred and shortened
    sigc::signal<void, GuiWidget*> clicked;  // the button
    GuiColour fillColour, hoverColour, borderColour, textColour;
};
