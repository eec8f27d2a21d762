#pragma once
#include "console/ConsoleView.h"

#include <string>

// Left edge of the input text; the prompt stands before it.
constexpr int CONSOLE_INPUT_X = 15;

// The console's one-line editor: the text being typed, the insertion cursor
// and the cursor's pixel position.
class ConsoleInput {
public:
    void setMetrics(const ConsoleMetrics& m) { metrics = m; updateCursorX(); }

    // Inserts one byte at the cursor; a zero byte is never stored.
    void insert(unsigned char c);
    void backspace();
    void erase();  // the character at the cursor
    void left();
    void right();
    void home();
    void end();

    // Takes the confirmed line: logText is the line as it goes into the log
    // (with the white prefix when it had none), luaText what follows its
    // second 0x01 byte. False (and nothing taken) when the input is empty;
    // luaText is empty when the line has no second 0x01.
    bool confirm(std::string& logText, std::string& luaText);

    const std::string& text() const { return input; }
    int cursor() const { return cursorIndex; }
    int cursorX() const { return cursorPixel; }

private:
    void updateCursorX();

    std::string input;
    int cursorIndex = 0;
    int cursorPixel = CONSOLE_INPUT_X;
    ConsoleMetrics metrics;
};
