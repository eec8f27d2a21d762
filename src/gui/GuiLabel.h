#pragma once
// The label widget: a line of text.
#include "gui/GuiWidget.h"

// A line of text at the widget's corner, shortened to the record's width
// when it has one.
class GuiLabel : public GuiWidget {
public:
    void load(const WidgetBlock& block, Font* font) override;
    void draw(bool focused, bool hovered, GuiPoint point) override;
    bool takesInput() const override { return false; }

    GuiColour textColour;
};
