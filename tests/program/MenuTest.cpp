// The menu in the real game binary, clicked and typed at with xdotool: the
// controls and video screens write their files and the game follows them,
// Escape and the buttons walk the screens, a damaged gui.gui leaves only the
// background, Quit ends the program with exit code 0, a click counts only
// where it was pressed and let go, a level that cannot be loaded keeps the
// menu, and a full screen larger than the display fits it.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "GameRun.h"

namespace {

const std::vector<std::string> kInputHeader = {
    "-- This file was created my Halvex, feel free to edit it",
    "-- for avalible commands check out settings.lua",
};

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Pixels that differ between two screenshots (ImageMagick's count).
long differingPixels(const std::string& a, const std::string& b)
{
    std::string cmd = "compare -metric AE '" + a + "' '" + b + "' null: 2>&1";
    std::FILE* pipe = popen(cmd.c_str(), "r");
    char text[128] = {};
    if (!pipe || !std::fgets(text, sizeof text, pipe)) {
        if (pipe)
            pclose(pipe);
        return -1;
    }
    pclose(pipe);
    return std::atol(text);
}

// Bright red pixels in a screenshot (ImageMagick's count).
long redPixels(const std::string& png)
{
    return std::atol(captureOutput({ "convert", png, "-fx", "r>0.7 && g<0.3 && b<0.3 ? 1 : 0", "-format",
                                     "%[fx:round(mean*w*h)]", "info:" }).c_str());
}

// A button border's orange within two pixels of (x, y) in a screenshot.
bool orangeNear(const std::string& png, int x, int y)
{
    std::string crop = "5x5+" + std::to_string(x - 2) + "+" + std::to_string(y - 2);
    return std::atof(captureOutput({ "convert", png, "-crop", crop, "-fx",
                                     "r>0.8 && g>0.5 && g<0.75 && b<0.3 ? 1 : 0", "-format", "%[fx:maxima]",
                                     "info:" }).c_str()) > 0.5;
}

bool stillRunning(pid_t pid)
{
    return waitpid(pid, nullptr, WNOHANG) == 0;
}

class MenuRun : public GameRun {
protected:
    // The shipped level without its enemies and fountains: nothing on screen
    // moves unless the player does.
    void useStillLevel()
    {
        std::istringstream in(readAll(HALVEX_SOURCE_DIR "/content/maps/test.map"));
        std::string out, block, line;
        int depth = 0;
        while (std::getline(in, line)) {
            block += line + "\n";
            depth += line == "{" ? 1 : line == "}" ? -1 : 0;
            if (depth == 0) {
                bool moving = block.find("\"enemy\"") != std::string::npos ||
                              block.find("particle") != std::string::npos;
                if (!moving)
                    out += block;
                block.clear();
            }
        }
        ASSERT_TRUE(writeFile(dir + "/still.map", out));
        ASSERT_EQ(runProcess({ MAPC_TOOL, dir + "/still.map", dir + "/baseq3/maps/test.bsp" }), 0);
    }

    void shot(const std::string& window, const std::string& name)
    {
        ASSERT_EQ(runProcess({ "import", "-window", window, dir + "/" + name }), 0);
    }

    void xdo(const std::vector<std::string>& args)
    {
        std::vector<std::string> cmd = { "xdotool" };
        cmd.insert(cmd.end(), args.begin(), args.end());
        ASSERT_EQ(runProcess(cmd), 0);
        pause(200);
    }

    // The pointer onto a menu widget's centre, or dx pixels left of its left edge.
    void pointAt(const std::string& window, const std::string& name, int dx = 0)
    {
        int w = 0, h = 0;
        ScreenRect r;
        ASSERT_TRUE(windowSize(window, &w, &h));
        ASSERT_TRUE(menuWidgetRect(name, w, h, &r));
        int x = dx > 0 ? r.x0 - dx : r.centreX();
        xdo({ "mousemove", "--window", window, "--sync", std::to_string(x), std::to_string(r.centreY()) });
    }

    void hold(const std::string& window, const std::string& key, int ms)
    {
        ASSERT_EQ(runProcess({ "xdotool", "windowfocus", "--sync", window, "keydown", key }), 0);
        pause(ms);
        ASSERT_EQ(runProcess({ "xdotool", "keyup", key }), 0);
        pause(300);
    }
};

TEST_F(MenuRun, ControlsScreenRebindsForwardAndTheNewKeyMoves)
{
    useStillLevel();
    start();
    std::string window = waitForWindow();
    ASSERT_FALSE(window.empty());
    click(window, "btn_settings");
    click(window, "btn_settingsControls");
    click(window, "edit_forward");
    keys(window, { "BackSpace", "i" });
    click(window, "btn_settingsCtrlApply");

    std::vector<std::string> expected = kInputHeader;
    for (const char* line : { "inputForward(\"i\")", "inputBackward(\"s\")", "inputUp(\" \")", "inputDown(\"c\")",
                              "inputLeft(\"a\")", "inputRight(\"d\")", "inputShoot(\"\",1)", "updateGuiControls()" })
        expected.push_back(line);
    EXPECT_EQ(readLines(dir + "/input.lua"), expected);

    // Controls, settings, main; then a game on the still level.
    keys(window, { "Escape", "Escape" });
    click(window, "btn_newGame");
    pause(1500);
    shot(window, "before.png");
    hold(window, "w", 500);
    shot(window, "after-w.png");
    hold(window, "i", 500);
    shot(window, "after-i.png");
    EXPECT_EQ(differingPixels(dir + "/before.png", dir + "/after-w.png"), 0);
    EXPECT_GT(differingPixels(dir + "/after-w.png", dir + "/after-i.png"), 1000);
    EXPECT_EQ(closeAndWait(window), 0);
    EXPECT_EQ(countLines("::BspLoader map loaded: baseq3/maps/test.bsp"), 1);
}

TEST_F(MenuRun, VideoScreenWritesTheSizeTheNextStartOpensAt)
{
    // A folder where input.lua belongs: Apply writes nothing and runs nothing.
    std::remove((dir + "/input.lua").c_str());
    ASSERT_EQ(runProcess({ "mkdir", dir + "/input.lua" }), 0);
    start();
    std::string window = waitForWindow();
    ASSERT_FALSE(window.empty());
    click(window, "btn_settings");
    click(window, "btn_settingsVideo");
    ScreenRect combo;
    ASSERT_TRUE(menuWidgetRect("combo_settingsVideoRes", 800, 600, &combo));
    ASSERT_TRUE(clickAt(window, combo.x1 - 10, combo.centreY()));  // the arrow opens the list
    pause(300);
    // Rows of 15 pixels (font size 10 + 5) right under the box: the fourth.
    ASSERT_TRUE(clickAt(window, combo.x0 + 40, combo.y1 + 3 * 15 + 7));
    pause(300);
    click(window, "check_settingsVideoFullscreen");
    click(window, "btn_settingsVideoOK");
    EXPECT_EQ(readAll(dir + "/videoSettings.lua"),
              "-- This file was created my Halvex, feel free to edit this file\n"
              "-- for avalible commands check out settings.lua\n"
              "setRes(\"1280x1024\",1)\n");
    // OK keeps the screen: Cancel to settings, Apply on the controls, then
    // back to main and Quit.
    click(window, "btn_settingsVideoCancel");
    click(window, "btn_settingsControls");
    click(window, "btn_settingsCtrlApply");
    keys(window, { "Escape", "Escape" });
    click(window, "btn_quit");
    EXPECT_EQ(waitProcess(pid, 60.0), 0);
    pid = -1;
    EXPECT_EQ(countLines("input.lua"), 1);  // start-up's complaint only
    EXPECT_FALSE(fileExists(dir + "/input.lua.new"));

    start();
    window = waitForWindow();
    ASSERT_FALSE(window.empty());
    int w = 0, h = 0;
    EXPECT_TRUE(windowSize(window, &w, &h));
    EXPECT_EQ(w, 1280);
    EXPECT_EQ(h, 1024);
    EXPECT_EQ(closeAndWait(window), 0);
    EXPECT_EQ(countLines("::OglSdl Window created, width: 1280, height: 1024"), 1);
}

// Each step proves the screen it reached by a button only that screen has.
TEST_F(MenuRun, EscapeAndTheBackButtonsWalkTheScreens)
{
    std::remove((dir + "/input.lua").c_str());
    start();
    std::string window = waitForWindow();
    ASSERT_FALSE(window.empty());
    click(window, "btn_settings");
    click(window, "btn_settingsControls");
    keys(window, { "Escape" });  // controls -> settings
    click(window, "btn_settingsVideo");
    click(window, "btn_settingsVideoOK");
    // No row chosen: the size the box shows.
    std::vector<std::string> video = readLines(dir + "/videoSettings.lua");
    ASSERT_EQ(video.size(), 3u);
    EXPECT_EQ(video[2], "setRes(\"800x600\",0)");
    keys(window, { "Escape" });  // video -> settings
    click(window, "btn_settingsControls");
    click(window, "btn_settingsCtrlCancel");  // controls -> settings
    click(window, "btn_settingsControls");
    click(window, "btn_settingsCtrlApply");
    EXPECT_TRUE(fileExists(dir + "/input.lua"));
    keys(window, { "Escape" });  // controls -> settings
    click(window, "btn_settingsBack");  // settings -> main
    click(window, "btn_newGame");
    pause(500);
    // Killed: the dialog; Escape goes to main, where New Game plays again.
    keys(window, { "grave" });
    type(window, "kill()");
    keys(window, { "Return", "grave", "Escape" });
    click(window, "btn_newGame");
    pause(500);
    keys(window, { "grave" });
    type(window, "kill()");
    keys(window, { "Return", "grave" });
    click(window, "btn_killOk");  // kill -> main
    click(window, "btn_quit");
    EXPECT_EQ(waitProcess(pid, 60.0), 0);
    pid = -1;
    EXPECT_EQ(countLines("::BspLoader map loaded: baseq3/maps/test.bsp"), 2);
    // Only the two files missing at start.
    EXPECT_EQ(countLines(std::string(kRed)), 2);
}

// A press moved off a button before the release does not click; a release
// the menu never saw pressed (held in the game, let go over New Game after
// Escape) clicks nothing. New Game without its level, or with a damaged one,
// keeps the menu with the loader's red line under it.
TEST_F(MenuRun, ClicksNeedTheirPressAndAMissingLevelKeepsTheMenu)
{
    start();
    std::string window = waitForWindow();
    ASSERT_FALSE(window.empty());
    pointAt(window, "btn_quit");
    xdo({ "mousedown", "1" });
    pointAt(window, "btn_quit", 30);
    xdo({ "mouseup", "1" });
    pause(2000);  // a Quit takes a moment to end the program
    ASSERT_TRUE(stillRunning(pid)) << "Quit was let go of 30 pixels off it";

    click(window, "btn_newGame");
    pause(1000);
    // The game keeps the pointer at the window's centre, on New Game.
    xdo({ "mousedown", "1" });
    keys(window, { "Escape" });
    xdo({ "mouseup", "1" });
    pause(500);

    const std::string level = dir + "/baseq3/maps/test.bsp";
    const std::string bytes = readAll(level);
    ASSERT_GT(bytes.size(), 100000u);
    std::remove(level.c_str());
    shot(window, "menu.png");
    click(window, "btn_newGame");
    pause(500);
    shot(window, "no-level.png");
    EXPECT_GT(redPixels(dir + "/no-level.png"), redPixels(dir + "/menu.png") + 100);
    ASSERT_TRUE(writeFile(level, bytes.substr(0, 50000)));
    click(window, "btn_newGame");
    click(window, "btn_quit");  // still the menu
    EXPECT_EQ(waitProcess(pid, 30.0), 0);
    pid = -1;
    EXPECT_EQ(countLines("::BspLoader map loaded: baseq3/maps/test.bsp"), 1);
    EXPECT_EQ(countLines(std::string(kRed) + "::BspLoader ERROR"), 2);
}

// 1600 x 1200 full screen saved, a 1280 x 1024 display: the game takes the
// display's size, so the menu is drawn in the pixels the pointer reports
// (scaled down, it would lie elsewhere). The pointer itself is not driven
// here: in full screen SDL reads it relatively, which xdotool cannot move.
TEST_F(MenuRun, FullScreenLargerThanTheDisplayFitsIt)
{
    ASSERT_TRUE(writeFile(dir + "/videoSettings.lua", "setRes(\"1600x1200\",1)\n"));
    start();
    ASSERT_FALSE(waitForWindow().empty());
    pause(1500);  // made as a window, then switched to full screen
    std::string window = waitForWindow();
    ASSERT_FALSE(window.empty());
    int w = 0, h = 0;
    EXPECT_TRUE(windowSize(window, &w, &h));
    EXPECT_EQ(w, 1280);
    EXPECT_EQ(h, 1024);
    shot(window, "full.png");
    ScreenRect quit;
    ASSERT_TRUE(menuWidgetRect("btn_quit", 1280, 1024, &quit));
    EXPECT_TRUE(orangeNear(dir + "/full.png", quit.x0, quit.centreY())) << "Quit's left edge";
    EXPECT_TRUE(orangeNear(dir + "/full.png", quit.x1, quit.centreY())) << "Quit's right edge";
    EXPECT_TRUE(orangeNear(dir + "/full.png", quit.centreX(), quit.y0)) << "Quit's top edge";
    keys(window, { "Escape" });
    EXPECT_EQ(waitProcess(pid, 30.0), 0);
    pid = -1;
    EXPECT_EQ(countLines("::OglSdl WARNING 1600x1200 is larger than the display; full screen at 1280x1024"), 1);
    EXPECT_EQ(countLines("::OglSdl Window created, width: 1280, height: 1024"), 1);
}

TEST_F(MenuRun, DamagedGuiFileLeavesTheBackgroundAndEscapeEnds)
{
    std::string gui = readAll(dir + "/gui.gui");
    ASSERT_GT(gui.size(), 100u);
    ASSERT_TRUE(writeFile(dir + "/gui.gui", gui.substr(0, gui.size() / 2)));
    start();
    std::string window = waitForWindow();
    ASSERT_FALSE(window.empty());
    click(window, "btn_newGame");  // nothing there
    keys(window, { "Escape" });
    EXPECT_EQ(waitProcess(pid, 60.0), 0);
    pid = -1;
    EXPECT_EQ(countLines(std::string(kWhite) + "::Menu Failed to load gui"), 1);
    EXPECT_EQ(countLines("::GUI"), 0);
    EXPECT_EQ(countLines("map loaded"), 0);
}

} // namespace
