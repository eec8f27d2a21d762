// The frame widget: an outline with an optional caption.
#include "gui/GuiFrame.h"

#include "gui/GuiRecords.h"
#include "gui/GuiText.h"

void GuiFrame::load(const WidgetBlock& block, Font* font)
{
    GuiWidget::load(block, font);
    GuiColour* colours[] = {&outlineColour, &textColour};
    readColours(colourSpec.c_str(), gui::kFrameColourPattern, colours, 2);
    caption = text;
    if (!caption.empty()) {
        // The caption sits on the top edge, 5 pixels in.
        const int size = fontSizeOf(font);
        captionPos = {rect.x0 + 5.0f, rect.y0 - float(size) * 0.5f};
        fitText(size, record.width, font, captionPos, caption, false);
    }
}

void GuiFrame::release()
{
    caption.clear();
    caption.shrink_to_fit();
}

void GuiFrame::moveBy(float dx, float dy)
{
    GuiWidget::moveBy(dx, dy);
    captionPos.x += dx;
    captionPos.y += dy;
}
