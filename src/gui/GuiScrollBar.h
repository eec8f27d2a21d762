#pragma once
// The scroll bars a list box owns, vertical or horizontal.
#include "gui/GuiWidget.h"

// A scroll bar of a list box, never in the file: a track with a button at
// each end and a 10 x 10 thumb. position runs over 0..total - page.
// The two classes differ only in their axis.
class GuiScrollBar : public GuiWidget {
public:
    static constexpr int kThickness = 10;

    // Set-up by the list box: the bar at (x, y) with its length along the
    // axis, thickness 10, position 0.
    void init(int x, int y, int length, const GuiColour& track, const GuiColour& thumb,
              const GuiColour& border, Font* font);
    void leftPressed(GuiPoint point) override;
    void leftReleased(GuiPoint point) override;
    void wheel(int step, GuiPoint point) override;
    void moveBy(float dx, float dy) override;
    void followPointer(bool focused, GuiPoint point) override;
    void draw(bool focused, bool hovered, GuiPoint point) override;

    // total - page; the bar scrolls only when this is above 0.
    int range() const { return total - page; }
    // Clamps position to 0..range and moves the thumb to it.
    void placeThumb();
    // The thumb follows the pointer along the axis (while dragging).
    void dragTo(GuiPoint point);
    // Moves position by delta, held inside 0..range, and places the thumb.
    void stepBy(int delta);

    bool dragging = false;
    GuiRect thumb;
    GuiRect startButton;  // up (vertical) or left (horizontal): position - 1
    GuiRect endButton;    // down or right: position + 1
    int page = 0;
    int total = 0;
    int position = 0;
    GuiColour trackColour, thumbColour, borderColour;

protected:
    explicit GuiScrollBar(bool vertical) : vertical(vertical) {}

private:
    float along(GuiPoint p) const { return vertical ? p.y : p.x; }
    float start() const { return vertical ? origin.y : origin.x; }
    int length() const { return vertical ? record.height : record.width; }

    bool vertical;
};

class GuiVScrollBar : public GuiScrollBar {
public:
    GuiVScrollBar() : GuiScrollBar(true) {}
    GuiRect& upButton() { return startButton; }
    GuiRect& downButton() { return endButton; }
};

class GuiHScrollBar : public GuiScrollBar {
public:
    GuiHScrollBar() : GuiScrollBar(false) {}
    GuiRect& leftButton() { return startButton; }
    GuiRect& rightButton() { return endButton; }
};
