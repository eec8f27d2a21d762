#include "resources/FontText.h"

#include <cstdio>
#include <cstring>

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

const char* fontSkipColourPrefix(const char* text, float* r, float* g, float* b)
{
    if (!text || text[0] != '\x01')
        return text;
    // The numbers are short; a marker further away is not a prefix.
    size_t scan = strnlen(text + 1, 48);
    const char* close = static_cast<const char*>(std::memchr(text + 1, '\x01', scan));
    if (!close)
        return text;
    char numbers[49];
    size_t length = size_t(close - (text + 1));
    std::memcpy(numbers, text + 1, length);
    numbers[length] = '\0';
    float cr, cg, cb;
    if (std::sscanf(numbers, "%f %f %f", &cr, &cg, &cb) != 3)
        return text;
    *r = cr;
    *g = cg;
    *b = cb;
    return close + 1;
}
