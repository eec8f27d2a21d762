#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "platform/SystemLog.h"
#include "ProcessTestSupport.h"

namespace {

std::vector<std::string> storedLines(const SystemLog& log)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < log.storedLines(); ++i)
        out.push_back(log.line(i));
    return out;
}

} // namespace

TEST(SystemLog, SplitsAtNewlinesAndKeepsColourOnlyWhereWritten)
{
    SystemLog log;
    log.write(LOG_WHITE "::Test first\nsecond");
    ASSERT_EQ(log.storedLines(), 2u);
    EXPECT_STREQ(log.line(0), "\x01 1 1 1 \x01::Test first");
    EXPECT_STREQ(log.line(1), "second");
    EXPECT_EQ(log.lineCount(), 2u);
}

TEST(SystemLog, MultiLineReportRepeatsPrefixOnEachLine)
{
    SystemLog log;
    log.write(LOG_WHITE "::BspLoader Loaded %s\n" LOG_WHITE "   faces: %i\n" LOG_WHITE "   leaves: %i\n" LOG_WHITE
                        "   textures: %i",
              "maps/a.bsp", 10, 20, 3);
    std::vector<std::string> lines = storedLines(log);
    ASSERT_EQ(lines.size(), 4u);
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].compare(0, 9, "\x01 1 1 1 \x01"), 0) << i;
    EXPECT_EQ(lines[1].substr(9, 3), "   ");
    EXPECT_EQ(lines[3], "\x01 1 1 1 \x01   textures: 3");
}

TEST(SystemLog, TrailingNewlineAndEmptyMessagesAddLines)
{
    SystemLog log;
    log.write(LOG_RED "::Test ERROR x\n");
    log.write("%s", "");
    log.write("\n\n");
    std::vector<std::string> lines = storedLines(log);
    std::vector<std::string> expected = { "\x01 1 0 0 \x01::Test ERROR x", "", "", "", "", "" };
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(log.lineCount(), 6u);
}

TEST(SystemLog, ColourPrefixesReadBackAsThreeFloats)
{
    const char* prefixes[] = { LOG_WHITE, LOG_YELLOW, LOG_RED, LOG_CYAN };
    const float expected[][3] = { { 1, 1, 1 }, { 1, 1, 0 }, { 1, 0, 0 }, { 0, 1, 1 } };
    for (int i = 0; i < 4; ++i) {
        const char* p = prefixes[i];
        ASSERT_EQ(p[0], '\x01');
        float rgb[3] = { -1, -1, -1 };
        ASSERT_EQ(std::sscanf(p + 1, "%f %f %f", &rgb[0], &rgb[1], &rgb[2]), 3);
        EXPECT_EQ(rgb[0], expected[i][0]);
        EXPECT_EQ(rgb[1], expected[i][1]);
        EXPECT_EQ(rgb[2], expected[i][2]);
        std::string s(p);
        EXPECT_EQ(s.back(), '\x01');
        EXPECT_EQ(s[s.size() - 2], ' ');
    }
}

TEST(SystemLog, OverlongMessageIsCutAt511Characters)
{
    SystemLog log;
    std::string big(5000, 'x');
    log.write(LOG_WHITE "::Test %s tail", big.c_str());
    ASSERT_EQ(log.storedLines(), 1u);
    EXPECT_EQ(std::string(log.line(0)).size(), 511u);

    // A newline beyond the cut is gone with the rest of the text.
    std::string withBreak = std::string(600, 'y') + "\nlater";
    log.write("%s", withBreak.c_str());
    ASSERT_EQ(log.storedLines(), 2u);
    EXPECT_EQ(std::string(log.line(1)), std::string(511, 'y'));
}

TEST(SystemLog, TextArgumentsKeepPercentSignsAndBadIndexIsEmpty)
{
    SystemLog log;
    log.write(LOG_WHITE "%s", "50% off %d %s");
    EXPECT_STREQ(log.line(0), "\x01 1 1 1 \x01" "50% off %d %s");
    EXPECT_STREQ(log.line(7), "");
}

TEST(SystemLog, FileWrittenOnceAtExitAndReplacedByNextRun)
{
    std::string dir = makeScratchDir("system_log");
    std::string file = dir + "/systemlog.txt";
    {
        std::ofstream old(file);
        old << "old run\n";
    }
    ASSERT_EQ(runProcess({ LOG_WRITER, dir, "exit" }), 0);
    std::vector<std::string> lines = readLines(file);
    std::vector<std::string> expected = {
        "\x01 1 1 1 \x01::Test first line",
        "\x01 1 1 0 \x01::Test two",
        "lines",
        "100% plain",
        "\x01 1 1 1 \x01::Test logged by a destructor",
    };
    // The line logged after the log's own destruction is never written.
    EXPECT_EQ(lines, expected);

    // A run that crashes leaves the previous run's file as it was.
    EXPECT_NE(runProcess({ LOG_WRITER, dir, "abort" }), 0);
    EXPECT_EQ(readLines(file), expected);
    removeTree(dir);
}
