// The one-line edit box: typing, caret moves and the visible part of the text.
#include "gui/GuiEditBox.h"

#include "console/LineEdit.h"

#include "gui/GuiRecords.h"
#include "gui/GuiText.h"

void GuiEditBox::load(const WidgetBlock& block, Font* font)
{
    GuiWidget::load(block, font);
    // The text line is centred vertically and starts 5 pixels in.
    const float size = float(fontSizeOf(font));
    const float top = rect.y0 + (float(record.height) - size) * 0.5f;
    textArea = {rect.x0 + 5.0f, top, rect.x1, top + size};
    caretX = toPixel(rect.x0) + 5;
    content.clear();
    shown.clear();
    caret = first = last = 0;
    GuiColour* colours[] = {&backgroundColour, &activeColour, &borderColour, &caretColour,
                            &textColour};
    readColours(colourSpec.c_str(), gui::kEditBoxColourPattern, colours, 5);
}

void GuiEditBox::release()
{
    shown.clear();
    shown.shrink_to_fit();
}

void GuiEditBox::setText(const std::string& newText)
{
    content = newText.substr(0, kMaxLength);
    caret = last = int(content.size());
    // The view starts over: an old first could lie past a shorter text.
    first = 0;
    updateView(true);
}

void GuiEditBox::scrolledLeft()
{
    if (caret < first + 1 && first > 0)
        first -= 1;
    updateView(false);
}

void GuiEditBox::keyPressed(const SDL_keysym& key)
{
    if (lineEditIgnores(key.sym))
        return;
    LineEdit line{content, caret};
    switch (key.sym) {
    case SDLK_LEFT:
        if (line.left())
            scrolledLeft();
        break;
    case SDLK_RIGHT:
        if (line.right()) {
            if (caret > last - 1 && last < int(content.size()))
                last += 1;
            updateView(true);
        }
        break;
    case SDLK_HOME:
        line.home();
        first = 0;
        updateView(false);
        break;
    case SDLK_END:
        line.end();
        last = caret;
        updateView(true);
        break;
    case SDLK_BACKSPACE:
        if (line.backspace())
            scrolledLeft();
        break;
    case SDLK_DELETE:
        if (line.erase())
            updateView(false);
        break;
    case SDLK_RETURN:
        returnPressed.emit(content, this);
        break;
    default:
        // Characters past 255 have no single byte of their own; inserting
        // their low byte would type a different character (or a zero).
        if (key.unicode <= 0xFF && line.insert(static_cast<unsigned char>(key.unicode), kMaxLength)) {
            last += 1;
            updateView(true);
        }
        break;
    }
}

void GuiEditBox::updateView(bool keepEnd)
{
    if (!font)
        return;
    const int length = int(content.size());
    // Indices are brought inside the content before anything is measured:
    // a deletion or a new text can leave them past its end.
    if (caret > length)
        caret = length;
    if (last > length)
        last = length;
    if (first > last)
        first = last;

    const float room = textArea.x1 - textArea.x0;
    int width = textWidth(font, content, first, last);
    while (float(width) > room && first < last) {
        if (keepEnd) {
            width -= textWidth(font, content, first, first + 1);
            first += 1;
        } else {
            width -= textWidth(font, content, last - 1, last);
            last -= 1;
        }
    }
    caretX = toPixel(textArea.x0) + textWidth(font, content, first, caret);
    shown.assign(content, size_t(first), size_t(last - first));
}

void GuiEditBox::moveBy(float dx, float dy)
{
    GuiWidget::moveBy(dx, dy);
    textArea.moveBy(dx, dy);
    caretX += toPixel(dx);
}
