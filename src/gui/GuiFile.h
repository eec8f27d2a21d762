#pragma once
// Reading gui.gui into plain records. Building windows from them is the
// GUI's job (Gui.cpp); this part only checks and splits the bytes.
#include "gui/GuiRecords.h"

#include <cstddef>
#include <string>
#include <vector>

// One widget block: the record and its two optional texts. A text is the
// block's bytes up to the first zero (all of them when there is none).
struct WidgetBlock {
    WidgetRecord record;
    std::string text;     // meaningful when record.hasText
    std::string colours;  // meaningful when record.hasColours
};

struct WindowBlock {
    WindowRecord record;
    std::vector<WidgetBlock> widgets;
};

// Parses a whole file image. False when the bytes end inside a block or a
// length is negative; then `windows` is left empty. A later window whose
// name repeats an earlier one is dropped with its widgets. Every widget
// block is kept, whatever its type code. A count or length can never claim
// more than the bytes left, so nothing is allocated for a false claim.
bool parseGuiFile(const unsigned char* data, size_t size, std::vector<WindowBlock>& windows);

// Reads the file whole and parses it. False when it cannot be read, is not
// a regular file (a device, a pipe) or is larger than any menu could be.
bool readGuiFile(const char* path, std::vector<WindowBlock>& windows);
