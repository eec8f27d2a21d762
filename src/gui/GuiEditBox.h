#pragma once
// The one-line text field widget.
#include "gui/GuiWidget.h"

#include <sigc++/sigc++.h>
#include <string>

// A one-line text field. Keys arrive while it is the focused widget of the
// top window; only the part content[first, last) that fits is shown.
class GuiEditBox : public GuiWidget {
public:
    static constexpr int kMaxLength = 1024;  // typing past this inserts nothing

    void load(const WidgetBlock& block, Font* font) override;
    void release() override;
    void keyPressed(const SDL_keysym& key) override;
    void moveBy(float dx, float dy) override;
    void draw(bool focused, bool hovered, GuiPoint point) override;

    // Replaces the content and puts the caret at its end (cut at kMaxLength).
    void setText(const std::string& text);

    sigc::signal<void, const std::string&, GuiEditBox*> returnPressed;
    GuiRect textArea;     // left: where text starts; top, bottom: the text line
    std::string content;  // the edited text
    std::string shown;    // content[first, last)
    int caret = 0;        // index the next character goes before, 0..length
    int first = 0;
    int last = 0;
    int caretX = 0;       // screen x of the caret, whole pixels
    GuiColour backgroundColour, activeColour, borderColour, caretColour, textColour;

private:
    // Brings first, last, caretX and shown up to date; keepEnd drops
    // characters at the left (typing, moving right), else at the right.
    void updateView(bool keepEnd);
    // After the caret stepped left: the view follows it.
    void scrolledLeft();
};
