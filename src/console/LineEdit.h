#pragma once
// The editing of one line of text that the console's input line and the
// GUI's edit box share. Plain code over the caller's own text and cursor.
#include <cstddef>
#include <string>

// A borrowed text and the index the next character goes before (0..size).
// Each step answers whether it changed the text or the cursor.
struct LineEdit {
    std::string& text;
    int& cursor;

    // A zero byte would end the text early wherever it is used as a C
    // string, so it is never stored; nor is anything past maxLength.
    bool insert(unsigned char c, size_t maxLength);
    bool backspace();  // the character before the cursor
    bool erase();      // the character at the cursor
    bool left();
    bool right();
    void home() { cursor = 0; }
    void end() { cursor = static_cast<int>(text.size()); }
};

// Keys a one-line field passes over although some bring a character: Tab,
// the backquote that toggles the console, and the shift, control and alt
// keys on their own.
bool lineEditIgnores(int keySymbol);
