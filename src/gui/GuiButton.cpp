// The push button: loading, its click and its movement.
#include "gui/GuiButton.h"

#include "gui/GuiRecords.h"
#include "gui/GuiText.h"

void GuiButton::load(const WidgetBlock& block, Font* font)
{
    GuiWidget::load(block, font);
    textPos = {rect.x0, rect.y0};
    fitText(record.height, record.width, font, textPos, text, true);
    GuiColour* colours[] = {&fillColour, &hoverColour, &borderColour, &textColour};
    readColours(colourSpec.c_str(), gui::kButtonColourPattern, colours, 4);
}

void GuiButton::click()
{
    clicked.emit(this);
}

void GuiButton::moveBy(float dx, float dy)
{
    GuiWidget::moveBy(dx, dy);
    textPos.x += dx;
    textPos.y += dy;
}
