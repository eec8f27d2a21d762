// The GUI on a real GL context with the real font: fitted texts, a window
// with every widget kind drawn and read back, a title-bar drag that cannot
// lose the window, the edit box scrolling its text and a list of thousands
// of rows scrolled by its bars.
#include "GuiFileWriter.h"
#include "TestWindow.h"
#include "app/Startup.h"
#include "gui/Gui.h"
#include "gui/GuiCheckBox.h"
#include "gui/GuiComboBox.h"
#include "gui/GuiEditBox.h"
#include "gui/GuiListBox.h"
#include "gui/GuiText.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

const int kWidth = 800;
const int kHeight = 600;

TestWindow* const screen =
    static_cast<TestWindow*>(::testing::AddGlobalTestEnvironment(new TestWindow("gui test", kWidth, kHeight)));

std::string fontFile()
{
    std::string game = std::string(HALVEX_GAME_DIR) + "/faktos.ttf";
    if (std::filesystem::exists(game))
        return game;
    return "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
}

struct Rgb {
    int r, g, b;
};

class GuiDraw : public ::testing::Test {
protected:
    void SetUp() override
    {
        setGameGlState();
        gui.init(fontFile().c_str());
        ASSERT_TRUE(gui.font.loaded());
        WindowSpec narrow;
        narrow.name = "narrow";
        narrow.title = "A window title far too long";
        narrow.x = 600, narrow.y = 450, narrow.width = 60, narrow.height = 40;
        narrow.flags = gui::kWindowFixedFlag;
        ASSERT_TRUE(GuiFileWriter::save("gui_draw_test.gui", GuiFileWriter::file({narrow, everyKindWindow("main")})));
        ASSERT_TRUE(gui.loadFile("gui_draw_test.gui"));
        main = gui.findWindow("main");
    }
    void TearDown() override { EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)); }

    // One menu frame: the overlay, every window, read back.
    void frame(GuiPoint pointer)
    {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        screen->window->beginOverlay();
        gui.drawAll(pointer);
        screen->window->endOverlay();
        glFinish();
    }
    Rgb pixel(int x, int y)
    {
        unsigned char p[3] = {};
        glReadPixels(x, kHeight - 1 - y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, p);
        return {p[0], p[1], p[2]};
    }
    void expectPixel(int x, int y, Rgb want)
    {
        Rgb got = pixel(x, y);
        EXPECT_NEAR(got.r, want.r, 2) << x << "," << y;
        EXPECT_NEAR(got.g, want.g, 2) << x << "," << y;
        EXPECT_NEAR(got.b, want.b, 2) << x << "," << y;
    }
    void mouse(Uint8 type, int x, int y)
    {
        SDL_Event event = {};
        event.button = {type, 0, SDL_BUTTON_LEFT, 0, Uint16(x), Uint16(y)};
        gui.mouseEvent(event);
    }

    GUI gui;
    GuiWindow* main = nullptr;
};

TEST_F(GuiDraw, FitTextShortensWithDotsAndCentres)
{
    const Font* font = &gui.font;
    std::string text = "A caption far too long for its box";
    GuiPoint at;
    fitText(20, 60, font, at, text, true);
    EXPECT_EQ(text.substr(text.size() - 2), "..");
    EXPECT_LE(textWidth(font, text.c_str()), 60);
    EXPECT_GT(textWidth(font, (text + "x").c_str()), 60 - textWidth(font, "x"));
    EXPECT_FLOAT_EQ(at.y, 5);  // (20 - 10) / 2
    EXPECT_FLOAT_EQ(at.x, (60 - textWidth(font, text.c_str())) * 0.5f);

    std::string shortText = "OK", one = "W", two = "WW";
    GuiPoint p1, p2, p3;
    fitText(20, 100, font, p1, shortText, false);
    fitText(20, 1, font, p2, one, false);
    fitText(20, 1, font, p3, two, false);
    EXPECT_EQ(shortText, "OK");
    EXPECT_FLOAT_EQ(p1.x, 0);
    EXPECT_EQ(one, "W");
    EXPECT_EQ(two, "..");

    // Titles and check boxes take the real measures at load.
    GuiWindow* narrow = gui.findWindow("narrow");
    EXPECT_EQ(narrow->title.substr(narrow->title.size() - 2), "..");
    EXPECT_LE(textWidth(font, narrow->title.c_str()), 60);
    GuiWidget* check = main->findWidget("check_full");
    EXPECT_FLOAT_EQ(check->rect.width(), float(textWidth(font, "Full screen") + 20));
    EXPECT_FLOAT_EQ(check->rect.height(), 10);
}

TEST_F(GuiDraw, DrawsEveryWidgetKindAndHoverOnlyOnTop)
{
    // The button (screen 110..210 x 90..120) in fill and in hover colour.
    frame({500, 500});
    expectPixel(490, 85, {255, 255, 255});  // body
    expectPixel(490, 70, {0, 0, 0});        // title bar
    expectPixel(115, 95, {51, 51, 51});
    expectPixel(220, 175, {26, 26, 26});    // edit box
    expectPixel(200, 320, {0, 0, 77});      // list box rows
    expectPixel(440, 250, {153, 153, 153}); // combo arrow
    frame({150, 100});
    expectPixel(115, 95, {102, 102, 102});

    // The combo box list drops down over the label while it has the focus.
    expectPixel(320, 300, {255, 255, 255});
    mouse(SDL_MOUSEBUTTONDOWN, 440, 250);
    mouse(SDL_MOUSEBUTTONUP, 440, 250);
    frame({0, 0});
    expectPixel(320, 300, {0, 0, 77});

    // Another window on top: no hover in "main" any more.
    gui.raise(gui.zPosition("narrow"));
    frame({150, 100});
    expectPixel(115, 95, {51, 51, 51});
}

TEST_F(GuiDraw, DraggingMovesEverythingAndKeepsTheTitleBarReachable)
{
    GuiWidget* button = main->findWidget("btn_ok");
    mouse(SDL_MOUSEBUTTONDOWN, 300, 70);
    frame({300, 70});
    frame({350, 100});
    EXPECT_FLOAT_EQ(main->frame.x0, 150);
    EXPECT_FLOAT_EQ(main->position.y, 110);
    EXPECT_FLOAT_EQ(button->rect.x0, 160);
    EXPECT_FLOAT_EQ(button->rect.y0, 120);
    expectPixel(165, 125, {51, 51, 51});

    // Far off the top-left: part of the title bar stays on screen.
    frame({-5000, -5000});
    EXPECT_FLOAT_EQ(main->titleBar.y0, 0);
    EXPECT_GE(main->titleBar.x1, 40);
    frame({9000, 9000});
    EXPECT_FLOAT_EQ(main->titleBar.y1, kHeight);
    EXPECT_LE(main->titleBar.x0, kWidth - 40);
    EXPECT_FLOAT_EQ(button->rect.x0 - main->position.x, 10);

    // The release ends the drag.
    mouse(SDL_MOUSEBUTTONUP, int(main->titleBar.x0) + 5, int(main->titleBar.y0) + 5);
    const float x0 = main->frame.x0;
    frame({100, 100});
    EXPECT_FLOAT_EQ(main->frame.x0, x0);

    // A fixed window rises under a press on its title bar but stays put.
    GuiWindow* narrow = gui.findWindow("narrow");
    mouse(SDL_MOUSEBUTTONDOWN, 630, 440);
    EXPECT_EQ(gui.topWindow(), narrow);
    frame({630, 440});
    frame({300, 300});
    EXPECT_FLOAT_EQ(narrow->frame.x0, 600);
    mouse(SDL_MOUSEBUTTONUP, 630, 440);
}

TEST_F(GuiDraw, EditBoxKeepsTheCaretsSideInView)
{
    GuiEditBox* edit = dynamic_cast<GuiEditBox*>(main->findWidget("edit_name"));
    mouse(SDL_MOUSEBUTTONDOWN, 220, 180);
    mouse(SDL_MOUSEBUTTONUP, 220, 180);
    SDL_keysym key = {};
    for (int i = 0; i < 40; ++i) {
        key.sym = SDLK_a;
        key.unicode = Uint16('a' + i % 26);
        main->focusedWidget()->keyPressed(key);
    }
    const float room = edit->textArea.x1 - edit->textArea.x0;
    EXPECT_EQ(edit->content.size(), 40u);
    EXPECT_LT(edit->shown.size(), 40u);
    EXPECT_LE(textWidth(edit->font, edit->shown.c_str()), room);
    EXPECT_EQ(edit->content.substr(40 - edit->shown.size()), edit->shown);
    EXPECT_EQ(edit->caretX, int(edit->textArea.x0) + textWidth(edit->font, edit->shown.c_str()));

    key.unicode = 0;
    key.sym = SDLK_HOME;
    edit->keyPressed(key);
    EXPECT_EQ(edit->caret, 0);
    EXPECT_EQ(edit->caretX, int(edit->textArea.x0));
    EXPECT_EQ(edit->content.substr(0, edit->shown.size()), edit->shown);
    key.sym = SDLK_END;
    edit->keyPressed(key);
    EXPECT_EQ(edit->content.substr(40 - edit->shown.size()), edit->shown);
    edit->setText("ab");
    EXPECT_EQ(edit->shown, "ab");
    frame({0, 0});
    // The caret is drawn without the focus too (yellow, 2 pixels wide).
    mouse(SDL_MOUSEBUTTONDOWN, 490, 300);
    frame({0, 0});
    expectPixel(edit->caretX, int(edit->textArea.y0) + 2, {255, 255, 0});
}

TEST_F(GuiDraw, ListOfThousandsScrollsByThumbAndCharacters)
{
    GuiListBox* list = dynamic_cast<GuiListBox*>(main->findWidget("list_rows"));
    ListItem item;
    for (int i = 0; i < 5000; ++i) {
        std::snprintf(item.text, sizeof item.text, "row %d %s", i, i == 7 ? std::string(60, 'W').c_str() : "");
        list->addItem(item);
    }
    std::snprintf(item.text, sizeof item.text, "ab");
    list->addItem(item);
    ASSERT_GT(list->rows, 3);
    EXPECT_LE(textWidth(list->font, list->items[7].shown), int(list->area.width()));
    EXPECT_LT(std::strlen(list->items[7].shown), std::strlen(list->items[7].text));

    // The thumb dragged past either end stops at the range's ends.
    const GuiRect thumb = list->vBar.thumb;
    const int tx = int(thumb.x0 + 5), ty = int(thumb.y0 + 5);
    mouse(SDL_MOUSEBUTTONDOWN, tx, ty);
    frame({float(tx), 5000});
    EXPECT_EQ(list->vBar.position, 5001 - list->rows);
    frame({float(tx), -5000});
    EXPECT_EQ(list->vBar.position, 0);
    frame({float(tx), float(ty) + 20});
    EXPECT_GT(list->vBar.position, 0);
    mouse(SDL_MOUSEBUTTONUP, tx, ty);
    EXPECT_FALSE(list->vBar.dragging);

    // Three steps right: every row loses three characters, short ones all.
    const GuiRect right = list->hBar.rightButton();
    for (int i = 0; i < 3; ++i) {
        mouse(SDL_MOUSEBUTTONDOWN, int(right.x0) + 5, int(right.y0) + 5);
        mouse(SDL_MOUSEBUTTONUP, int(right.x0) + 5, int(right.y0) + 5);
    }
    EXPECT_EQ(list->hBar.position, 3);
    frame({0, 0});
    EXPECT_STREQ(list->items[0].shown, " 0 ");
    EXPECT_STREQ(list->items[5000].shown, "");
}

}  // namespace

namespace {

// Random flips in a valid file: loading fails with nothing kept, or the
// windows are laid out with the real font, clicked and drawn; extreme sizes
// and positions must neither crash nor upset GL.
TEST(GuiDrawDamaged, FlippedFilesLoadOrFailCleanly)
{
    setGameGlState();
    const std::vector<unsigned char> whole = GuiFileWriter::file({everyKindWindow("main"), everyKindWindow("b")});
    std::srand(99);
    int drawn = 0;
    for (int round = 0; round < 150; ++round) {
        std::vector<unsigned char> bytes = whole;
        for (int f = 1 + std::rand() % 8; f > 0; --f)
            bytes[size_t(std::rand()) % bytes.size()] ^= static_cast<unsigned char>(1 + std::rand() % 255);
        std::vector<WindowBlock> blocks;
        if (!parseGuiFile(bytes.data(), bytes.size(), blocks)) {
            ASSERT_TRUE(blocks.empty());
            continue;
        }
        GUI gui;
        gui.init(fontFile().c_str());
        ASSERT_TRUE(gui.addWindows(blocks));
        for (Uint8 type : {SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP}) {
            SDL_Event event = {};
            event.button = {type, 0, SDL_BUTTON_LEFT, 0, 150, 120};
            gui.mouseEvent(event);
        }
        screen->window->beginOverlay();
        gui.drawAll({300, 200});
        screen->window->endOverlay();
        ++drawn;
    }
    EXPECT_GT(drawn, 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

}  // namespace
