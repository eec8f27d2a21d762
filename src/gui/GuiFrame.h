#pragma once
// The frame widget: an outline with a caption on its top edge.
#include "gui/GuiWidget.h"

// An outline with an optional caption sitting on its top edge.
class GuiFrame : public GuiWidget {
public:
    void load(const WidgetBlock& block, Font* font) override;
    void release() override;
    void moveBy(float dx, float dy) override;
    void draw(bool focused, bool hovered, GuiPoint point) override;
    bool takesInput() const override { return false; }

    GuiColour outlineColour, textColour;
    GuiPoint captionPos;
    std::string caption;  // empty: none
};
