// The real game binary in a scratch copy of its run folder, under Xvfb,
// driven with xdotool: start-up files, bound keys, window size, closing.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <csignal>
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "GameRun.h"

namespace {

TEST_F(GameRun, WindowCloseExitsZeroAndWritesTheLog)
{
    start();
    std::string window = waitForWindow();
    ASSERT_FALSE(window.empty());
    EXPECT_EQ(closeAndWait(window), 0);

    std::vector<std::string> lines = log();
    ASSERT_GE(lines.size(), 8u);
    EXPECT_EQ(lines[0], std::string(kWhite) + "::LUA 5.02 Initilize success!");
    const char* libraries[] = { "base", "table", "io", "string", "math", "debug", "loadlib" };
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(lines[1 + i], std::string(kWhite) + "::LUA Opening library: " + libraries[i]);
    // No videoSettings.lua: Lua says so in red, the window keeps 800 x 600.
    EXPECT_EQ(countLines(std::string(kRed) + "cannot read videoSettings.lua"), 1);
    EXPECT_EQ(countLines("::OglSdl Window created, width: 800, height: 600, depth: 24 "), 1);
    // The shipped input.lua and settings.lua run cleanly.
    EXPECT_EQ(countLines(std::string(kRed) + "[string"), 0);
    EXPECT_EQ(countLines("input.lua"), 0);
    EXPECT_EQ(countLines("settings.lua"), 0);
}

TEST_F(GameRun, BoundKeysFireForTheCharacterTheyProduce)
{
    ASSERT_TRUE(writeFile(dir + "/settings.lua",
                          "bind('print(\"lower k\")', 'k')\n"
                          "bind('print(\"upper K\")', 'K')\n"));
    start();
    std::string window = waitForWindow();
    ASSERT_FALSE(window.empty());
    // A key in the menu goes to the menu; New Game starts the game.
    keys(window, { "k" });
    click(window, "btn_newGame");
    pause(500);
    keys(window, { "k", "shift+k", "k" });
    EXPECT_EQ(closeAndWait(window), 0);
    EXPECT_EQ(countLines(std::string(kWhite) + "lower k"), 2);
    EXPECT_EQ(countLines(std::string(kWhite) + "upper K"), 1);
}

TEST_F(GameRun, VideoSettingsSizeTheNextWindowWithoutTheOtherFiles)
{
    ASSERT_TRUE(writeFile(dir + "/videoSettings.lua", "setRes(\"640x400\")\n"));
    std::remove((dir + "/input.lua").c_str());
    std::remove((dir + "/settings.lua").c_str());
    start();
    std::string window = waitForWindow();
    ASSERT_FALSE(window.empty());
    std::string geometry = captureOutput({ "xdotool", "getwindowgeometry", window });
    EXPECT_NE(geometry.find("Geometry: 640x400"), std::string::npos) << geometry;
    EXPECT_EQ(closeAndWait(window), 0);
    EXPECT_EQ(countLines("::OglSdl Window created, width: 640, height: 400, depth: 24 "), 1);
    // Each missing start-up file costs one red line and nothing else.
    EXPECT_EQ(countLines(std::string(kRed) + "cannot read input.lua"), 1);
    EXPECT_EQ(countLines(std::string(kRed) + "cannot read settings.lua"), 1);
}

TEST_F(GameRun, SettingsErrorKeepsEarlierStatementsAndAddsOneRedLine)
{
    ASSERT_TRUE(writeFile(dir + "/settings.lua",
                          "print(\"before the error\")\n"
                          "noSuchCommand()\n"
                          "print(\"after the error\")\n"));
    start();
    std::string window = waitForWindow();
    ASSERT_FALSE(window.empty());
    EXPECT_EQ(closeAndWait(window), 0);
    std::vector<std::string> lines = log();
    size_t before = lines.size();
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i] == std::string(kWhite) + "before the error")
            before = i;
    ASSERT_LT(before + 1, lines.size());
    EXPECT_EQ(lines[before + 1].rfind(kRed, 0), 0u) << lines[before + 1];
    EXPECT_NE(lines[before + 1].find("noSuchCommand"), std::string::npos) << lines[before + 1];
    EXPECT_EQ(countLines("after the error"), 0);
}

TEST_F(GameRun, ResizedWindowKeepsRunning)
{
    start();
    std::string window = waitForWindow();
    ASSERT_FALSE(window.empty());
    ASSERT_EQ(runProcess({ "xdotool", "windowsize", "--sync", window, "500", "400" }), 0);
    pause(500);
    EXPECT_EQ(closeAndWait(window), 0);
    EXPECT_EQ(countLines("Resizing window"), 0);
}

// The road a player takes: menu, New Game, console, Escape to the menu and
// back, a missing level typed in the console, which leaves the level loaded:
// Escape shows the menu and hides it again instead of ending the program.
// Whether the menu is up shows in where keys go: the menu swallows the
// back-quote, the game opens the console with it.
TEST_F(GameRun, MenuGameConsoleAndEscapeRoad)
{
    start();
    std::string window = waitForWindow();
    ASSERT_FALSE(window.empty());
    keys(window, { "grave" });
    type(window, "print(\"menu ate it\")");
    click(window, "btn_newGame");
    pause(500);
    keys(window, { "grave" });
    type(window, "print(\"in game\")");
    keys(window, { "Return", "Escape" });  // the console closes; Escape goes no further
    keys(window, { "Escape" });            // quit(): the menu
    keys(window, { "grave", "Escape" });   // the menu again: Escape hides it
    keys(window, { "grave" });
    type(window, "map(\"baseq3/maps/nothere.bsp\")");
    keys(window, { "Return", "grave" });
    // Still a level: quit() shows the menu, and again hides it.
    keys(window, { "Escape", "Escape", "grave" });
    type(window, "print(\"level kept\")");
    keys(window, { "Return", "grave" });
    EXPECT_EQ(closeAndWait(window), 0);
    EXPECT_EQ(countLines(std::string(kWhite) + "level kept"), 1);

    EXPECT_EQ(countLines("menu ate it"), 0);
    EXPECT_EQ(countLines("::BspLoader map loaded: baseq3/maps/test.bsp"), 1);
    EXPECT_EQ(countLines(std::string(kWhite) + "in game"), 1);
    EXPECT_EQ(countLines(std::string(kRed) + "::BspLoader ERROR: file does not exist: baseq3/maps/nothere.bsp"), 1);
    EXPECT_EQ(countLines(std::string(kRed) + "[string"), 0);
}

// One command plays a level of Debian's OpenArena: the game data folder and
// the level on the command line, the menu skipped (keys go to the game, so
// the back-quote opens the console), the Lua line run after the load, and
// F12 takes a picture as the shipped settings bind it.
TEST_F(GameRun, CommandLinePlaysALevelAndRunsItsLuaLine)
{
    removeTree(dir + "/screenshots");
    start("", { "--data", "/usr/share/games/openarena/baseoa", "--map", "maps/oa_dm1.bsp",
                "--exec", "viewPos() screenshot()" });
    std::string window = waitForWindow();
    ASSERT_FALSE(window.empty());
    // The window shows before the level loads: F12 waits for the first picture.
    for (int i = 0; i < 200 && countLines("::Screenshot ") == 0; ++i)
        pause(100);
    keys(window, { "F12", "grave" });
    type(window, "print(\"in the level\")");
    keys(window, { "Return", "grave" });
    EXPECT_EQ(closeAndWait(window), 0);
    EXPECT_EQ(countLines(std::string(kWhite) + "::BspLoader map loaded: baseq3/maps/oa_dm1.bsp"), 1);
    EXPECT_EQ(countLines(std::string(kWhite) + "in the level"), 1);
    // The Lua line ran after the load: the eye stood on a spawn, not at the origin.
    EXPECT_EQ(countLines(std::string(kWhite) + "::viewPos "), 1);
    EXPECT_EQ(countLines(std::string(kWhite) + "::viewPos 0.00 0.00 0.00"), 0);
    EXPECT_EQ(countLines(std::string(kWhite) + "::Screenshot screenshots/shot0000.png"), 1);
    EXPECT_EQ(countLines(std::string(kWhite) + "::Screenshot screenshots/shot0001.png"), 1);
    EXPECT_TRUE(fileExists(dir + "/screenshots/shot0001.png"));
}

// --help lists the options and exits 0; an unknown option or a missing
// value exits 2 before any window.
TEST_F(GameRun, HelpAndBadOptionsExitCodes)
{
    int status = -1;
    std::string help = captureOutput({ dir + "/halvex", "--help" }, &status);
    EXPECT_EQ(status, 0);
    for (const char* option : { "--data FOLDER", "--map LEVEL", "--exec LUA", "--help" })
        EXPECT_NE(help.find(option), std::string::npos) << option;
    EXPECT_EQ(captureOutput({ dir + "/halvex", "--frobnicate" }, &status), "");
    EXPECT_EQ(status, 2);
    EXPECT_EQ(runProcess({ dir + "/halvex", "--data", "/tmp", "--map" }), 2);
    EXPECT_FALSE(fileExists(dir + "/systemlog.txt"));
}

TEST_F(GameRun, MissingFontSkipsTheLoopAndExitsZero)
{
    std::remove((dir + "/faktos.ttf").c_str());
    start();
    EXPECT_EQ(waitProcess(pid, 60.0), 0);
    pid = -1;
    EXPECT_EQ(countLines("Window created"), 1);
    EXPECT_GE(countLines(std::string(kRed) + "::Font"), 1);
}

TEST_F(GameRun, ImpossibleWindowIsLoggedAndFails)
{
    ASSERT_TRUE(writeFile(dir + "/videoSettings.lua", "setRes(\"100000x100000\")\n"));
    start();
    EXPECT_EQ(waitProcess(pid, 60.0), 1);
    pid = -1;
    EXPECT_EQ(countLines(std::string(kRed) + "::OglSdl ERROR SDL_SetVideoMode Faliure!"), 1);
    EXPECT_EQ(countLines("Window created"), 0);
}

// A played level, its particles, the console and the HUD all give their GL
// objects back while the context exists (closeAndWait checks the probe).
TEST_F(GameRun, GlObjectsGoBeforeTheContext)
{
    start();
    std::string window = waitForWindow();
    ASSERT_FALSE(window.empty());
    click(window, "btn_newGame");
    pause(500);
    keys(window, { "grave" });
    type(window, "print(\"console used\")");
    keys(window, { "Return", "grave" });
    EXPECT_EQ(closeAndWait(window), 0);
    EXPECT_EQ(countLines("::BspLoader map loaded: baseq3/maps/test.bsp"), 1);
    EXPECT_EQ(countLines(std::string(kWhite) + "console used"), 1);
}

// A private X server for one test; its display once a client can open it.
// The number is picked here among free ones, spread by process id, rather
// than by Xvfb's own scan: servers of other tests starting at the same moment
// race in that scan. A server that does not answer is replaced.
bool startPrivateServer(pid_t& server, std::string& display)
{
    int number = 5000 + int(getpid() % 2000);
    for (int attempt = 0; attempt < 8; ++attempt, number += 7) {
        while (fileExists("/tmp/.X11-unix/X" + std::to_string(number)) ||
               fileExists("/tmp/.X" + std::to_string(number) + "-lock"))
            number += 1;
        display = ":" + std::to_string(number);
        server = fork();
        if (server == 0) {
            execlp("Xvfb", "Xvfb", display.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                   "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        if (server < 0)
            return false;
        for (int i = 0; i < 50; ++i) {
            if (Display* x = XOpenDisplay(display.c_str())) {
                XCloseDisplay(x);
                return true;
            }
            if (waitpid(server, nullptr, WNOHANG) == server)
                break;  // lost the number to another server
            pause(100);
        }
        kill(server, SIGTERM);
        waitpid(server, nullptr, 0);
    }
    return false;
}

// The X server going away under a running game ends it within seconds, with
// the log written, instead of leaving it spinning on the dead connection.
TEST_F(GameRun, LostDisplayEndsTheProgramPromptly)
{
    // A server that lost a race for its display number can leave the game
    // without a window; such a start is thrown away and made again.
    pid_t server = -1;
    std::string display, window;
    for (int attempt = 0; attempt < 3 && window.empty(); ++attempt) {
        if (attempt > 0) {
            kill(pid, SIGKILL);
            waitProcess(pid, 5.0);
            kill(server, SIGTERM);
            waitpid(server, nullptr, 0);
            std::remove((dir + "/systemlog.txt").c_str());
        }
        ASSERT_TRUE(startPrivateServer(server, display));
        start(display);
        window = waitForWindow(display);
    }
    EXPECT_FALSE(window.empty());
    pause(500);
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    EXPECT_EQ(waitProcess(pid, 5.0), 0) << "still running 5 s after its display went";
    pid = -1;
    EXPECT_EQ(countLines("Window created"), 1);
    EXPECT_EQ(countLines(std::string(kRed) + "::OglSdl ERROR Display lost, ending the program"), 1);
}

// No X server where DISPLAY points, or one that goes away while the game
// starts: SDL would fall back to drawing off screen and the game would run on
// unseen. It must end instead, saying why in red, with its log and exit code 1.
TEST_F(GameRun, StartWithoutADisplayEndsWithAFailure)
{
    int free = 4700;
    while (fileExists("/tmp/.X11-unix/X" + std::to_string(free)) || fileExists("/tmp/.X" + std::to_string(free) + "-lock"))
        ++free;
    start(":" + std::to_string(free));
    EXPECT_EQ(waitProcess(pid, 30.0), 1) << "still running 30 s after a start on a display with no server";
    pid = -1;
    EXPECT_EQ(countLines(std::string(kWhite) + "::LUA 5.02 Initilize success!"), 1);
    EXPECT_EQ(countLines(std::string(kRed) + "::OglSdl ERROR No window can be shown: no X display at \":" +
                         std::to_string(free) + "\""), 1);
    EXPECT_EQ(countLines("Window created"), 0);

    // The server killed a moment after the start: whichever step it hits,
    // the game ends within seconds, and with a failure unless it was playing.
    pid_t server = -1;
    std::string display;
    ASSERT_TRUE(startPrivateServer(server, display));
    std::remove((dir + "/systemlog.txt").c_str());
    start(display);
    pause(300);
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    int code = waitProcess(pid, 20.0);
    pid = -1;
    bool played = countLines(std::string(kRed) + "::OglSdl ERROR Display lost, ending the program") == 1;
    EXPECT_EQ(code, played ? 0 : 1);
    EXPECT_GE(countLines(std::string(kRed) + "::OglSdl ERROR"), 1);
}

} // namespace
