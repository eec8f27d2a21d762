// The list box's scroll bars: set-up, arrow buttons, thumb dragging and movement.
#include "gui/GuiScrollBar.h"

void GuiScrollBar::init(int x, int y, int len, const GuiColour& track, const GuiColour& thumbCol,
                        const GuiColour& border, Font* font)
{
    WidgetBlock block;
    block.record.x = x;
    block.record.y = y;
    block.record.width = vertical ? kThickness : len;
    block.record.height = vertical ? len : kThickness;
    GuiWidget::load(block, font);

    const float fx = float(x), fy = float(y), fl = float(len), t = float(kThickness);
    dragging = false;
    if (vertical) {
        thumb = {fx, fy + t, fx + t, fy + 2 * t};
        startButton = {fx, fy, fx + t, fy + t};
        endButton = {fx, fy + fl - t, fx + t, fy + fl};
    } else {
        thumb = {fx + t, fy, fx + 2 * t, fy + t};
        startButton = {fx, fy, fx + t, fy + t};
        endButton = {fx + fl - t, fy, fx + fl, fy + t};
    }
    page = total = position = 0;
    trackColour = track;
    thumbColour = thumbCol;
    borderColour = border;
}

void GuiScrollBar::placeThumb()
{
    const int r = range();
    if (r == 0)
        return;
    if (position > r)
        position = r;
    if (position < 0)
        position = 0;
    // The thumb runs along the track between the two end buttons.
    const float t = float(kThickness);
    const float top = start() + t + float(position) / float(r) * (float(length()) - 3 * t);
    if (vertical)
        thumb = {origin.x, top, origin.x + t, top + t};
    else
        thumb = {top, origin.y, top + t, origin.y + t};
}

void GuiScrollBar::dragTo(GuiPoint point)
{
    const int r = range();
    const float track = float(length()) - 3 * float(kThickness);
    if (r <= 0 || track <= 0) {
        position = 0;
    } else {
        float f = (along(point) - start() - float(kThickness)) / track * float(r);
        // Held inside the range before it becomes an int.
        if (!(f > 0))
            f = 0;
        if (f > float(r))
            f = float(r);
        position = int(f);
    }
    placeThumb();
}

void GuiScrollBar::stepBy(int delta)
{
    long long p = (long long)position + delta;
    if (p > range())
        p = range();
    if (p < 0)
        p = 0;
    position = int(p);
    placeThumb();
}

void GuiScrollBar::leftPressed(GuiPoint point)
{
    if (thumb.contains(point)) {
        dragging = true;
        placeThumb();
    } else if (startButton.contains(point)) {
        stepBy(-1);
    } else if (endButton.contains(point)) {
        stepBy(1);
    } else {
        // The track pages toward the click; at least one step, so a bar
        // without a page (the horizontal one) still moves that way.
        const int step = page - 1 > 1 ? page - 1 : 1;
        const float thumbStart = vertical ? thumb.y0 : thumb.x0;
        stepBy(thumbStart < along(point) ? step : -step);
    }
}

void GuiScrollBar::leftReleased(GuiPoint point)
{
    dragging = false;
}

void GuiScrollBar::wheel(int step, GuiPoint point)
{
    if (vertical)
        stepBy(step);
}

void GuiScrollBar::followPointer(bool focused, GuiPoint point)
{
    if (dragging)
        dragTo(point);
}

void GuiScrollBar::moveBy(float dx, float dy)
{
    GuiWidget::moveBy(dx, dy);
    thumb.moveBy(dx, dy);
    startButton.moveBy(dx, dy);
    endButton.moveBy(dx, dy);
}
