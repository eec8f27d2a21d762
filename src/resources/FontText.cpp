// The font's plain arithmetic (atlas sizes, advances, line positions), apart from FreeType and GL.
#include "resources/FontText.h"

int fontPowerOfTwo(int value)
{
    int p = 1;
    while (p < value && p < (1 << 30))
        p <<= 1;
    return p;
}

int fontAdvanceWidth(int left, int width, long advance26_6)
{
    return int((long(left) + long(width) + advance26_6) >> 6);
}

int fontLineTop(int y, int index, int size)
{
    const float lineHeight = float(size) * 1.5873016f;
    return int(float(index) * lineHeight + float(y));
}
