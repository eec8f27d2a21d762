#pragma once

// The plain rules behind Font: atlas sizing, the advance width rule and line
// placement. No FreeType or GL here.

// Smallest power of two >= value, and at least 1.
int fontPowerOfTwo(int value);

// The measuring width of a glyph: bitmap left and width (pixels) are added
// to the 26.6 advance before the shift, so they count a 64th of their value.
int fontAdvanceWidth(int left, int width, long advance26_6);

// Top of line `index` of a printText block starting at y: lines are
// size * 1.5873016 pixels apart, truncated toward zero.
int fontLineTop(int y, int index, int size);
