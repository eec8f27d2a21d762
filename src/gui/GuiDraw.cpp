// The GL layer of the GUI: every draw operation of the windows and widgets.
// The logic they draw from lives in the class files.
#include "gui/Gui.h"
#include "gui/GuiButton.h"
#include "gui/GuiCheckBox.h"
#include "gui/GuiComboBox.h"
#include "gui/GuiEditBox.h"
#include "gui/GuiFrame.h"
#include "gui/GuiLabel.h"
#include "gui/GuiListBox.h"
#include "gui/GuiPaint.h"
#include "gui/GuiText.h"

#include <GL/gl.h>
#include <algorithm>

void drawFilled(const GuiRect& r, const GuiColour& c)
{
    glColor4f(c.r, c.g, c.b, c.a);
    glBegin(GL_QUADS);
    glVertex2f(r.x0, r.y0);
    glVertex2f(r.x1, r.y0);
    glVertex2f(r.x1, r.y1);
    glVertex2f(r.x0, r.y1);
    glEnd();
}

void drawOutline(const GuiRect& r, const GuiColour& c)
{
    glColor4f(c.r, c.g, c.b, c.a);
    glBegin(GL_LINE_STRIP);
    glVertex2f(r.x0, r.y0);
    glVertex2f(r.x0, r.y1);
    glVertex2f(r.x1, r.y1);
    glVertex2f(r.x1, r.y0);
    glVertex2f(r.x0 - 1, r.y0);
    glEnd();
}

void queueText(Font* font, GuiPoint p, const GuiColour& c, const std::string& text)
{
    if (!font || text.empty())
        return;
    // A full queue is drawn here with texturing on; the font's own flush
    // would draw it with the widgets' untextured state.
    if (font->queuedCount() >= Font::kQueueFlushAt)
        flushText(font);
    font->printQueued(c.r, c.g, c.b, toPixel(p.x), toPixel(p.y), "%s", text.c_str());
}

void flushText(Font* font)
{
    glEnable(GL_TEXTURE_2D);
    if (font)
        font->flushQueue();
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
}

GuiPoint viewportSize()
{
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    return {float(viewport[2]), float(viewport[3])};
}

void GuiWindow::draw(GuiPoint pointer, bool isTop)
{
    if (!visible)
        return;
    glColor4f(1, 1, 1, 1);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    drawFilled(frame, backgroundColour);
    drawOutline(frame, borderColour);
    if (!title.empty()) {
        drawFilled(titleBar, titleColour);
        drawOutline(titleBar, borderColour);
        queueText(font, titlePos, titleTextColour, title);
    }
    for (size_t i = 0; i < widgets.size(); ++i) {
        GuiWidget& widget = *widgets[i];
        widget.draw(int(i) == focus, isTop && widget.rect.contains(pointer), pointer);
    }
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    if (font)
        font->flushQueue();
}

void GuiButton::draw(bool focused, bool hovered, GuiPoint point)
{
    drawFilled(rect, hovered ? hoverColour : fillColour);
    drawOutline(rect, borderColour);
    queueText(font, textPos, textColour, text);
}

void GuiCheckBox::draw(bool focused, bool hovered, GuiPoint point)
{
    if (hovered)
        drawFilled(rect, hoverColour);
    drawOutline(box, borderColour);
    if (checked) {
        glBegin(GL_LINES);
        glVertex2f(box.x0, box.y0);
        glVertex2f(box.x1, box.y1);
        glVertex2f(box.x0, box.y1);
        glVertex2f(box.x1, box.y0);
        glEnd();
    }
    queueText(font, textPos, textColour, text);
}

void GuiFrame::draw(bool focused, bool hovered, GuiPoint point)
{
    drawOutline(rect, outlineColour);
    queueText(font, captionPos, textColour, caption);
}

void GuiLabel::draw(bool focused, bool hovered, GuiPoint point)
{
    queueText(font, origin, textColour, text);
}

void GuiEditBox::draw(bool focused, bool hovered, GuiPoint point)
{
    drawFilled(rect, focused || hovered ? activeColour : backgroundColour);
    const float x = float(caretX);
    drawFilled({x, textArea.y0, x + 2, textArea.y1}, caretColour);
    drawOutline(rect, borderColour);
    queueText(font, {textArea.x0, textArea.y0}, textColour, shown);
}

void GuiScrollBar::draw(bool focused, bool hovered, GuiPoint point)
{
    drawFilled(rect, trackColour);
    drawFilled(thumb, thumbColour);
    drawFilled(startButton, thumbColour);
    drawFilled(endButton, thumbColour);
    drawOutline(rect, borderColour);
    drawOutline(thumb, borderColour);
    drawOutline(startButton, borderColour);
    drawOutline(endButton, borderColour);
}

void GuiListBox::draw(bool focused, bool hovered, GuiPoint point)
{
    const int first = vBar.position;
    const float rowH = float(rowHeight());
    drawFilled(rect, backgroundColour);

    // Selection band, then the band under the pointer.
    auto band = [&](int k) {
        drawFilled({area.x0, area.y0 + float(k) * rowH - 4, area.x1, area.y0 + float(k + 1) * rowH},
                   highlightColour);
    };
    if (font && selectedIndex >= 0 && first <= selectedIndex && selectedIndex <= first + rows)
        band(selectedIndex - first);
    if (font && hovered && area.contains(point)) {
        const int j = rowAt(point);
        if (j >= 0 && j < int(items.size()))
            band(j - first);
    }
    drawOutline(rect, borderColour);

    if (font) {
        // Only the rows in view are queued, so a long list costs no more.
        updateShown();
        const int shownRows = std::min(int(items.size()) - first, rows);
        for (int k = 0; k < shownRows; ++k) {
            const GuiPoint at = {float(toPixel(area.x0)), float(toPixel(area.y0)) + float(k) * rowH};
            queueText(font, at, textColour, items[size_t(first + k)].shown);
        }
        flushText(font);
    }
    hBar.draw(focused, hovered, point);
    vBar.draw(focused, hovered, point);
}

void GuiComboBox::draw(bool focused, bool hovered, GuiPoint point)
{
    // Text queued by earlier widgets goes under the box and its list.
    flushText(font);
    drawFilled(box, boxColour);
    drawFilled(arrow, arrowColour);
    drawOutline(box, borderColour);
    drawOutline(arrow, borderColour);
    queueText(font, textPos, textColour, shownText);
    if (focused && open)
        list.draw(focused, hovered, point);
}
