#pragma once
// Screen pixels, origin at the top-left, y down.

struct GuiPoint {
    float x = 0;
    float y = 0;
};

struct GuiRect {
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // left, top, right, bottom

    // Strict: a point on an edge is outside. Every hit test uses this.
    bool contains(GuiPoint p) const { return x0 < p.x && p.x < x1 && y0 < p.y && p.y < y1; }
    void moveBy(float dx, float dy)
    {
        x0 += dx;
        x1 += dx;
        y0 += dy;
        y1 += dy;
    }
    float width() const { return x1 - x0; }
    float height() const { return y1 - y0; }
};

// RGBA; RGB colours leave a at 0. Components a colour text does not supply stay 0.
struct GuiColour {
    float r = 0, g = 0, b = 0, a = 0;
};

// Whole pixels, truncated toward zero; values beyond any screen are held
// at +-1e9 first, so damaged sizes from a file never overflow an int.
inline int toPixel(float v)
{
    if (!(v > -1e9f))  // also NaN
        return v != v ? 0 : -1000000000;
    if (v > 1e9f)
        return 1000000000;
    return int(v);
}
