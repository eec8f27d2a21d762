#pragma once
// The console's one-line editor with its history; plain code, no GL.
#include "console/LineEdit.h"
#include "console/ConsoleView.h"

#include <string>

// Left edge of the input text; the prompt stands before it.
constexpr int CONSOLE_INPUT_X = 15;

// The console's one-line editor: the text being typed, the insertion cursor,
// the cursor's pixel position and the confirmed lines to walk back through.
class ConsoleInput {
public:
    void setMetrics(const ConsoleMetrics& m) { metrics = m; }

    // Inserts one byte at the cursor; a zero byte is never stored.
    void insert(unsigned char c) { edit().insert(c, std::string::npos); }
    void backspace() { edit().backspace(); }
    void erase() { edit().erase(); }  // the character at the cursor
    void left() { edit().left(); }
    void right() { edit().right(); }
    void home() { edit().home(); }
    void end() { edit().end(); }

    // Takes the confirmed line: logText is the line as it goes into the log
    // (with the white prefix when it had none), luaText what follows its
    // second 0x01 byte. False (and nothing taken) when the input is empty;
    // luaText is empty when the line has no second 0x01.
    bool confirm(std::string& logText, std::string& luaText);

    // Up and Down: the next older or newer confirmed line replaces the
    // input, the cursor at its end; newer than the newest is the line that
    // was being typed before the walk began.
    void olderLine();
    void newerLine();
    int historyCount() const { return historyFilled; }

    const std::string& text() const { return input; }
    int cursor() const { return cursorIndex; }
    // Pixel position of the cursor on the input line.
    int cursorX() const;

    static const int kHistorySize = 64;

private:
    LineEdit edit() { return {input, cursorIndex}; }
    void showStep();  // the line at historyStep into the input

    std::string input;
    // Confirmed lines as typed, a ring: the newest at historyNewest.
    std::string history[kHistorySize];
    int historyFilled = 0;
    int historyNewest = -1;
    int historyStep = 0;  // 0 at the typed line, k at the k-th newest
    std::string draft;    // the typed line, kept while walking
    int cursorIndex = 0;
    ConsoleMetrics metrics;
};
