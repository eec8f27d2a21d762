#pragma once
// The list box widget and its rows.
#include "gui/GuiScrollBar.h"

#include <sigc++/sigc++.h>
#include <vector>

// One row: callers fill text; shown is the part of it drawn.
struct ListItem {
    static constexpr int kTextSize = 64;
    char text[kTextSize] = {};
    char shown[kTextSize] = {};
};

// A column of rows (font size + 5 pixels each) with a selection, a vertical
// bar that scrolls by rows and a horizontal one that scrolls by characters.
class GuiListBox : public GuiWidget {
public:
    void load(const WidgetBlock& block, Font* font) override;
    void leftPressed(GuiPoint point) override;
    void leftReleased(GuiPoint point) override;
    void wheel(int step, GuiPoint point) override;
    void moveBy(float dx, float dy) override;
    void followPointer(bool focused, GuiPoint point) override;
    void draw(bool focused, bool hovered, GuiPoint point) override;

    // Appends a row; its text is cut to 63 characters.
    void addItem(ListItem item);
    int rowHeight() const;
    // The row under a point inside area, counted from the first item (it
    // may lie past the last one).
    int rowAt(GuiPoint point) const;

    sigc::signal<void, int, GuiListBox*> selected;  // index, the list box
    std::vector<ListItem> items;
    bool hasHBar = true;
    bool hasVBar = true;
    GuiHScrollBar hBar;  // total: longest text in characters; position: characters hidden at the left
    GuiVScrollBar vBar;  // total: items; page: rows; position: first row shown
    int selectedIndex = -1;
    int longestIndex = -1;
    int rows = 0;        // whole rows that fit in area
    GuiRect area;        // rect less the scroll bars
    GuiColour backgroundColour, borderColour, trackColour, thumbColour, highlightColour, textColour;

private:
    void makeShown(ListItem& item, int hiddenLeft) const;
    void updateShown();

    int shownFor = 0;  // hBar position the shown texts were made for
};
