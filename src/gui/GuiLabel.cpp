// The label widget: a line of text, shortened to its width.
#include "gui/GuiLabel.h"

#include "gui/GuiRecords.h"
#include "gui/GuiText.h"

void GuiLabel::load(const WidgetBlock& block, Font* font)
{
    GuiWidget::load(block, font);
    GuiColour* colours[] = {&textColour};
    readColours(colourSpec.c_str(), gui::kLabelColourPattern, colours, 1);
    // A label with a width keeps its text inside it; the box height equals
    // the font size, so the text does not move down.
    if (record.width > 0) {
        GuiPoint unused = origin;
        fitText(fontSizeOf(font), record.width, font, unused, text, false);
    }
}
