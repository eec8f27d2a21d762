// The console's plain logic: colour prefixes, wrapping, rebuilding from the
// log, scrolling and the line editor. No window needed.
#include "console/ConsoleInput.h"
#include "console/ConsoleView.h"
#include "platform/SystemLog.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Every printable byte 6 pixels wide, like a small monospaced font.
ConsoleMetrics evenMetrics(int advance = 6)
{
    ConsoleMetrics m;
    for (int c = 1; c < 128; ++c)
        m.advance[c] = advance;
    return m;
}

std::string entryText(const ConsoleView& v, int i) { return v.entry(i).text; }

void expectColour(const ConsoleLine& e, float r, float g, float b)
{
    EXPECT_FLOAT_EQ(e.colour[0], r);
    EXPECT_FLOAT_EQ(e.colour[1], g);
    EXPECT_FLOAT_EQ(e.colour[2], b);
}

} // namespace

TEST(ConsoleColour, PrefixesAndMalformedLines)
{
    float c[3];
    EXPECT_STREQ(splitColourPrefix(LOG_RED "::Font ERROR x", c), "::Font ERROR x");
    EXPECT_FLOAT_EQ(c[0], 1.0f);
    EXPECT_FLOAT_EQ(c[1], 0.0f);
    EXPECT_FLOAT_EQ(c[2], 0.0f);
    EXPECT_STREQ(splitColourPrefix(LOG_CYAN "grow", c), "grow");
    EXPECT_FLOAT_EQ(c[0], 0.0f);

    // No prefix: white, shown whole.
    EXPECT_STREQ(splitColourPrefix("   continued", c), "   continued");
    EXPECT_FLOAT_EQ(c[0] + c[1] + c[2], 3.0f);
    // Only one 0x01: white, shown whole.
    EXPECT_STREQ(splitColourPrefix("\x01 1 0 0 no end", c), "\x01 1 0 0 no end");
    EXPECT_FLOAT_EQ(c[1], 1.0f);
    // Numbers that do not parse keep white; out-of-range ones are clamped.
    EXPECT_STREQ(splitColourPrefix("\x01 x y z \x01text", c), "text");
    EXPECT_FLOAT_EQ(c[0] + c[1] + c[2], 3.0f);
    splitColourPrefix("\x01 0.5 7 -3 \x01", c);
    EXPECT_FLOAT_EQ(c[0], 0.5f);
    EXPECT_FLOAT_EQ(c[1], 1.0f);
    EXPECT_FLOAT_EQ(c[2], 0.0f);
    splitColourPrefix("\x01 nan inf 0 \x01", c);
    EXPECT_FLOAT_EQ(c[0], 1.0f);
    EXPECT_FLOAT_EQ(c[1], 1.0f);
    // Numbers after the second marker are text, not colour.
    EXPECT_STREQ(splitColourPrefix("\x01 0 \x01 0 0", c), " 0 0");
    EXPECT_FLOAT_EQ(c[0], 0.0f);
    EXPECT_FLOAT_EQ(c[1], 1.0f);
    // A long run of markers.
    std::string marks(400, '\x01');
    EXPECT_EQ(std::string(splitColourPrefix(marks.c_str(), c)), std::string(398, '\x01'));
}

TEST(ConsoleWrap, NarrowLineOf300CharactersMakesThreeEntries)
{
    ConsoleView v;
    v.init(25, 100000, evenMetrics());
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += static_cast<char>('a' + i % 26);
    const float yellow[3] = { 1, 1, 0 };
    v.addText(text.c_str(), yellow);
    ASSERT_EQ(v.filled(), 3);
    EXPECT_EQ(entryText(v, 0), text.substr(256));
    EXPECT_EQ(entryText(v, 1), text.substr(128, 128));
    EXPECT_EQ(entryText(v, 2), text.substr(0, 128));
    for (int i = 0; i < 3; ++i)
        expectColour(v.entry(i), 1, 1, 0);
}

TEST(ConsoleWrap, WideLineWrapsAtPanelWidthBeginningAbove)
{
    ConsoleView v;
    v.init(25, 60, evenMetrics());  // ten characters per entry
    const float red[3] = { 1, 0, 0 };
    v.addText("0123456789abcdefghijKLMNO", red);
    ASSERT_EQ(v.filled(), 3);
    EXPECT_EQ(entryText(v, 0), "KLMNO");
    EXPECT_EQ(entryText(v, 1), "abcdefghij");
    EXPECT_EQ(entryText(v, 2), "0123456789");
    for (int i = 0; i < 3; ++i)
        expectColour(v.entry(i), 1, 0, 0);

    // Exactly the panel wide: one entry.
    ConsoleView exact;
    exact.init(25, 60, evenMetrics());
    exact.addText("0123456789", red);
    EXPECT_EQ(exact.filled(), 1);

    // Bytes 128-255 measure nothing and travel through unharmed.
    ConsoleView high;
    high.init(25, 60, evenMetrics());
    std::string bytes;
    for (int c = 128; c < 256; ++c)
        bytes += static_cast<char>(c);
    high.addText(bytes.c_str(), red);
    ASSERT_EQ(high.filled(), 1);
    EXPECT_EQ(entryText(high, 0), bytes.substr(0, 128));
}

TEST(ConsoleWrap, FullEntriesDropTheBeginningAndNarrowPanelsCut)
{
    ConsoleView v;
    v.init(2, 60, evenMetrics());
    const float white[3] = { 1, 1, 1 };
    v.addText("0123456789abcdefghijKLMNO", white);
    ASSERT_EQ(v.filled(), 2);
    EXPECT_EQ(entryText(v, 0), "KLMNO");
    EXPECT_EQ(entryText(v, 1), "abcdefghij");
    v.addText("more", white);
    EXPECT_EQ(v.filled(), 2);

    // A character wider than the panel ends the line there.
    ConsoleMetrics m = evenMetrics();
    m.advance['W'] = 500;
    ConsoleView cut;
    cut.init(25, 60, m);
    cut.addText("0123456789abcWdef", white);
    ASSERT_EQ(cut.filled(), 2);
    EXPECT_EQ(entryText(cut, 0), "abc");
    EXPECT_EQ(entryText(cut, 1), "0123456789");
    ConsoleView first;
    first.init(25, 60, m);
    first.addText("Wxyz", white);
    ASSERT_EQ(first.filled(), 1);
    EXPECT_EQ(entryText(first, 0), "");

    // A panel of no width at all still ends every line.
    ConsoleView none;
    none.init(25, 0, evenMetrics());
    none.addText("abc", white);
    EXPECT_EQ(none.filled(), 1);
    ConsoleView empty;
    empty.init(0, 800, evenMetrics());
    empty.addText("abc", white);
    EXPECT_EQ(empty.filled(), 0);
}

TEST(ConsoleRebuild, NewestAtBottomFollowingAndScrolling)
{
    SystemLog log;
    for (int i = 0; i < 10; ++i)
        log.write(LOG_WHITE "line %d", i);
    log.write(LOG_YELLOW "warn\nplain");

    ConsoleView v;
    v.init(5, 800, evenMetrics());
    v.rebuild(log);
    EXPECT_EQ(v.knownLines(), 12);
    EXPECT_EQ(v.scroll(), 11);
    ASSERT_EQ(v.filled(), 5);
    EXPECT_EQ(entryText(v, 0), "plain");
    expectColour(v.entry(0), 1, 1, 1);
    EXPECT_EQ(entryText(v, 1), "warn");
    expectColour(v.entry(1), 1, 1, 0);
    EXPECT_EQ(entryText(v, 4), "line 7");

    // At the newest line the view follows new lines.
    log.write(LOG_RED "new");
    EXPECT_TRUE(v.logGrew(log));
    v.rebuild(log);
    EXPECT_FALSE(v.logGrew(log));
    EXPECT_EQ(entryText(v, 0), "new");
    EXPECT_EQ(v.scroll(), 12);

    // One log line per press; after PageUp new lines do not move the view.
    v.scrollUp(log);
    EXPECT_EQ(v.scroll(), 11);
    EXPECT_EQ(entryText(v, 0), "plain");
    log.write(LOG_WHITE "newer");
    v.rebuild(log);
    EXPECT_EQ(v.scroll(), 11);
    EXPECT_EQ(entryText(v, 0), "plain");

    // PageDown back to the newest follows again.
    v.scrollDown(log);
    v.scrollDown(log);
    EXPECT_EQ(v.scroll(), 13);
    EXPECT_EQ(entryText(v, 0), "newer");
    v.scrollDown(log);
    EXPECT_EQ(v.scroll(), 13);
    log.write(LOG_WHITE "newest");
    v.rebuild(log);
    EXPECT_EQ(entryText(v, 0), "newest");

    // PageUp stops at the oldest line.
    for (int i = 0; i < 40; ++i)
        v.scrollUp(log);
    EXPECT_EQ(v.scroll(), 0);
    ASSERT_EQ(v.filled(), 1);
    EXPECT_EQ(entryText(v, 0), "line 0");
}

TEST(ConsoleRebuild, HostileLines)
{
    SystemLog log;
    std::string hostile(600, '\x01');
    log.write("%s", hostile.c_str());
    log.write("\x01 1 0 0");
    log.write("%%s %%n %%d \x80\xff\xfe");
    std::string wide(511, 'w');
    log.write("%s", wide.c_str());

    ConsoleView v;
    v.init(25, 800, evenMetrics());
    v.rebuild(log);
    EXPECT_EQ(entryText(v, 0), wide.substr(384));  // 800 px hold 133 characters
    EXPECT_EQ(entryText(v, 4), "%s %n %d \x80\xff\xfe");
    EXPECT_EQ(entryText(v, 5), "\x01 1 0 0");
    EXPECT_EQ(v.filled(), 10);  // 509 markers after the first pair, 128 per entry
}

TEST(ConsoleRebuild, HugeLogCostsOnlyTheShownEntries)
{
    SystemLog log;
    for (int i = 0; i < 100000; ++i)
        log.write(LOG_WHITE "%d", i);
    ConsoleView v;
    v.init(25, 800, evenMetrics());
    v.rebuild(log);
    EXPECT_EQ(v.filled(), 25);
    EXPECT_EQ(entryText(v, 0), "99999");
    EXPECT_EQ(entryText(v, 24), "99975");
    v.scrollUp(log);
    EXPECT_EQ(entryText(v, 0), "99998");
}

TEST(ConsoleInput, EditingKeys)
{
    ConsoleInput in;
    in.setMetrics(evenMetrics(7));
    EXPECT_EQ(in.cursorX(), 15);
    for (char c : std::string("prnt"))
        in.insert(static_cast<unsigned char>(c));
    EXPECT_EQ(in.cursorX(), 15 + 4 * 7);
    in.left();
    in.left();
    in.insert('i');
    EXPECT_EQ(in.text(), "print");
    EXPECT_EQ(in.cursor(), 3);
    EXPECT_EQ(in.cursorX(), 15 + 3 * 7);
    in.erase();  // at the cursor: 'n'
    EXPECT_EQ(in.text(), "prit");
    EXPECT_EQ(in.cursorX(), 15 + 3 * 7);
    in.backspace();
    EXPECT_EQ(in.text(), "prt");
    in.home();
    in.backspace();  // nothing before the start
    in.left();
    EXPECT_EQ(in.text(), "prt");
    EXPECT_EQ(in.cursorX(), 15);
    in.end();
    in.erase();  // nothing after the end
    in.right();
    EXPECT_EQ(in.text(), "prt");
    EXPECT_EQ(in.cursor(), 3);
    in.insert(0);  // a zero byte is never stored
    EXPECT_EQ(in.text(), "prt");
    in.insert(0xe9);  // high bytes are stored but measure nothing
    EXPECT_EQ(in.text(), "prt\xe9");
    EXPECT_EQ(in.cursorX(), 15 + 3 * 7);
}

// The input line is drawn byte for byte, so a typed colour prefix moves
// the cursor like any other text, the 0x01 markers by their own advance.
TEST(ConsoleInput, CursorCountsATypedColourPrefix)
{
    ConsoleInput in;
    ConsoleMetrics m = evenMetrics(7);
    m.advance[1] = 3;
    in.setMetrics(m);
    for (char c : std::string("\x01 1 0 0 "))
        in.insert(static_cast<unsigned char>(c));
    EXPECT_EQ(in.cursorX(), 15 + 3 + 7 * 7);
    for (char c : std::string("\x01quit()"))
        in.insert(static_cast<unsigned char>(c));
    EXPECT_EQ(in.cursorX(), 15 + 2 * 3 + 13 * 7);
    in.home();
    EXPECT_EQ(in.cursorX(), 15);
    in.right();
    in.right();
    EXPECT_EQ(in.cursorX(), 15 + 3 + 7);  // inside the prefix
    in.end();
    for (int i = 0; i < 4; ++i)
        in.left();
    EXPECT_EQ(in.cursorX(), 15 + 2 * 3 + 9 * 7);
    in.home();
    in.erase();
    EXPECT_EQ(in.text(), " 1 0 0 \x01quit()");
    in.end();
    EXPECT_EQ(in.cursorX(), 15 + 3 + 13 * 7);
}

TEST(ConsoleInput, ConfirmAddsWhitePrefixAndFindsTheChunk)
{
    ConsoleInput in;
    std::string logText = "untouched", luaText = "untouched";
    EXPECT_FALSE(in.confirm(logText, luaText));
    EXPECT_EQ(logText, "untouched");

    for (char c : std::string("print(1)"))
        in.insert(static_cast<unsigned char>(c));
    ASSERT_TRUE(in.confirm(logText, luaText));
    EXPECT_EQ(logText, LOG_WHITE "print(1)");
    EXPECT_EQ(luaText, "print(1)");
    EXPECT_EQ(in.text(), "");
    EXPECT_EQ(in.cursor(), 0);
    EXPECT_EQ(in.cursorX(), 15);

    for (char c : std::string("\x01 1 0 0 \x01quit()"))
        in.insert(static_cast<unsigned char>(c));
    ASSERT_TRUE(in.confirm(logText, luaText));
    EXPECT_EQ(logText, LOG_RED "quit()");
    EXPECT_EQ(luaText, "quit()");

    // An opened prefix that never closes runs nothing.
    for (char c : std::string("\x01 1 0 0 quit()"))
        in.insert(static_cast<unsigned char>(c));
    ASSERT_TRUE(in.confirm(logText, luaText));
    EXPECT_EQ(logText, "\x01 1 0 0 quit()");
    EXPECT_EQ(luaText, "");
}
