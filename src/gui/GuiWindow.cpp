// A GUI window: building its widgets, moving them together and handing them mouse events.
#include "gui/GuiWindow.h"

#include "gui/GuiRecords.h"
#include "gui/GuiText.h"

#include <algorithm>
#include <cstring>

GuiWindow::~GuiWindow()
{
    release();
}

void GuiWindow::release()
{
    for (std::unique_ptr<GuiWidget>& widget : widgets) {
        widget->release();
        widget.reset();
    }
    widgets.clear();
    title.clear();
}

void GuiWindow::build(const WindowBlock& block, Font* font)
{
    release();
    record = block.record;
    const float w = float(record.width), h = float(record.height);
    const float bar = float(gui::kTitleBarHeight);
    frame = {0, -bar, w, h};
    titleBar = {0, -bar, w, 0};
    position = {0, 0};
    this->font = font;
    focus = -1;
    pressed = -1;
    dragging = false;

    title = record.title;
    if (!title.empty()) {
        titlePos = {3, -bar};
        fitText(gui::kTitleBarHeight, record.width, font, titlePos, title, false);
    }
    GuiColour* colours[] = {&backgroundColour, &titleColour, &borderColour, &titleTextColour};
    readColours(record.colours, gui::kWindowColourPattern, colours, 4);
    movable = (record.flags & gui::kWindowFixedFlag) == 0;

    for (const WidgetBlock& widgetBlock : block.widgets) {
        GuiWidget* widget = makeWidget(widgetBlock.record.type);
        if (!widget)
            continue;
        widget->load(widgetBlock, font);
        widgets.emplace_back(widget);
    }
    // Lowest on screen first: drawn first, hit-tested last.
    std::stable_sort(widgets.begin(), widgets.end(),
                     [](const std::unique_ptr<GuiWidget>& a, const std::unique_ptr<GuiWidget>& b) {
                         return a->rect.y0 > b->rect.y0;
                     });
    moveBy(float(record.x), float(record.y));
    visible = true;
}

void GuiWindow::moveBy(float dx, float dy)
{
    position.x += dx;
    position.y += dy;
    frame.moveBy(dx, dy);
    titleBar.moveBy(dx, dy);
    titlePos.x += dx;
    titlePos.y += dy;
    for (std::unique_ptr<GuiWidget>& widget : widgets)
        widget->moveBy(dx, dy);
}

int GuiWindow::widgetAt(GuiPoint point) const
{
    for (int i = int(widgets.size()) - 1; i >= 0; --i) {
        const GuiWidget& widget = *widgets[size_t(i)];
        if (widget.takesInput() && widget.rect.contains(point))
            return i;
    }
    return -1;
}

void GuiWindow::mouseButton(const SDL_MouseButtonEvent& event, GuiPoint point)
{
    if (event.type == SDL_MOUSEBUTTONDOWN) {
        if (event.button != SDL_BUTTON_LEFT)
            return;
        // A press on the title bar keeps the focus; only a movable window
        // is dragged by it.
        if (titleBar.contains(point)) {
            dragging = movable;
            dragPoint = point;
            pressed = -1;
            return;
        }
        const int oldFocus = focus;
        focus = widgetAt(point);
        pressed = focus;
        if (focus >= 0)
            widgets[size_t(focus)]->mouseButton(event, point);
        if (oldFocus >= 0 && oldFocus != focus && oldFocus < int(widgets.size()))
            widgets[size_t(oldFocus)]->collapse();
    } else if (event.type == SDL_MOUSEBUTTONUP) {
        if (event.button == SDL_BUTTON_LEFT) {
            // Cleared first: a click may show another screen, which resets this.
            const int target = pressed;
            pressed = -1;
            dragging = false;
            if (target >= 0 && target < int(widgets.size()))
                widgets[size_t(target)]->mouseButton(event, point);
        } else if (event.button == SDL_BUTTON_WHEELUP || event.button == SDL_BUTTON_WHEELDOWN) {
            if (GuiWidget* widget = focusedWidget())
                widget->mouseButton(event, point);
        }
    }
}

void GuiWindow::resetInput()
{
    if (GuiWidget* widget = focusedWidget())
        widget->collapse();
    focus = -1;
    pressed = -1;
    dragging = false;
}

void GuiWindow::followPointer(GuiPoint pointer, float viewW, float viewH)
{
    if (!visible)
        return;
    if (dragging && movable) {
        // Part of the title bar always stays on screen, so it can be grabbed again.
        const GuiPoint wanted = {pointer.x - dragPoint.x, pointer.y - dragPoint.y};
        const GuiPoint move = clampDrag(titleBar, wanted, viewW, viewH, 40);
        moveBy(move.x, move.y);
        dragPoint = pointer;
    }
    for (size_t i = 0; i < widgets.size(); ++i)
        widgets[i]->followPointer(int(i) == focus, pointer);
}

GuiWidget* GuiWindow::findWidget(const char* name) const
{
    if (!name)
        return nullptr;
    for (const std::unique_ptr<GuiWidget>& widget : widgets) {
        if (std::strcmp(widget->record.name, name) == 0)
            return widget.get();
    }
    return nullptr;
}

GuiPoint clampDrag(const GuiRect& titleBar, GuiPoint move, float viewW, float viewH, float keep)
{
    // Move first, then push back what went too far; a bar already outside
    // is pulled back in by the same rules.
    GuiRect moved = titleBar;
    moved.moveBy(move.x, move.y);
    const float barW = moved.width();
    if (keep > barW)
        keep = barW;
    GuiPoint fix;
    if (moved.x1 < keep)
        fix.x = keep - moved.x1;
    else if (moved.x0 > viewW - keep)
        fix.x = viewW - keep - moved.x0;
    if (moved.y0 < 0)
        fix.y = -moved.y0;
    else if (moved.y1 > viewH)
        fix.y = viewH - moved.y1;
    return {move.x + fix.x, move.y + fix.y};
}
