// The check box: sizing from the font, flipping on a click, movement.
#include "gui/GuiCheckBox.h"

#include "gui/GuiRecords.h"
#include "gui/GuiText.h"

void GuiCheckBox::load(const WidgetBlock& block, Font* font)
{
    // One text line high, as wide as the box, a box-wide gap and the caption.
    WidgetBlock sized = block;
    const int size = fontSizeOf(font);
    const char* caption = block.record.hasText ? block.text.c_str() : "";
    sized.record.height = size;
    sized.record.width = textWidth(font, caption) + 2 * size;
    GuiWidget::load(sized, font);

    box = {rect.x0, rect.y0, rect.x0 + float(size), rect.y0 + float(size)};
    textPos = {rect.x0 + 2.0f * float(size), rect.y0};
    GuiColour* colours[] = {&borderColour, &hoverColour, &textColour};
    readColours(colourSpec.c_str(), gui::kCheckBoxColourPattern, colours, 3);
    checked = false;
}

void GuiCheckBox::click()
{
    checked = !checked;
}

void GuiCheckBox::moveBy(float dx, float dy)
{
    GuiWidget::moveBy(dx, dy);
    box.moveBy(dx, dy);
    textPos.x += dx;
    textPos.y += dy;
}
