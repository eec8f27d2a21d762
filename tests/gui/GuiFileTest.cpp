// gui.gui as the GUI loads it: records, texts and colours, the duplicate and
// capacity rules, and damaged files (cut, lying counts) that must fail
// cleanly with nothing added. Random flips are drawn in GuiDrawTest.
#include "GuiFileWriter.h"
#include "gui/Gui.h"
#include "gui/GuiButton.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

const std::string kPath = "gui_file_test.gui";

bool load(GUI& gui, const std::vector<unsigned char>& bytes)
{
    EXPECT_TRUE(GuiFileWriter::save(kPath, bytes));
    return gui.loadFile(kPath.c_str());
}

void expectColour(const GuiColour& c, float r, float g, float b, float a)
{
    EXPECT_FLOAT_EQ(c.r, r);
    EXPECT_FLOAT_EQ(c.g, g);
    EXPECT_FLOAT_EQ(c.b, b);
    EXPECT_FLOAT_EQ(c.a, a);
}

void expectRect(const GuiRect& r, float x0, float y0, float x1, float y1)
{
    EXPECT_FLOAT_EQ(r.x0, x0);
    EXPECT_FLOAT_EQ(r.y0, y0);
    EXPECT_FLOAT_EQ(r.x1, x1);
    EXPECT_FLOAT_EQ(r.y1, y1);
}

std::vector<WindowSpec> sampleWindows()
{
    WindowSpec second;
    second.name = "second";
    second.flags = gui::kWindowFixedFlag;
    second.colours = "1 1 1 1 , 0 0 0 1 , 1 1 1 1 , 1 1 1";  // blanks before the commas
    // Colours but no text: the colour block follows the record directly.
    WidgetSpec label{gui::kTypeLabel, 5, 5, 0, 10, "label_only_colours", nullptr, "0 0 1"};
    second.widgets = {label};
    WindowSpec again = everyKindWindow("main");
    again.widgets = {{gui::kTypeButton, 1, 1, 10, 10, "btn_from_duplicate", "dup", nullptr}};
    return {everyKindWindow("main"), second, again};
}

TEST(GuiFile, ReadsWindowsWidgetsTextsAndColours)
{
    GUI gui;
    ASSERT_TRUE(load(gui, GuiFileWriter::file(sampleWindows())));
    ASSERT_EQ(gui.count, 2);  // the second "main" is dropped
    EXPECT_EQ(gui.zPosition("second"), 1);  // the last window of the file on top
    EXPECT_EQ(gui.windowIndex("nothing"), 2);
    EXPECT_EQ(gui.zPosition("nothing"), 2);

    GuiWindow& main = *gui.findWindow("main");
    EXPECT_TRUE(main.visible);
    EXPECT_TRUE(main.movable);
    EXPECT_FALSE(gui.findWindow("second")->movable);
    EXPECT_EQ(main.title, "Every kind");
    expectRect(main.frame, 100, 60, 500, 380);
    expectRect(main.titleBar, 100, 60, 500, 80);
    EXPECT_FLOAT_EQ(main.position.x, 100);
    // Commas right after the fourth numbers: every group is read.
    expectColour(main.backgroundColour, 1, 1, 1, 1);
    expectColour(main.titleColour, 0, 0, 0, 1);
    expectColour(main.borderColour, 1, 1, 1, 1);
    expectColour(main.titleTextColour, 1, 1, 1, 0);
    // A blank before a comma ends the reading after the first group.
    GuiWindow& second = *gui.findWindow("second");
    expectColour(second.backgroundColour, 1, 1, 1, 1);
    expectColour(second.titleColour, 0, 0, 0, 0);
    expectColour(second.titleTextColour, 0, 0, 0, 0);

    // Seven widgets: the unknown code is consumed and dropped; sorted with
    // the lowest on screen first.
    ASSERT_EQ(main.widgets.size(), 7u);
    EXPECT_EQ(main.findWidget("unknown_kind"), nullptr);
    for (size_t i = 1; i < main.widgets.size(); ++i)
        EXPECT_GE(main.widgets[i - 1]->rect.y0, main.widgets[i]->rect.y0);
    EXPECT_EQ(main.widgets.back()->record.type, gui::kTypeButton);

    GuiButton* ok = dynamic_cast<GuiButton*>(main.findWidget("btn_ok"));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text, "OK");
    expectRect(ok->rect, 110, 90, 210, 120);
    expectColour(ok->fillColour, 0.2f, 0.2f, 0.2f, 1);
    expectColour(ok->textColour, 1, 1, 1, 0);

    GuiWidget* label = second.findWidget("label_only_colours");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text, "");
    EXPECT_EQ(label->colourSpec, "0 0 1");
    for (int i = 0; i < gui.count; ++i)
        EXPECT_EQ(gui.windows[i].findWidget("btn_from_duplicate"), nullptr);

    // A second file adds to the windows already there.
    ASSERT_TRUE(load(gui, GuiFileWriter::file({everyKindWindow("third")})));
    EXPECT_EQ(gui.count, 3);
    EXPECT_EQ(gui.zOrder[2], 2);
}

TEST(GuiFile, FailedLoadsAddNothing)
{
    GUI gui;
    EXPECT_FALSE(gui.loadFile("no_such_dir/gui.gui"));
    EXPECT_FALSE(gui.loadFile("."));  // a folder
    EXPECT_EQ(gui.count, 0);
    // Endless or huge files are refused without reading them whole.
    const char* link = "gui_file_test_zero.gui";
    std::remove(link);
    ASSERT_EQ(symlink("/dev/zero", link), 0);
    EXPECT_FALSE(gui.loadFile(link));
    std::remove(link);
    {
        std::vector<unsigned char> good = GuiFileWriter::file(sampleWindows());
        ASSERT_TRUE(GuiFileWriter::save(kPath, good));
        ASSERT_EQ(truncate(kPath.c_str(), 64L << 20), 0);  // sparse: a valid start, 64 MB stated
        EXPECT_FALSE(gui.loadFile(kPath.c_str()));
    }
    EXPECT_EQ(gui.count, 0);

    // Cut at every byte: each shorter file fails and adds nothing.
    std::vector<unsigned char> whole = GuiFileWriter::file(sampleWindows());
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        std::vector<unsigned char> part(whole.begin(), whole.begin() + long(cut));
        ASSERT_FALSE(load(gui, part)) << "cut at " << cut;
        ASSERT_EQ(gui.count, 0);
    }

    // windowCount 0 or below: an empty, successful load.
    GuiFileWriter empty;
    empty.int32(-5);
    EXPECT_TRUE(load(gui, empty.bytes));
    EXPECT_EQ(gui.count, 0);

    // Lengths and counts that claim more than the file holds, or less than 0.
    auto patched = [&](size_t at, int32_t value) {
        std::vector<unsigned char> bytes = whole;
        gui::writeInt32(bytes.data() + at, value);
        return bytes;
    };
    const size_t firstWindow = 4 + 3 * 4;
    const size_t firstText = firstWindow + gui::kWindowRecordSize + gui::kWidgetRecordSize;
    EXPECT_FALSE(load(gui, patched(0, 0x7fffffff)));                  // windowCount
    EXPECT_FALSE(load(gui, patched(firstWindow, 0x7fffffff)));        // widgetCount
    EXPECT_FALSE(load(gui, patched(firstText, 0x7fffffff)));          // text block
    EXPECT_FALSE(load(gui, patched(firstText, -1)));                  // negative length
    EXPECT_EQ(gui.count, 0);
    // A text block with no zero is taken whole; a zero-length block is empty.
    GuiFileWriter raw;
    raw.int32(1);
    raw.int32(0);
    WindowSpec one;
    one.name = "raw";
    raw.window(one);
    raw.bytes[8] = 1;  // widgetCount, after the count and one reserved value
    WidgetRecord record;
    record.type = gui::kTypeLabel;
    record.hasText = record.hasColours = 1;
    std::strcpy(record.name, "label_raw");
    unsigned char encoded[gui::kWidgetRecordSize];
    gui::encodeWidgetRecord(record, encoded);
    raw.bytes.insert(raw.bytes.end(), encoded, encoded + sizeof encoded);
    raw.int32(2);
    raw.bytes.push_back('O');
    raw.bytes.push_back('K');
    raw.int32(0);
    ASSERT_TRUE(load(gui, raw.bytes));
    ASSERT_EQ(gui.count, 1);
    GuiWidget* label = gui.windows[0].findWidget("label_raw");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text, "OK");
    EXPECT_EQ(label->colourSpec, "");
}

TEST(GuiFile, CapacityIsTwentyWindowsAfterDuplicatesAreDropped)
{
    std::vector<std::string> names;
    for (int i = 0; i < 21; ++i)
        names.push_back("window" + std::to_string(i));
    std::vector<WindowSpec> windows(21);
    for (int i = 0; i < 21; ++i)
        windows[size_t(i)].name = names[size_t(i)].c_str();

    GUI full;
    EXPECT_FALSE(load(full, GuiFileWriter::file(windows)));
    EXPECT_EQ(full.count, 0);

    windows[20].name = "window3";  // a repeat: 20 kept
    ASSERT_TRUE(load(full, GuiFileWriter::file(windows)));
    EXPECT_EQ(full.count, 20);
    EXPECT_FALSE(load(full, GuiFileWriter::file({everyKindWindow("one_more")})));
    EXPECT_EQ(full.count, 20);
    EXPECT_EQ(full.findWindow("one_more"), nullptr);
}

}  // namespace
