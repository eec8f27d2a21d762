// The GUI's logic without a window: mouse button dispatch through the real
// GUI (focus, press and release, frames and labels passed over, z-order,
// hidden windows, held button), the combo box, the
// list box's scrolling and the edit box's editing. The font is not loaded,
// so texts measure 0 and rows are 5 pixels high.
#include "GuiFileWriter.h"
#include "gui/Gui.h"
#include "gui/GuiButton.h"
#include "gui/GuiComboBox.h"
#include "gui/GuiEditBox.h"
#include "gui/GuiListBox.h"

#include <gtest/gtest.h>

namespace {

const char* const kSix = "0 0 0.3 1, 0.3 0.3 0.3 1, 0.6 0.6 0.6 1, 1 1 1 1, 0 0.5 0 1, 1 1 1";

struct Counter {
    int calls = 0;
    int lastIndex = -2;
    std::string lastText;
    void onWidget(GuiWidget*) { ++calls; }
    void onIndex(int index, GuiWidget*) { ++calls, lastIndex = index; }
    void onText(const std::string& text, GuiEditBox*) { ++calls, lastText = text; }
};

class GuiLogic : public ::testing::Test {
protected:
    void SetUp() override
    {
        WindowSpec low;
        low.name = "low";
        low.x = 100, low.y = 100, low.width = 300, low.height = 200;
        low.widgets = {{gui::kTypeButton, 10, 10, 100, 30, "btn_low", "Low", nullptr}};
        WindowSpec high;
        high.name = "high";
        high.title = "High";
        high.x = 200, high.y = 150, high.width = 300, high.height = 250;
        // A frame around the button and a label on it, as a hand-written
        // file may have them: both lie above it in the hit order.
        high.widgets = {
            {gui::kTypeFrame, 5, 5, 200, 50, "frame_group", "Group", nullptr},
            {gui::kTypeLabel, 12, 8, 60, 30, "label_ok", "a label", nullptr},
            {gui::kTypeButton, 10, 10, 100, 30, "btn_ok", "OK", nullptr},
            {gui::kTypeComboBox, 10, 60, 150, 20, "combo_res", "800x600", kSix},
            {gui::kTypeListBox, 170, 60, 120, 100, "list_rows", nullptr, kSix},
            {gui::kTypeEditBox, 10, 200, 120, 24, "edit_key", nullptr, nullptr},
        };
        std::vector<WindowBlock> blocks;
        std::vector<unsigned char> bytes = GuiFileWriter::file({low, high});
        ASSERT_TRUE(parseGuiFile(bytes.data(), bytes.size(), blocks));
        ASSERT_TRUE(gui.addWindows(blocks));
        high_ = gui.findWindow("high");
        low_ = gui.findWindow("low");
    }

    void mouse(Uint8 type, Uint8 button, int x, int y)
    {
        SDL_Event event = {};
        event.button = {type, 0, button, type == SDL_MOUSEBUTTONDOWN ? Uint8(SDL_PRESSED) : Uint8(SDL_RELEASED),
                        Uint16(x), Uint16(y)};
        gui.mouseEvent(event);
    }
    void click(int x, int y)
    {
        mouse(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, x, y);
        mouse(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, x, y);
    }
    // Keys go to the focused widget of the top window, as the menu sends them.
    void key(SDLKey sym, Uint16 unicode = 0)
    {
        GuiWidget* focused = gui.topWindow()->focusedWidget();
        ASSERT_NE(focused, nullptr);
        SDL_keysym keysym = {};
        keysym.sym = sym;
        keysym.unicode = unicode;
        focused->keyPressed(keysym);
    }
    void type(const char* text)
    {
        for (const char* p = text; *p; ++p)
            key(SDLKey(*p), Uint16(*p));
    }

    GUI gui;
    GuiWindow* high_ = nullptr;
    GuiWindow* low_ = nullptr;
};

TEST_F(GuiLogic, ButtonsClickOnlyWhenPressedAndReleasedOverThem)
{
    Counter counter;
    GuiButton* ok = dynamic_cast<GuiButton*>(high_->findWidget("btn_ok"));
    ok->clicked.connect(sigc::mem_fun(counter, &Counter::onWidget));

    // Through the frame and the label: a click.
    click(260, 175);
    EXPECT_EQ(high_->focusedWidget(), ok);
    EXPECT_EQ(counter.calls, 1);
    // A release nobody saw pressed, over the focused button: nothing.
    mouse(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 260, 175);
    EXPECT_EQ(counter.calls, 1);
    // Pressed on it, moved off, let go elsewhere in the window: cancelled.
    mouse(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 260, 175);
    mouse(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 450, 380);
    EXPECT_EQ(counter.calls, 1);
    // Released outside the window: no click, and the focus is gone.
    mouse(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 260, 175);
    mouse(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 50, 50);
    EXPECT_EQ(counter.calls, 1);
    EXPECT_EQ(high_->focus, -1);
    // The button's left edge is outside it; the frame there takes nothing.
    click(210, 175);
    EXPECT_EQ(high_->focus, -1);
    EXPECT_EQ(counter.calls, 1);
    // A title-bar press drags and keeps the focus; the release ends it
    // without reaching the widget.
    mouse(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 260, 175);
    mouse(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 260, 175);
    mouse(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 300, 140);
    EXPECT_TRUE(high_->dragging);
    mouse(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 300, 140);
    EXPECT_FALSE(high_->dragging);
    EXPECT_EQ(counter.calls, 2);
    EXPECT_EQ(high_->focusedWidget(), ok);
    // A fixed window's title strip does not drag, and a press there let go
    // outside the window leaves the next click whole.
    high_->movable = false;
    mouse(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 300, 140);
    mouse(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 50, 50);
    EXPECT_FALSE(high_->dragging);
    click(260, 175);
    EXPECT_EQ(counter.calls, 3);
    // Showing a screen anew: no focus, and a stray release clicks nothing.
    mouse(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 260, 175);
    gui.resetInput();
    EXPECT_EQ(high_->focus, -1);
    EXPECT_FALSE(gui.mouseHeld);
    mouse(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 260, 175);
    EXPECT_EQ(counter.calls, 3);
}

TEST_F(GuiLogic, OtherWindowsRiseOnlyWhenShownAndNoButtonIsHeld)
{
    EXPECT_EQ(gui.zPosition("high"), 1);
    // Button 3 over the lower window raises it; the window ignores the press.
    mouse(SDL_MOUSEBUTTONDOWN, 3, 120, 120);
    EXPECT_EQ(gui.zPosition("low"), 1);
    EXPECT_EQ(low_->focus, -1);
    // While the left button is held, nothing rises.
    mouse(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 150, 200);
    mouse(SDL_MOUSEBUTTONDOWN, 3, 450, 350);
    EXPECT_EQ(gui.zPosition("low"), 1);
    mouse(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 150, 200);
    // A hidden window is never raised.
    high_->visible = false;
    mouse(SDL_MOUSEBUTTONDOWN, 3, 450, 350);
    EXPECT_EQ(gui.zPosition("low"), 1);
    high_->visible = true;
    mouse(SDL_MOUSEBUTTONDOWN, 3, 450, 350);
    EXPECT_EQ(gui.zPosition("high"), 1);
    // raise: the chosen one to the top, the rest keep their order.
    gui.raise(0);
    EXPECT_EQ(gui.zOrder[0], 1);
    EXPECT_EQ(gui.zOrder[1], 0);
    gui.raise(2);
    gui.raise(-1);
    EXPECT_EQ(gui.zOrder[1], 0);
}

TEST_F(GuiLogic, ComboBoxOpensChoosesAndCollapses)
{
    GuiComboBox* combo = dynamic_cast<GuiComboBox*>(high_->findWidget("combo_res"));
    Counter counter;
    combo->selected.connect(sigc::mem_fun(counter, &Counter::onIndex));
    for (const char* row : {"640x400", "800x600", "1024x768", "1280x1024"}) {
        ListItem item;
        std::snprintf(item.text, sizeof item.text, "%s", row);
        combo->list.addItem(item);
    }
    EXPECT_EQ(combo->shownText, "800x600");
    const float closedBottom = combo->rect.y1;

    click(350, 220);  // the arrow
    EXPECT_TRUE(combo->open);
    EXPECT_FLOAT_EQ(combo->rect.y1, closedBottom + 100);
    const int row = combo->list.rowHeight();
    click(220, int(combo->list.area.y0) + 3 * row + 1);
    EXPECT_FALSE(combo->open);
    EXPECT_EQ(counter.lastIndex, 3);
    EXPECT_EQ(combo->shownText, "1280x1024");
    EXPECT_FLOAT_EQ(combo->rect.y1, closedBottom);

    // A press on the box itself keeps it open; one in the empty body closes it.
    click(350, 220);
    click(250, 220);
    EXPECT_TRUE(combo->open);
    click(480, 380);
    EXPECT_FALSE(combo->open);
    EXPECT_EQ(high_->focus, -1);
    EXPECT_FLOAT_EQ(combo->rect.y1, closedBottom);
    EXPECT_EQ(counter.calls, 1);
}

TEST_F(GuiLogic, ListBoxSelectsAndScrollsInsideItsRange)
{
    GuiListBox* list = dynamic_cast<GuiListBox*>(high_->findWidget("list_rows"));
    Counter counter;
    list->selected.connect(sigc::mem_fun(counter, &Counter::onIndex));
    ListItem item;
    for (int i = 0; i < 3; ++i) {
        std::snprintf(item.text, sizeof item.text, "row %d", i);
        list->addItem(item);
    }
    const int x = int(list->area.x0) + 5, top = int(list->area.y0);
    const int rowH = list->rowHeight();
    ASSERT_GT(list->rows, 3);
    EXPECT_EQ(list->vBar.page, list->rows);

    click(x, top + rowH + 1);
    EXPECT_EQ(list->selectedIndex, 1);
    EXPECT_EQ(counter.lastIndex, 1);
    click(x, top + 3 * rowH + 1);  // below the last item
    EXPECT_EQ(list->selectedIndex, -1);
    EXPECT_EQ(counter.calls, 1);
    // Fewer items than rows: nothing scrolls.
    mouse(SDL_MOUSEBUTTONUP, SDL_BUTTON_WHEELDOWN, 250, 390);
    click(int(list->vBar.rect.x0) + 5, int(list->vBar.rect.y1) - 5);
    EXPECT_EQ(list->vBar.position, 0);

    std::snprintf(item.text, sizeof item.text, "%s", std::string(80, 'w').c_str());
    for (int i = 0; i < 997; ++i)
        list->addItem(item);
    EXPECT_EQ(list->vBar.total, 1000);
    EXPECT_EQ(list->hBar.total, 63);  // texts are cut to 63 characters
    EXPECT_EQ(list->longestIndex, 3);
    const int range = 1000 - list->rows;

    // The wheel reaches the focused list wherever the pointer is in the window.
    mouse(SDL_MOUSEBUTTONUP, SDL_BUTTON_WHEELDOWN, 250, 390);
    EXPECT_EQ(list->vBar.position, 1);
    mouse(SDL_MOUSEBUTTONUP, SDL_BUTTON_WHEELUP, 250, 390);
    mouse(SDL_MOUSEBUTTONUP, SDL_BUTTON_WHEELUP, 250, 390);
    EXPECT_EQ(list->vBar.position, 0);
    // The track pages by rows - 1 toward the click.
    const int trackX = int(list->vBar.rect.x0) + 5;
    click(trackX, int(list->vBar.rect.y1) - 15);
    EXPECT_EQ(list->vBar.position, list->rows - 1);
    EXPECT_GT(list->vBar.thumb.y0, list->vBar.rect.y0 + 10);
    click(trackX, int(list->vBar.rect.y0) + 5);  // the up button
    EXPECT_EQ(list->vBar.position, list->rows - 2);
    for (int i = 0; i < range + 5; ++i)
        mouse(SDL_MOUSEBUTTONUP, SDL_BUTTON_WHEELDOWN, 250, 390);
    EXPECT_EQ(list->vBar.position, range);
    EXPECT_FLOAT_EQ(list->vBar.thumb.y1, list->vBar.downButton().y0);
    click(trackX, int(list->vBar.thumb.y0) - 5);
    EXPECT_EQ(list->vBar.position, range - (list->rows - 1));
    // A click selects in the rows now shown.
    click(x, top + 1);
    EXPECT_EQ(list->selectedIndex, list->vBar.position);
    // The horizontal bar moves by characters, at least one per track click.
    click(int(list->hBar.rect.x1) - 15, int(list->hBar.rect.y0) + 5);
    EXPECT_EQ(list->hBar.position, 1);
}

TEST_F(GuiLogic, EditBoxEditsWithinItsText)
{
    GuiEditBox* edit = dynamic_cast<GuiEditBox*>(high_->findWidget("edit_key"));
    Counter counter;
    edit->returnPressed.connect(sigc::mem_fun(counter, &Counter::onText));
    click(250, 360);
    ASSERT_EQ(high_->focusedWidget(), edit);

    type("abc");
    key(SDLK_LEFT);
    type("X");
    EXPECT_EQ(edit->content, "abXc");
    EXPECT_EQ(edit->caret, 3);
    key(SDLK_HOME);
    key(SDLK_BACKSPACE);  // at the start: nothing
    key(SDLK_LEFT);
    EXPECT_EQ(edit->caret, 0);
    key(SDLK_DELETE);
    EXPECT_EQ(edit->content, "bXc");
    key(SDLK_END);
    key(SDLK_DELETE);  // at the end: nothing
    key(SDLK_RIGHT);
    key(SDLK_BACKSPACE);
    EXPECT_EQ(edit->content, "bX");
    EXPECT_EQ(edit->caret, 2);
    // Keys that insert nothing.
    key(SDLK_TAB, '\t');
    key(SDLK_BACKQUOTE, '`');
    key(SDLK_F1, 0);
    key(SDLK_UP, 0);
    key(SDLKey(0x141), 0x141);  // beyond one byte
    key(SDLKey(0x100), 0x100);  // its low byte is zero
    EXPECT_EQ(edit->content, "bX");
    EXPECT_EQ(edit->shown, "bX");
    key(SDLK_RETURN, '\r');
    EXPECT_EQ(counter.lastText, "bX");
    EXPECT_EQ(edit->content, "bX");
    // Any length: typing stops at the cap; a new shorter text keeps indices inside.
    for (int i = 0; i < GuiEditBox::kMaxLength + 50; ++i)
        key(SDLK_a, 0xE9);
    EXPECT_EQ(int(edit->content.size()), GuiEditBox::kMaxLength);
    EXPECT_EQ(static_cast<unsigned char>(edit->content.back()), 0xE9);
    edit->setText("w");
    EXPECT_EQ(edit->caret, 1);
    EXPECT_EQ(edit->shown, "w");
    key(SDLK_HOME);
    key(SDLK_DELETE);
    key(SDLK_DELETE);
    key(SDLK_BACKSPACE);
    EXPECT_EQ(edit->content, "");
    EXPECT_EQ(edit->first, 0);
    EXPECT_EQ(edit->last, 0);
}

}  // namespace
