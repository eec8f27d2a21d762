// The console in a real window: its geometry and pixels read back from GL,
// and real key presses sent to the X server with xdotool, taken from SDL's
// queue and handed to the game's own event routing.
#include "app/AppState.h"
#include "app/Frame.h"
#include "app/Startup.h"
#include "console/Console.h"
#include "gui/Menu.h"
#include "platform/OglSdl.h"
#include "platform/SystemLog.h"
#include "resources/Font.h"
#include "script/GameCommands.h"
#include "script/LuaHost.h"

#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const int kWidth = 800;
const int kHeight = 600;

std::string fontPath()
{
    std::string game = std::string(HALVEX_GAME_DIR) + "/faktos.ttf";
    if (FILE* f = std::fopen(game.c_str(), "rb")) {
        std::fclose(f);
        return game;
    }
    return "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
}

unsigned long windowId = 0;
void xdotool(const std::string& args);

// The X window that carries the caption, as xdotool sees it.
unsigned long findWindow(const char* caption)
{
    std::string command = std::string("xdotool search --sync --name '") + caption + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return 0;
    unsigned long id = 0;
    if (std::fscanf(pipe, "%lu", &id) != 1)
        id = 0;
    pclose(pipe);
    return id;
}

// Opens the game's window once for the whole run, as start-up would.
class WindowEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        oglSdl = new OglSdl();
        ASSERT_TRUE(oglSdl->createWindow("Halvex console test", kWidth, kHeight, 24, 45.0f));
        glEnable(GL_TEXTURE_2D);
        windowId = findWindow("Halvex console test");
        ASSERT_NE(windowId, 0ul);
        xdotool("windowfocus --sync " + std::to_string(windowId));
        registerGameCommands();
        ASSERT_NE(Console::instance, nullptr);
        ASSERT_NE(LuaHost::instance, nullptr);
        ASSERT_TRUE(Console::instance->initConsole(kWidth, kHeight, 0.7f, fontPath().c_str(), 11));
    }
    // No SDL_Quit: it unloads Mesa, whose own leaks then show up under
    // addresses the leak suppressions cannot name.
    void TearDown() override { delete oglSdl; }

private:
    OglSdl* oglSdl = nullptr;
};

// Sends real key presses to the window through the X server.
void xdotool(const std::string& args)
{
    std::string command = "xdotool " + args + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// Through XTEST into the focused window: events sent straight to a window
// carry no time stamps, and SDL takes a release and press of one key closer
// than 2 ms for key repeat, so the presses are spaced out.
void pressKeys(const std::string& keys)
{
    xdotool("key --delay 20 " + keys);
}

void typeText(const std::string& text)
{
    xdotool("type --delay 30 '" + text + "'");
}

// Takes every event SDL has and routes it as the main loop does; waits a
// little for events still on their way from the server.
int pumpEvents()
{
    int keys = 0;
    Uint32 quietSince = SDL_GetTicks();
    Uint32 start = quietSince;
    while (SDL_GetTicks() - quietSince < 150 && SDL_GetTicks() - start < 5000) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
            if (event.type == SDL_KEYDOWN)
                ++keys;
            routeEvent(event);
            quietSince = SDL_GetTicks();
        }
        SDL_Delay(5);
    }
    return keys;
}

// One overlay frame with only the console in it; returns the pixels with
// row 0 at the top of the window, as overlay coordinates count.
struct Shot {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;
    const unsigned char* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

Shot readShot(GLenum buffer, int w, int h);

Shot drawAndRead(int w = kWidth, int h = kHeight)
{
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    OglSdl::instance->beginOverlay(0, 0, w, h);
    Console::instance->drawConsole();
    OglSdl::instance->endOverlay();
    glFinish();
    Shot shot = readShot(GL_BACK, w, h);
    SDL_GL_SwapBuffers();
    return shot;
}

// The main loop's own frame, read from the buffer it put on screen.
Shot runFrameAndRead()
{
    runFrame();
    glFinish();
    Shot shot = readShot(GL_FRONT, kWidth, kHeight);
    glReadBuffer(GL_BACK);
    return shot;
}

Shot readShot(GLenum buffer, int w, int h)
{
    Shot shot;
    shot.width = w;
    shot.height = h;
    std::vector<unsigned char> raw(static_cast<size_t>(w) * h * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(buffer);
    glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, raw.data());
    shot.rgb.resize(raw.size());
    for (int y = 0; y < h; ++y)
        std::copy(raw.begin() + static_cast<long>(h - 1 - y) * w * 3,
                  raw.begin() + static_cast<long>(h - y) * w * 3,
                  shot.rgb.begin() + static_cast<long>(y) * w * 3);
    return shot;
}

enum Tint { Red, Yellow, White };

bool isTint(const unsigned char* p, Tint t)
{
    bool high0 = p[0] > 150, high1 = p[1] > 150, high2 = p[2] > 150;
    bool low1 = p[1] < 90, low2 = p[2] < 90;
    switch (t) {
    case Red:    return high0 && low1 && low2;
    case Yellow: return high0 && high1 && low2;
    case White:  return high0 && high1 && high2;
    }
    return false;
}

// Pixels of a tint in a rectangle of overlay rows [top, bottom).
int countTint(const Shot& s, Tint t, int left, int top, int right, int bottom)
{
    int n = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            n += isTint(s.at(x, y), t) ? 1 : 0;
    return n;
}

std::string entryText(int i)
{
    const ConsoleView& v = Console::instance->view();
    return i < v.filled() ? v.entry(i).text : "<none>";
}

std::string lastLogLine(int back = 0)
{
    const SystemLog& log = SystemLog::get();
    return log.line(log.storedLines() - 1 - static_cast<size_t>(back));
}

void openConsole(const char* key = "\"z\"")
{
    consoleOpen = false;
    ASSERT_TRUE(LuaHost::instance->runString((std::string("toggleConsole(") + key + ")").c_str()));
    ASSERT_TRUE(consoleOpen);
}

void clearInput()
{
    pressKeys("End");
    for (size_t i = Console::instance->input().text().size(); i > 0; --i)
        pressKeys("BackSpace");
    pumpEvents();
    ASSERT_EQ(Console::instance->input().text(), "");
}

} // namespace

TEST(ConsoleWindow, GeometryAt800x600And1024x768)
{
    Console& c = *Console::instance;
    EXPECT_EQ(c.panelHeight(), 419);
    EXPECT_EQ(c.view().maxLines(), 25);
    EXPECT_EQ(c.entryY(0), 387);
    EXPECT_EQ(c.promptY(), 403);
    // Typed characters and held keys need these for the console and bindings.
    EXPECT_EQ(SDL_EnableUNICODE(-1), 1);
    int delay = 0, interval = 0;
    SDL_GetKeyRepeat(&delay, &interval);
    EXPECT_EQ(delay, 500);
    EXPECT_EQ(interval, 30);

    openConsole();
    Shot shot = drawAndRead();
    // The translucent panel over black: (0.1, 0.5, 0.5) at 40 %.
    const unsigned char* panel = shot.at(790, 5);
    EXPECT_NEAR(panel[0], 10, 3);
    EXPECT_NEAR(panel[1], 51, 3);
    EXPECT_NEAR(panel[2], 51, 3);
    EXPECT_NEAR(shot.at(790, 418)[1], 51, 3);
    // The yellow edge is the row just below the panel, then black.
    EXPECT_TRUE(isTint(shot.at(400, 420), Yellow));
    EXPECT_EQ(shot.at(400, 421)[1], 0);
    EXPECT_EQ(shot.at(400, 500)[1], 0);

    EXPECT_EQ(consolePanelHeight(768, 0.7f), 537);
    EXPECT_EQ(consoleMaxLines(537, 11), 32);
    SDL_Surface* big = SDL_SetVideoMode(1024, 768, 24, OglSdl::instance->flags);
    ASSERT_NE(big, nullptr);
    OglSdl::instance->resizeViewport(1024, 768);
    glEnable(GL_TEXTURE_2D);
    c.initConsole(1024, 768, 0.7f, fontPath().c_str(), 11);
    EXPECT_EQ(c.panelHeight(), 537);
    EXPECT_EQ(c.view().maxLines(), 32);
    Shot wide = drawAndRead(1024, 768);
    EXPECT_TRUE(isTint(wide.at(1000, 538), Yellow));
    EXPECT_NEAR(wide.at(1020, 536)[1], 51, 3);
    EXPECT_EQ(wide.at(1000, 539)[1], 0);

    ASSERT_NE(SDL_SetVideoMode(kWidth, kHeight, 24, OglSdl::instance->flags), nullptr);
    OglSdl::instance->resizeViewport(kWidth, kHeight);
    glEnable(GL_TEXTURE_2D);
    c.initConsole(kWidth, kHeight, 0.7f, fontPath().c_str(), 11);
    EXPECT_EQ(c.panelHeight(), 419);
    consoleOpen = false;
}

TEST(ConsoleWindow, TypedLineIsEchoedInWhiteAndRunAsLua)
{
    openConsole();
    typeText("print(6*7)");
    pumpEvents();
    EXPECT_EQ(Console::instance->input().text(), "print(6*7)");
    pressKeys("Return");
    pumpEvents();
    EXPECT_EQ(lastLogLine(1), LOG_WHITE "print(6*7)");
    EXPECT_EQ(lastLogLine(0), LOG_WHITE "42");
    EXPECT_EQ(Console::instance->input().text(), "");
    EXPECT_EQ(Console::instance->input().cursorX(), 15);

    // Both lines show in the very next frame.
    drawAndRead();
    EXPECT_EQ(entryText(0), "42");
    EXPECT_EQ(entryText(1), "print(6*7)");

    // Return on an empty input does nothing at all.
    size_t lines = SystemLog::get().storedLines();
    pressKeys("Return");
    pumpEvents();
    EXPECT_EQ(SystemLog::get().storedLines(), lines);
    consoleOpen = false;
}

TEST(ConsoleWindow, ControlCTypesTheColourMarker)
{
    openConsole();
    pressKeys("ctrl+c");
    typeText(" 1 0 0 ");
    pressKeys("ctrl+c");
    typeText("quit()");
    pumpEvents();
    EXPECT_EQ(Console::instance->input().text(), "\x01 1 0 0 \x01quit()");
    // The input line shows every typed byte, the prefix too, and the
    // cursor stands after all of them.
    Font measure;
    ASSERT_TRUE(measure.init(fontPath().c_str(), 11));
    int typedWidth = measure.textWidth(Console::instance->input().text().c_str());
    EXPECT_EQ(Console::instance->input().cursorX(), 15 + typedWidth);
    EXPECT_EQ(typedWidth, 2 * measure.textWidth("\x01") + measure.textWidth(" 1 0 0 ") + measure.textWidth("quit()"));
    Shot shot = drawAndRead();
    int top = Console::instance->promptY();
    int rightmost = -1;
    for (int y = top; y < top + 16; ++y)
        for (int x = 15; x < kWidth; ++x)
            if (isTint(shot.at(x, y), White) && x > rightmost)
                rightmost = x;
    // The drawn text ends at the cursor, not at the end of "quit()" alone.
    EXPECT_GT(rightmost, 15 + typedWidth - 6);
    EXPECT_LE(rightmost, Console::instance->input().cursorX() + 1);
    quitRequested = false;
    pressKeys("Return");
    pumpEvents();
    EXPECT_EQ(lastLogLine(), LOG_RED "quit()");
    EXPECT_TRUE(quitRequested);
    quitRequested = false;

    // Opened but never closed: logged, nothing runs.
    pressKeys("ctrl+c");
    typeText("quit()");
    pressKeys("Return");
    pumpEvents();
    EXPECT_EQ(lastLogLine(), "\x01quit()");
    EXPECT_FALSE(quitRequested);
    consoleOpen = false;
}

TEST(ConsoleWindow, PageUpStopsFollowingPageDownFollowsAgain)
{
    openConsole();
    SystemLog::get().write(LOG_WHITE "older");
    SystemLog::get().write(LOG_WHITE "newer");
    drawAndRead();
    EXPECT_EQ(entryText(0), "newer");

    pressKeys("Prior");
    pumpEvents();
    EXPECT_EQ(entryText(0), "older");
    SystemLog::get().write(LOG_WHITE "while scrolled");
    drawAndRead();
    EXPECT_EQ(entryText(0), "older");

    pressKeys("Next Next");
    pumpEvents();
    EXPECT_EQ(entryText(0), "while scrolled");
    pressKeys("Next");
    pumpEvents();
    SystemLog::get().write(LOG_WHITE "followed");
    drawAndRead();
    EXPECT_EQ(entryText(0), "followed");
    consoleOpen = false;
}

TEST(ConsoleWindow, OpenConsoleTakesBoundKeysAndIgnoresBackQuote)
{
    ASSERT_TRUE(LuaHost::instance->runString("boundRan = 0 bind(\"boundRan = boundRan + 1\", \"b\")"));
    consoleOpen = false;
    pressKeys("b");
    pumpEvents();
    ASSERT_TRUE(LuaHost::instance->runString("assert(boundRan == 1)"));

    openConsole();
    clearInput();
    pressKeys("b grave Tab Up Down shift+F1");
    pumpEvents();
    EXPECT_TRUE(consoleOpen);
    EXPECT_EQ(Console::instance->input().text(), "b");
    EXPECT_TRUE(LuaHost::instance->runString("assert(boundRan == 1)"));

    // The closing key closes and is not typed; Escape closes too.
    pressKeys("z");
    pumpEvents();
    EXPECT_FALSE(consoleOpen);
    EXPECT_EQ(consoleToggleKey, -1);
    EXPECT_EQ(Console::instance->input().text(), "b");  // kept while closed
    openConsole();
    pressKeys("Escape");
    pumpEvents();
    EXPECT_FALSE(consoleOpen);

    // The back-quote bound to open the console with itself as closing key.
    ASSERT_TRUE(LuaHost::instance->runString("bind(\"toggleConsole(96)\", 96)"));
    pressKeys("grave");
    pumpEvents();
    EXPECT_TRUE(consoleOpen);
    EXPECT_EQ(consoleToggleKey, 96);
    pressKeys("grave");
    pumpEvents();
    EXPECT_FALSE(consoleOpen);
    EXPECT_EQ(Console::instance->input().text(), "b");

    // A letter as closing key closes instead of being typed.
    openConsole("\"a\"");
    pressKeys("a");
    pumpEvents();
    EXPECT_FALSE(consoleOpen);
    EXPECT_EQ(Console::instance->input().text(), "b");
}

TEST(ConsoleWindow, ToggleConsoleArguments)
{
    consoleOpen = false;
    ASSERT_TRUE(LuaHost::instance->runString("toggleConsole()"));
    EXPECT_FALSE(consoleOpen);
    ASSERT_TRUE(LuaHost::instance->runString("toggleConsole(96)"));
    EXPECT_TRUE(consoleOpen);
    EXPECT_EQ(consoleToggleKey, 96);
    ASSERT_TRUE(LuaHost::instance->runString("toggleConsole(\"96\")"));
    EXPECT_FALSE(consoleOpen);
    EXPECT_EQ(consoleToggleKey, 96);
    ASSERT_TRUE(LuaHost::instance->runString("toggleConsole(\"`\")"));
    EXPECT_EQ(consoleToggleKey, 96);
    ASSERT_TRUE(LuaHost::instance->runString("toggleConsole(352.9)"));
    EXPECT_EQ(consoleToggleKey, 96);
    ASSERT_TRUE(LuaHost::instance->runString("toggleConsole(-1)"));
    EXPECT_EQ(consoleToggleKey, 255);
    ASSERT_TRUE(LuaHost::instance->runString("toggleConsole(1/0)"));
    EXPECT_EQ(consoleToggleKey, -1);
    ASSERT_TRUE(LuaHost::instance->runString("toggleConsole(\"\")"));
    EXPECT_EQ(consoleToggleKey, 0);
    // No key at all: nil, booleans and tables leave the console as it was.
    bool open = consoleOpen;
    for (const char* call : { "toggleConsole(nil)", "toggleConsole({})", "toggleConsole(true)", "toggleConsole(print)" }) {
        ASSERT_TRUE(LuaHost::instance->runString(call));
        EXPECT_EQ(consoleOpen, open) << call;
        EXPECT_EQ(consoleToggleKey, 0) << call;
    }
    consoleOpen = false;
}

TEST(ConsoleWindow, LongAndOddInputIsHandledWhole)
{
    openConsole();
    clearInput();
    Console& c = *Console::instance;
    SDL_keysym key = {};
    key.sym = SDLK_x;
    for (int i = 0; i < 3000; ++i) {
        key.unicode = static_cast<Uint16>(i % 3 == 0 ? '%' : (i % 3 == 1 ? 0xe9 : 'x'));
        c.handleKey(key);
    }
    key.unicode = 0x100;  // its low 8 bits are 0: nothing is typed
    c.handleKey(key);
    EXPECT_EQ(c.input().text().size(), 3000u);
    drawAndRead();

    key.sym = SDLK_RETURN;
    key.unicode = 13;
    size_t before = SystemLog::get().storedLines();
    c.handleKey(key);
    EXPECT_EQ(c.input().text(), "");
    // The echo is cut to the log's 511 characters; Lua's complaint follows.
    ASSERT_GE(SystemLog::get().storedLines(), before + 2);
    std::string echo = SystemLog::get().line(before);
    EXPECT_EQ(echo.size(), 511u);
    EXPECT_EQ(echo.substr(0, 10), LOG_WHITE "%");
    EXPECT_EQ(lastLogLine().substr(0, 9), LOG_RED);
    drawAndRead();
    EXPECT_LE(c.view().filled(), c.view().maxLines());
    consoleOpen = false;
}

TEST(ConsoleWindow, ScreenshotShowsPanelColoursAndCursor)
{
    openConsole();
    clearInput();
    SystemLog::get().write(LOG_RED "MMMMMMMMMM red");
    SystemLog::get().write(LOG_YELLOW "MMMMMMMMMM yellow");
    SystemLog::get().write(LOG_WHITE "MMMMMMMMMM white");
    typeText("MMMM");
    pumpEvents();

    Shot shot = drawAndRead();
    Console& c = *Console::instance;
    const int rowHeight = c.fontSize() + 5;
    // Newest lowest: white in entry 0, yellow above, red above that.
    EXPECT_GT(countTint(shot, White, 1, c.entryY(0), 200, c.entryY(0) + rowHeight), 20);
    int cursorTop = c.panelHeight() - c.fontSize() - 7;  // the cursor reaches up into entry 0
    EXPECT_EQ(countTint(shot, Red, 1, c.entryY(0), 200, cursorTop), 0);
    EXPECT_GT(countTint(shot, Yellow, 1, c.entryY(1), 200, c.entryY(1) + rowHeight), 20);
    EXPECT_EQ(countTint(shot, White, 1, c.entryY(1), 200, c.entryY(1) + rowHeight), 0);
    EXPECT_GT(countTint(shot, Red, 1, c.entryY(2), 200, c.entryY(2) + rowHeight), 20);
    EXPECT_EQ(countTint(shot, Yellow, 1, c.entryY(2), 200, c.entryY(2) + rowHeight), 0);

    // The red cursor stands right after the typed text, which is white.
    int cursorX = c.input().cursorX();
    EXPECT_GT(cursorX, 15 + 20) << c.input().text();
    int top = cursorTop;
    int bottom = c.panelHeight() - 2;
    EXPECT_TRUE(isTint(shot.at(cursorX, (top + bottom) / 2), Red));
    EXPECT_EQ(countTint(shot, Red, 15, top, cursorX - 1, bottom), 0);
    EXPECT_GT(countTint(shot, White, 15, c.promptY(), cursorX, c.promptY() + rowHeight), 20);
    EXPECT_EQ(countTint(shot, White, cursorX + 3, c.promptY(), 790, c.promptY() + rowHeight), 0);
    // The prompt.
    EXPECT_GT(countTint(shot, White, 1, c.promptY(), 14, c.promptY() + rowHeight), 3);

    // Closed: nothing drawn at all.
    consoleOpen = false;
    Shot closed = drawAndRead();
    EXPECT_EQ(closed.at(790, 5)[1], 0);
    EXPECT_EQ(closed.at(400, 420)[1], 0);
}

// A key press as SDL reports it, handed to the game's routing.
void routeKeyPress(SDLKey sym, Uint16 unicode)
{
    SDL_Event event = {};
    event.type = SDL_KEYDOWN;
    event.key.keysym.sym = sym;
    event.key.keysym.unicode = unicode;
    routeEvent(event);
}

// Up and Down walk the confirmed lines, newest first, and back down to the
// line that was being typed; more than 32 lines are kept.
TEST(ConsoleWindow, UpAndDownWalkTheConfirmedLines)
{
    openConsole();
    clearInput();
    for (int i = 0; i < 40; ++i) {
        for (char c : "h" + std::to_string(i) + "=" + std::to_string(i))
            routeKeyPress(static_cast<SDLKey>(c), static_cast<Uint16>(c));
        routeKeyPress(SDLK_RETURN, '\r');
    }
    ASSERT_EQ(Console::instance->input().text(), "");
    typeText("dra");
    pressKeys("Up");
    pumpEvents();
    EXPECT_EQ(Console::instance->input().text(), "h39=39");
    pressKeys("Up Up");
    pumpEvents();
    EXPECT_EQ(Console::instance->input().text(), "h37=37");
    EXPECT_EQ(Console::instance->input().cursor(), 6);
    pressKeys("Down Down Down Down");
    pumpEvents();
    EXPECT_EQ(Console::instance->input().text(), "dra");

    std::string ups;
    for (int i = 0; i < 40; ++i)
        ups += " Up";
    pressKeys(ups);
    pumpEvents();
    EXPECT_EQ(Console::instance->input().text(), "h0=0");
    // A recalled line runs like a typed one.
    ASSERT_TRUE(LuaHost::instance->runString("h0 = nil"));
    pressKeys("Return");
    pumpEvents();
    EXPECT_TRUE(LuaHost::instance->runString("assert(h0 == 0)"));
    EXPECT_EQ(lastLogLine(), LOG_WHITE "h0=0");
    consoleOpen = false;
}

// kill() typed in the console shows the menu while the console stays open
// and takes the keys: the frame draws it over the menu until it is closed.
TEST(ConsoleWindow, OpenConsoleIsDrawnOverTheMenu)
{
    Menu::instance->menuActive = false;
    openConsole();
    clearInput();
    typeText("kill()");
    pressKeys("Return");
    pumpEvents();
    ASSERT_TRUE(Menu::instance->menuActive);
    ASSERT_TRUE(consoleOpen);
    Shot shot = runFrameAndRead();
    EXPECT_TRUE(isTint(shot.at(400, 420), Yellow));
    EXPECT_NEAR(shot.at(790, 5)[1], 51, 3);

    pressKeys("Escape");
    pumpEvents();
    EXPECT_FALSE(consoleOpen);
    EXPECT_TRUE(Menu::instance->menuActive);
    Shot closed = runFrameAndRead();
    EXPECT_FALSE(isTint(closed.at(400, 420), Yellow));
    Menu::instance->menuActive = false;
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new WindowEnvironment);
    return RUN_ALL_TESTS();
}
