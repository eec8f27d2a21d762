#pragma once
// The check box widget.
#include "gui/GuiWidget.h"

// A square box and its caption; each left release over it flips checked. Its size
// comes from the font and the caption, not from the record.
class GuiCheckBox : public GuiWidget {
public:
    void load(const WidgetBlock& block, Font* font) override;
    void click() override;
    void moveBy(float dx, float dy) override;
    void draw(bool focused, bool hovered, GuiPoint point) override;

    GuiRect box;
    GuiColour borderColour, hoverColour, textColour;
    GuiPoint textPos;
    bool checked = false;
};
