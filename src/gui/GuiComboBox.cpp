// The combo box: its box, its arrow and the list box it drops down.
#include "gui/GuiComboBox.h"

#include "gui/GuiRecords.h"
#include "gui/GuiText.h"
#include "platform/Saturate.h"

void GuiComboBox::load(const WidgetBlock& block, Font* font)
{
    GuiWidget::load(block, font);
    box = rect;
    GuiColour unused1, unused2;
    GuiColour* colours[] = {&boxColour, &unused1, &arrowColour, &borderColour, &unused2,
                            &textColour};
    readColours(colourSpec.c_str(), gui::kListBoxColourPattern, colours, 6);
    arrow = {origin.x + float(record.width) - float(kArrowWidth), origin.y, rect.x1, rect.y1};

    // The list sits directly below the box, as wide, 100 high.
    WidgetBlock below = block;
    below.record.y = clampedSum(block.record.y, block.record.height);
    below.record.height = kListHeight;
    list.load(below, font);
    list.selected.clear();  // one connection, even when loaded again
    list.selected.connect(sigc::mem_fun(*this, &GuiComboBox::onListSelected));

    open = false;
    shownText = text;
    fitShownText();
}

void GuiComboBox::fitShownText()
{
    textPos = {rect.x0 + 3.0f, rect.y0};
    fitText(record.height, clampedSum(record.width, -(kArrowWidth + 3)), font, textPos, shownText,
            false);
}

void GuiComboBox::release()
{
    shownText.clear();
    shownText.shrink_to_fit();
}

void GuiComboBox::setText(const std::string& newText)
{
    shownText = newText;
}

void GuiComboBox::setOpen(bool value)
{
    if (open == value)
        return;
    open = value;
    // While open, rect covers the list, so the window sends presses on it here.
    rect.y1 += value ? float(kListHeight) : -float(kListHeight);
}

void GuiComboBox::collapse()
{
    setOpen(false);
}

void GuiComboBox::onListSelected(int index, GuiListBox* from)
{
    setOpen(false);
    if (index >= 0 && index < int(list.items.size()))
        shownText = list.items[size_t(index)].text;
    fitShownText();
    selected.emit(index, this);
}

void GuiComboBox::leftPressed(GuiPoint point)
{
    if (arrow.contains(point))
        setOpen(!open);
    else if (open && list.rect.contains(point))
        list.leftPressed(point);
}

void GuiComboBox::leftReleased(GuiPoint point)
{
    // Ends a thumb drag of the list, open or not.
    list.leftReleased(point);
}

void GuiComboBox::wheel(int step, GuiPoint point)
{
    // The wheel scrolls only an open list.
    if (open)
        list.wheel(step, point);
}

void GuiComboBox::followPointer(bool focused, GuiPoint point)
{
    // The list is only drawn, and only dragged, while it is dropped down.
    if (focused && open)
        list.followPointer(focused, point);
}

void GuiComboBox::moveBy(float dx, float dy)
{
    GuiWidget::moveBy(dx, dy);
    arrow.moveBy(dx, dy);
    box.moveBy(dx, dy);
    list.moveBy(dx, dy);
    textPos.x += dx;
    textPos.y += dy;
}
