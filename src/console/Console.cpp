// The drop-down console: its key handling, its toggleConsole command and its drawing.
#include "console/Console.h"

#include "app/AppState.h"
#include "platform/GlContext.h"
#include "platform/SystemLog.h"
#include "script/LuaHost.h"
#include "script/ScriptArgs.h"

#include <GL/gl.h>
#include <cmath>
#include <string>

namespace {

// toggleConsole(key): opens or closes the console; key is the character
// code (a number, or the first byte of a text) that closes it again.
int toggleConsoleCommand(lua_State* L)
{
    // nil, booleans and tables are no key: the command does nothing, as
    // every command does when its key argument is missing.
    if (lua_gettop(L) < 1 || !lua_isstring(L, 1))
        return 0;
    consoleOpen = !consoleOpen;

    if (lua_isnumber(L, 1)) {
        // The same key bind would take; no key for NaN and the infinities.
        if (!scriptargs::lowByte(lua_tonumber(L, 1), &consoleToggleKey))
            consoleToggleKey = -1;
    } else {
        const char* text = lua_tostring(L, 1);
        consoleToggleKey = text ? static_cast<unsigned char>(text[0]) : -1;
    }
    return 0;
}

} // namespace

int consolePanelHeight(int windowHeight, float fraction)
{
    // The product is taken in double from the single-precision fraction:
    // 600 x 0.7f gives 419, as the float 0.7 is just below 0.7.
    double h = static_cast<double>(windowHeight) * static_cast<double>(fraction);
    if (!(h > 0.0))
        return 0;
    if (h > 1.0e9)
        return 1000000000;
    return static_cast<int>(h);
}

int consoleMaxLines(int panelHeight, int fontSize)
{
    double rowHeight = static_cast<double>(fontSize) + 5.0;
    if (rowHeight <= 0.0)
        return 0;
    int rows = static_cast<int>(static_cast<double>(panelHeight) / rowHeight);
    return rows - 1;
}

Console::Console()
{
    if (LuaHost::instance)
        LuaHost::instance->registerCommand("toggleConsole", toggleConsoleCommand);
}

Console::~Console()
{
    release();
}

void Console::release()
{
    if (background != 0 && glContextCurrent())
        glDeleteLists(background, 1);
    background = 0;
    consoleFont.release();
}

bool Console::initConsole(int windowWidth, int windowHeight, float fraction,
                          const char* fontFile, int fontSize)
{
    SDL_EnableUNICODE(1);
    if (SDL_EnableKeyRepeat(500, 30) != 0)
        SystemLog::get().write(LOG_YELLOW "::Main ERROR SDL_EnableKeyRepeat Failed!");

    height = consolePanelHeight(windowHeight, fraction);
    width = windowWidth;
    size = fontSize;

    // The console carries on with an unloaded font; it then draws no text.
    bool fontLoaded = consoleFont.init(fontFile, fontSize);

    if (background != 0)
        glDeleteLists(background, 1);
    background = glGenLists(1);
    if (background != 0) {
        glNewList(background, GL_COMPILE);
        glDisable(GL_TEXTURE_2D);
        glColor3f(1.0f, 1.0f, 0.0f);
        glBegin(GL_LINES);
        glVertex2f(0.0f, static_cast<float>(height + 1));
        glVertex2f(static_cast<float>(width), static_cast<float>(height + 1));
        glEnd();
        // The blend function is set by drawConsole before the call.
        glEnable(GL_BLEND);
        glColor4f(0.1f, 0.5f, 0.5f, 0.4f);
        glBegin(GL_POLYGON);
        glTexCoord2f(0.0f, 0.0f);
        glVertex2f(0.0f, 0.0f);
        glTexCoord2f(1.0f, 0.0f);
        glVertex2f(static_cast<float>(width), 0.0f);
        glTexCoord2f(1.0f, 1.0f);
        glVertex2f(static_cast<float>(width), static_cast<float>(height));
        glTexCoord2f(0.0f, 1.0f);
        glVertex2f(0.0f, static_cast<float>(height));
        glEnd();
        glDisable(GL_BLEND);
        glEnable(GL_TEXTURE_2D);
        glEndList();
    }

    ConsoleMetrics metrics;
    char one[2] = { 0, 0 };
    for (int c = 1; c < 256; ++c) {
        one[0] = static_cast<char>(c);
        metrics.advance[c] = fontLoaded ? consoleFont.textWidth(one) : 0;
    }
    line.setMetrics(metrics);
    entries.init(consoleMaxLines(height, size), width, metrics);
    entries.rebuild(SystemLog::get());
    return fontLoaded;
}

bool Console::handleKey(const SDL_keysym& key)
{
    if (!consoleOpen)
        return false;
    if (static_cast<int>(key.unicode) == consoleToggleKey || key.sym == SDLK_ESCAPE) {
        consoleToggleKey = -1;
        consoleOpen = false;
        return true;
    }

    switch (key.sym) {
    case SDLK_RETURN:    confirmLine(); break;
    case SDLK_BACKSPACE: line.backspace(); break;
    case SDLK_DELETE:    line.erase(); break;
    case SDLK_LEFT:      line.left(); break;
    case SDLK_RIGHT:     line.right(); break;
    case SDLK_HOME:      line.home(); break;
    case SDLK_END:       line.end(); break;
    case SDLK_UP:        line.olderLine(); break;
    case SDLK_DOWN:      line.newerLine(); break;
    case SDLK_PAGEUP:    entries.scrollUp(SystemLog::get()); break;
    case SDLK_PAGEDOWN:  entries.scrollDown(SystemLog::get()); break;
    default: {
        if (lineEditIgnores(key.sym))
            break;
        // Control-c types the byte that opens and closes a colour prefix.
        int c = ((key.mod & KMOD_CTRL) && key.sym == SDLK_c) ? 0x01 : key.unicode;
        if (c > 0)
            line.insert(static_cast<unsigned char>(c & 0xFF));
        break;
    }
    }
    return true;
}

void Console::confirmLine()
{
    std::string logText;
    std::string luaText;
    if (!line.confirm(logText, luaText))
        return;
    // Literal text: a % typed into the console is not a format.
    SystemLog::get().write("%s", logText.c_str());
    if (!luaText.empty() && LuaHost::instance)
        LuaHost::instance->runString(luaText.c_str());
}

void Console::drawConsole()
{
    if (!consoleOpen)
        return;

    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    if (background != 0)
        glCallList(background);

    // New log lines show at once; the view follows them when at the newest.
    const SystemLog& log = SystemLog::get();
    if (entries.logGrew(log))
        entries.rebuild(log);

    for (int i = 0; i < entries.filled(); ++i) {
        const ConsoleLine& e = entries.entry(i);
        consoleFont.drawLine(e.text, e.colour[0], e.colour[1], e.colour[2], 1, entryY(i));
    }
    consoleFont.drawLine("-|", textColour[0], textColour[1], textColour[2], 1, promptY());
    consoleFont.drawLine(line.text().c_str(), textColour[0], textColour[1], textColour[2],
                         CONSOLE_INPUT_X, promptY());

    float x = static_cast<float>(line.cursorX());
    float top = static_cast<float>(height - size - 7);
    float bottom = static_cast<float>(height - 2);
    glDisable(GL_TEXTURE_2D);
    glColor3f(1.0f, 0.0f, 0.0f);
    glBegin(GL_QUADS);
    glVertex2f(x, bottom);
    glVertex2f(x, top);
    glVertex2f(x + 2.0f, top);
    glVertex2f(x + 2.0f, bottom);
    glEnd();
    glColor3f(1.0f, 1.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
}
