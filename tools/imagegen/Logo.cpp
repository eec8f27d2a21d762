// The menu background: a dark gradient with a faint grid and the name
// "HALVEX" in bevelled block letters from a small built-in bitmap font.
#include "Noise.h"
#include "Painters.h"

#include <cmath>
#include <cstring>

namespace {

struct BlockGlyph {
    char letter;
    const char* rows[7];  // 5 columns each, '#' filled
};

const BlockGlyph kGlyphs[] = {
    {'H', {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'V', {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'X', {"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"}},
};

const BlockGlyph* findGlyph(char c)
{
    for (const BlockGlyph& g : kGlyphs)
        if (g.letter == c)
            return &g;
    return nullptr;
}

// Draws one filled font cell as a bevelled block; the light comes from the
// top-left.
void drawBlock(Image& img, int x0, int y0, int cell, float r, float g, float b, float alpha)
{
    const int bevel = cell / 5;
    for (int y = 0; y < cell; ++y) {
        for (int x = 0; x < cell; ++x) {
            float light = 1.0f;
            if (x < bevel || y < bevel)
                light = 1.35f;
            else if (x >= cell - bevel || y >= cell - bevel)
                light = 0.6f;
            img.blend(x0 + x, y0 + y, r * light, g * light, b * light, alpha);
        }
    }
}

void drawWord(Image& img, const char* word, int cell, int top, float r, float g, float b, int shadow)
{
    int count = int(std::strlen(word));
    int advance = cell * 6;
    int left = (img.width - (count * advance - cell)) / 2;
    for (int i = 0; i < count; ++i) {
        const BlockGlyph* glyph = findGlyph(word[i]);
        if (!glyph)
            continue;
        for (int row = 0; row < 7; ++row) {
            for (int col = 0; col < 5; ++col) {
                if (glyph->rows[row][col] != '#')
                    continue;
                int x = left + i * advance + col * cell;
                int y = top + row * cell;
                if (shadow)
                    drawBlock(img, x + shadow, y + shadow, cell, 0, 0, 0, 0.55f);
                else
                    drawBlock(img, x, y, cell, r, g, b, 1.0f);
            }
        }
    }
}

} // namespace

Image paintLogo()
{
    const int size = 512;
    Image img(size, size, 3);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            float fy = float(y) / size;
            float n = tiledNoise(float(x), float(y), size, 11);
            float r = 0.05f + 0.08f * fy + 0.05f * n;
            float g = 0.07f + 0.10f * fy + 0.05f * n;
            float b = 0.12f + 0.18f * fy + 0.06f * n;
            if (x % 32 == 0 || y % 32 == 0) {
                r += 0.04f;
                g += 0.06f;
                b += 0.08f;
            }
            float dx = (x - size * 0.5f) / size, dy = (y - size * 0.5f) / size;
            float vignette = 1.0f - 1.4f * (dx * dx + dy * dy);
            img.set(x, y, r * vignette, g * vignette, b * vignette);
        }
    }
    const int cell = 12;
    const int top = 120;
    drawWord(img, "HALVEX", cell, top, 0, 0, 0, 5);
    drawWord(img, "HALVEX", cell, top, 0.95f, 0.55f, 0.12f, 0);
    // A thin rule under the name.
    for (int x = 96; x < size - 96; ++x)
        for (int y = top + 7 * cell + 14; y < top + 7 * cell + 17; ++y)
            img.blend(x, y, 0.95f, 0.55f, 0.12f, 0.8f);
    return img;
}
