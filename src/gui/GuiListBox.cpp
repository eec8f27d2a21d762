// The list box: rows, selection and its two scroll bars.
#include "gui/GuiListBox.h"

#include "gui/GuiRecords.h"
#include "gui/GuiText.h"
#include "platform/Saturate.h"

#include <cstring>

int GuiListBox::rowHeight() const
{
    return fontSizeOf(font) + 5;
}

int GuiListBox::rowAt(GuiPoint point) const
{
    return toPixel((point.y - area.y0) / float(rowHeight())) + vBar.position;
}

void GuiListBox::load(const WidgetBlock& block, Font* font)
{
    GuiWidget::load(block, font);
    GuiColour* colours[] = {&backgroundColour, &trackColour, &thumbColour, &borderColour,
                            &highlightColour, &textColour};
    readColours(colourSpec.c_str(), gui::kListBoxColourPattern, colours, 6);
    area = rect;
    hasHBar = hasVBar = true;
    rows = 0;
    longestIndex = -1;
    selectedIndex = -1;
    items.clear();
    shownFor = 0;

    // The vertical bar runs down the right side, the horizontal one along
    // the bottom; neither covers the corner square between them.
    const int t = GuiScrollBar::kThickness;
    int barWidth = record.width;
    int barHeight = record.height;
    if (hasVBar)
        area.x1 -= float(t);
    if (hasVBar && hasHBar) {
        barWidth = clampedSum(barWidth, -t);
        barHeight = clampedSum(barHeight, -t);
    }
    if (hasHBar)
        area.y1 -= float(t);
    if (font && area.height() > 0)
        rows = toPixel(area.height() / float(rowHeight()));
    hBar.init(toPixel(area.x0), toPixel(area.y1), barWidth, trackColour, thumbColour,
               borderColour, font);
    vBar.init(toPixel(area.x1), toPixel(area.y0), barHeight, trackColour, thumbColour,
               borderColour, font);
    vBar.page = rows;
}

void GuiListBox::makeShown(ListItem& item, int hiddenLeft) const
{
    const int length = int(std::strlen(item.text));
    item.shown[0] = 0;
    if (hiddenLeft > length)
        return;
    // Cut at the right until the rest fits the area.
    const std::string text(item.text);
    const int room = toPixel(area.width());
    int end = length;
    int width = textWidth(font, text, hiddenLeft, end);
    while (end > hiddenLeft && width > room) {
        end -= 1;
        width -= textWidth(font, text, end, end + 1);
    }
    std::memcpy(item.shown, item.text + hiddenLeft, size_t(end - hiddenLeft));
    item.shown[end - hiddenLeft] = 0;
}

void GuiListBox::updateShown()
{
    if (shownFor == hBar.position)
        return;
    shownFor = hBar.position;
    for (ListItem& item : items)
        makeShown(item, shownFor);
}

void GuiListBox::addItem(ListItem item)
{
    item.text[ListItem::kTextSize - 1] = 0;
    items.push_back(item);
    const int index = int(items.size()) - 1;
    const int length = int(std::strlen(item.text));
    vBar.total += 1;
    if (longestIndex == -1 || length > int(std::strlen(items[size_t(longestIndex)].text))) {
        longestIndex = index;
        hBar.total = length;
    }
    makeShown(items.back(), shownFor);
}

void GuiListBox::leftPressed(GuiPoint point)
{
    if (area.contains(point)) {
        if (!font)
            return;
        selectedIndex = rowAt(point);
        if (selectedIndex >= 0 && selectedIndex < int(items.size()))
            selected.emit(selectedIndex, this);
        else
            selectedIndex = -1;
    } else if (hBar.rect.contains(point)) {
        hBar.leftPressed(point);
    } else if (vBar.rect.contains(point)) {
        vBar.leftPressed(point);
    }
}

void GuiListBox::leftReleased(GuiPoint point)
{
    hBar.leftReleased(point);
    vBar.leftReleased(point);
}

void GuiListBox::wheel(int step, GuiPoint point)
{
    vBar.wheel(step, point);
}

void GuiListBox::followPointer(bool focused, GuiPoint point)
{
    hBar.followPointer(focused, point);
    vBar.followPointer(focused, point);
}

void GuiListBox::moveBy(float dx, float dy)
{
    GuiWidget::moveBy(dx, dy);
    area.moveBy(dx, dy);
    hBar.moveBy(dx, dy);
    vBar.moveBy(dx, dy);
}
