#pragma once
// Text measuring, shortening and colour texts: the GL-free helpers every
// window and widget uses.
#include "gui/GuiGeometry.h"

#include <string>

class Font;

// Font size, or 0 without a font.
int fontSizeOf(const Font* font);

// Sum of the advance widths of the text's bytes; bytes >= 128 count 0, and
// no font measures 0.
int textWidth(const Font* font, const char* text);
// The same for text[first, last); an empty or reversed range measures 0.
int textWidth(const Font* font, const std::string& text, int first, int last);

// Centres the text vertically in a box of boxHeight, shortens it in place
// to availableWidth ending in "..", and centres it horizontally when asked.
// A text of fewer than two characters is never shortened.
void fitText(int boxHeight, int availableWidth, const Font* font, GuiPoint& position,
             std::string& text, bool centreHorizontally);

// Reads a colour text with one of the patterns of GuiRecords.h into the
// colours given, four numbers each, three for a pattern's final RGB group.
// Reading stops at the first number that does not match; the rest stay 0.
// A missing text (null) leaves every colour 0.
void readColours(const char* text, const char* pattern, GuiColour* const* colours, int count);
