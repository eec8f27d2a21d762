#pragma once
// The readable source of gui.gui and its compiler: one statement per line,
// checked against the names the menu looks up, written as the binary
// records the game reads.
#include <string>
#include <vector>

#include "gui/GuiRecords.h"

struct SourceWidget {
    WidgetRecord record;
    std::string text;     // written as a text block when hasText
    std::string colours;  // written as a colour block when hasColours
    int line = 0;
};

struct SourceWindow {
    WindowRecord record;
    std::vector<SourceWidget> widgets;
    int line = 0;
};

struct GuiSource {
    std::vector<SourceWindow> windows;
    std::string error;  // "LINE: message" of the first fault
};

// Parses and checks a whole source text. False with source.error set on the
// first fault: an unknown statement or widget kind, a bad number, a name,
// title or window colour text of 64 bytes or more, a colour text that does
// not match its pattern, a duplicate name, or a window or widget the menu
// looks up that is missing or of the wrong kind.
bool parseGuiSource(const std::string& text, GuiSource& source);

// The gui.gui bytes for a parsed source.
std::vector<unsigned char> encodeGui(const GuiSource& source);
