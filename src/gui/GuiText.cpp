// Measuring and shortening widget texts with a font.
#include "gui/GuiText.h"

#include "resources/Font.h"

#include <cstdio>

int fontSizeOf(const Font* font)
{
    return font ? font->fontSize() : 0;
}

static int charWidth(const Font* font, char c)
{
    return font->advanceWidth(static_cast<unsigned char>(c));
}

int textWidth(const Font* font, const char* text)
{
    return font && text ? font->textWidth(text) : 0;
}

int textWidth(const Font* font, const std::string& text, int first, int last)
{
    if (!font)
        return 0;
    if (first < 0)
        first = 0;
    if (last > int(text.size()))
        last = int(text.size());
    int total = 0;
    for (int i = first; i < last; ++i)
        total += charWidth(font, text[i]);
    return total;
}

void fitText(int boxHeight, int availableWidth, const Font* font, GuiPoint& position,
             std::string& text, bool centreHorizontally)
{
    // In float: record sizes come from the file and may be extreme.
    position.y += (float(boxHeight) - float(fontSizeOf(font))) * 0.5f;

    // The width is kept up to date character by character, so a long text
    // costs one pass, not one measure per character removed.
    int width = textWidth(font, text, 0, int(text.size()));
    if (font && width > availableWidth && text.size() >= 2) {
        size_t n = text.size();
        width -= charWidth(font, text[n - 2]) + charWidth(font, text[n - 1]);
        text[n - 2] = '.';
        text[n - 1] = '.';
        const int dot = charWidth(font, '.');
        width += 2 * dot;
        while (width > availableWidth && text.size() > 2) {
            text.pop_back();
            width -= dot;
            char& c = text[text.size() - 2];
            width += dot - charWidth(font, c);
            c = '.';
        }
    }
    if (centreHorizontally)
        position.x += (float(availableWidth) - float(width)) * 0.5f;
}

void readColours(const char* text, const char* pattern, GuiColour* const* colours, int count)
{
    const int kMaxNumbers = 24;
    float v[kMaxNumbers] = {};
    if (text) {
        // The pattern decides how many are read; unused targets are harmless.
        std::sscanf(text, pattern, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7],
                    &v[8], &v[9], &v[10], &v[11], &v[12], &v[13], &v[14], &v[15], &v[16],
                    &v[17], &v[18], &v[19], &v[20], &v[21], &v[22], &v[23]);
    }
    for (int i = 0; i < count && i * 4 + 3 < kMaxNumbers; ++i) {
        const float* c = v + i * 4;
        GuiColour& out = *colours[i];
        out.r = c[0];
        out.g = c[1];
        out.b = c[2];
        // A final RGB group has no fourth number; its neighbour would be
        // past the pattern and stays 0.
        out.a = c[3];
    }
}
