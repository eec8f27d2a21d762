#pragma once
// The combo box widget: a one-line box with a drop-down list.
#include "gui/GuiListBox.h"

#include <sigc++/sigc++.h>
#include <string>

// A one-line box with an arrow button that drops a list box down 100
// pixels below it; choosing a row closes the list and shows its text.
class GuiComboBox : public GuiWidget, public sigc::trackable {
public:
    static constexpr int kListHeight = gui::kComboListHeight;
    static constexpr int kArrowWidth = 20;

    void load(const WidgetBlock& block, Font* font) override;
    void release() override;
    void collapse() override;
    void leftPressed(GuiPoint point) override;
    void leftReleased(GuiPoint point) override;
    void wheel(int step, GuiPoint point) override;
    void moveBy(float dx, float dy) override;
    void followPointer(bool focused, GuiPoint point) override;
    void draw(bool focused, bool hovered, GuiPoint point) override;

    // Shows a copy of text in the box; not re-fitted.
    void setText(const std::string& text);

    sigc::signal<void, int, GuiComboBox*> selected;  // index, the combo box
    GuiListBox list;   // the drop-down list
    GuiRect arrow;
    GuiRect box;       // the closed box; rect is 100 taller while open
    bool open = false;
    std::string shownText;
    GuiPoint textPos;
    GuiColour boxColour, borderColour, arrowColour, textColour;

private:
    void onListSelected(int index, GuiListBox* from);
    void setOpen(bool value);
    void fitShownText();
};
