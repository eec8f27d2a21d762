// The level compiler's progress as a user sees it: on a terminal (a pseudo
// terminal here) one line rewritten in place, cleared before the closing
// table; nothing at all for a compile shorter than a few seconds.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include "MapcTestSupport.h"
#include "Progress.h"

using namespace mapctest;

namespace {

std::string smallLevel()
{
    return entity("\"classname\" \"worldspawn\"\n" + carvedRooms({{0, 0, 0, 512, 512, 256}, {512, 192, 0, 900, 320, 128}})) +
           pointEntity("info_player_start", 100, 100, 64) + pointEntity("light", 256, 256, 200);
}

// What a compile printed through a progress of the given quiet time.
std::string printedBy(FILE* out, int readFd, double quietSeconds)
{
    mapc::Progress progress(out, quietSeconds);
    mapc::CompileOptions options;
    options.progress = &progress;
    Compiled c;
    compile(smallLevel(), c, options);
    progress.finish();
    EXPECT_TRUE(c.valid) << c.diag.error << c.problem;
    EXPECT_EQ(progress.stages().size(), 7u);
    std::fflush(out);
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = read(readFd, buffer, sizeof(buffer))) > 0) text.append(buffer, static_cast<size_t>(n));
    return text;
}

} // namespace

TEST(MapcProgress, ATerminalGetsOneLineRewrittenThenTheTable)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    termios raw{};
    ASSERT_EQ(tcgetattr(slave, &raw), 0);
    cfmakeraw(&raw);  // the bytes as written, no "\r\n" for "\n"
    ASSERT_EQ(tcsetattr(slave, TCSANOW, &raw), 0);
    ASSERT_EQ(fcntl(master, F_SETFL, O_NONBLOCK), 0);
    FILE* terminal = fdopen(slave, "w");
    ASSERT_NE(terminal, nullptr);

    const std::string shown = printedBy(terminal, master, 0.0);
    const size_t table = shown.find("stage                     seconds\n");
    ASSERT_NE(table, std::string::npos) << shown;
    // Every stage on the one line, no line ended before the table; the line
    // wiped before it.
    for (const char* stage : {"reading the source", "tree and portals", "faces and models", "lighting",
                              "visibility rough sets", "visibility flow", "writing"})
        EXPECT_LT(shown.find(std::string("\r") + stage), table) << stage;
    EXPECT_EQ(shown.find('\n'), table + 33);
    EXPECT_EQ(shown.rfind("\r" + std::string(30, ' ') + "\r", table), table - 32);
    EXPECT_NE(shown.find("\ntotal ", table), std::string::npos);
    EXPECT_NE(shown.find("\npeak memory ", table), std::string::npos);

    // A short compile with the tool's quiet time: not a byte.
    EXPECT_EQ(printedBy(terminal, master, 3.0), "");
    std::fclose(terminal);
    close(master);
}
