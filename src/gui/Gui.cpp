// The GUI manager: loading its windows, their stacking order and the routing of mouse events.
#include "gui/Gui.h"

#include "gui/GuiPaint.h"

#include "platform/SystemLog.h"

#include <cstring>

void GUI::init()
{
    init("faktos.ttf");
}

void GUI::init(const char* fontFile)
{
    if (!font.initFont(kFontSize, fontFile))
        SystemLog::get().write(LOG_YELLOW "::GUI ERROR Font init failed");
    SDL_EnableUNICODE(1);
    if (SDL_EnableKeyRepeat(500, 30) != 0)
        SystemLog::get().write(LOG_YELLOW "::GUI ERROR SDL_EnableKeyRepeat Failed!");
}

bool GUI::loadFile(const char* path)
{
    std::vector<WindowBlock> blocks;
    if (!path || !readGuiFile(path, blocks))
        return false;
    return addWindows(blocks);
}

bool GUI::addWindows(const std::vector<WindowBlock>& blocks)
{
    if (blocks.size() > size_t(kMaxWindows - count))
        return false;
    for (const WindowBlock& block : blocks) {
        windows[count].build(block, &font);
        zOrder[count] = count;
        count += 1;
    }
    return true;
}

GuiWindow* GUI::findWindow(const char* name)
{
    int index = windowIndex(name);
    return index < count ? &windows[index] : nullptr;
}

int GUI::windowIndex(const char* name) const
{
    if (!name)
        return count;
    for (int i = 0; i < count; ++i) {
        if (std::strcmp(windows[i].record.name, name) == 0)
            return i;
    }
    return count;
}

int GUI::zPosition(const char* name) const
{
    const int index = windowIndex(name);
    for (int pos = 0; pos < count; ++pos) {
        if (zOrder[pos] == index)
            return pos;
    }
    return count;
}

void GUI::raise(int position)
{
    if (position < 0 || position >= count)
        return;
    const int window = zOrder[position];
    for (int pos = position; pos < count - 1; ++pos)
        zOrder[pos] = zOrder[pos + 1];
    zOrder[count - 1] = window;
}

GuiWindow* GUI::topWindow()
{
    return count > 0 ? &windows[zOrder[count - 1]] : nullptr;
}

void GUI::mouseEvent(const SDL_Event& event)
{
    if (event.type != SDL_MOUSEBUTTONDOWN && event.type != SDL_MOUSEBUTTONUP)
        return;
    if (count == 0)
        return;
    const SDL_MouseButtonEvent& button = event.button;
    const GuiPoint point = {float(button.x), float(button.y)};
    GuiWindow* top = topWindow();
    // Hidden windows take no part in hit testing.
    const bool inTop = top->visible && top->frame.contains(point);

    if (button.type == SDL_MOUSEBUTTONUP && button.button == SDL_BUTTON_LEFT) {
        mouseHeld = false;
        // The widget that took the press is told wherever the release is,
        // so drags end and a button moved off does not click.
        top->mouseButton(button, point);
        if (!inTop)
            top->focus = -1;
    } else if (inTop) {
        top->mouseButton(button, point);
    } else if (!mouseHeld) {
        // The highest shown window under the point comes to the top and
        // takes the event.
        for (int pos = count - 2; pos >= 0; --pos) {
            GuiWindow& window = windows[zOrder[pos]];
            if (window.visible && window.frame.contains(point)) {
                raise(pos);
                window.mouseButton(button, point);
                break;
            }
        }
    }
    if (button.type == SDL_MOUSEBUTTONDOWN && button.button == SDL_BUTTON_LEFT)
        mouseHeld = true;
}

void GUI::resetInput()
{
    mouseHeld = false;
    for (int i = 0; i < count; ++i)
        windows[i].resetInput();
}

void GUI::followPointer(GuiPoint pointer, float viewW, float viewH)
{
    for (int pos = 0; pos < count; ++pos)
        windows[zOrder[pos]].followPointer(pointer, viewW, viewH);
}

void GUI::drawAll(GuiPoint pointer)
{
    if (count == 0)
        return;
    const GuiPoint view = viewportSize();
    followPointer(pointer, view.x, view.y);
    for (int pos = 0; pos < count - 1; ++pos)
        windows[zOrder[pos]].draw(pointer, false);
    windows[zOrder[count - 1]].draw(pointer, true);
}
