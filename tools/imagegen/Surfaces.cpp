// Level surfaces. All tile seamlessly: the noise wraps with the texture.
#include "Noise.h"
#include "Painters.h"

#include <cmath>

// Square stone tiles with dark grout.
Image paintFloor()
{
    const int size = 128, tile = 32;
    Image img(size, size, 3);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            int tx = x / tile, ty = y / tile;
            float n = tiledNoise(float(x), float(y), size, 21);
            float tone = 0.42f + 0.08f * hashNoise(tx, ty, 3) + 0.18f * (n - 0.5f);
            int lx = x % tile, ly = y % tile;
            bool grout = lx < 1 || ly < 1;
            bool lit = lx == 1 || ly == 1;
            bool shade = lx == tile - 1 || ly == tile - 1;
            if (grout)
                tone = 0.12f;
            else if (lit)
                tone += 0.1f;
            else if (shade)
                tone -= 0.1f;
            img.set(x, y, tone * 1.02f, tone, tone * 0.92f);
        }
    }
    return img;
}

// Running-bond bricks: every other row shifted by half a brick.
Image paintWall()
{
    const int size = 128, bw = 32, bh = 16;
    Image img(size, size, 3);
    for (int y = 0; y < size; ++y) {
        int row = y / bh;
        int shift = (row % 2) * (bw / 2);
        for (int x = 0; x < size; ++x) {
            int sx = (x + shift) % size;
            int bx = sx / bw;
            int lx = sx % bw, ly = y % bh;
            float n = tiledNoise(float(x), float(y), size, 33);
            float v = 0.85f + 0.3f * (hashNoise(bx, row, 5) - 0.5f) + 0.25f * (n - 0.5f);
            float r = 0.55f * v, g = 0.3f * v, b = 0.22f * v;
            if (lx < 2 || ly < 2) {
                r = g = b = 0.35f + 0.1f * n;
            }
            img.set(x, y, r, g, b);
        }
    }
    return img;
}

// A bevelled strip with yellow and black warning stripes in the middle.
Image paintTrim()
{
    const int size = 64;
    Image img(size, size, 3);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            float n = tiledNoise(float(x), float(y), size, 44);
            float r, g, b;
            if (y >= 16 && y < 48) {
                bool yellow = ((x + y) / 8) % 2 == 0;
                r = yellow ? 0.85f : 0.1f;
                g = yellow ? 0.7f : 0.1f;
                b = yellow ? 0.1f : 0.1f;
            } else {
                float bevel = (y < 16) ? 0.6f + y / 40.0f : 1.0f - (y - 48) / 30.0f;
                r = g = b = 0.45f * bevel;
                b += 0.04f;
            }
            float grime = 0.85f + 0.3f * (n - 0.5f);
            img.set(x, y, r * grime, g * grime, b * grime);
        }
    }
    return img;
}

// Brushed plates with rivets in their corners.
Image paintMetal()
{
    const int size = 128, plate = 64;
    Image img(size, size, 3);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            int lx = x % plate, ly = y % plate;
            float brush = 0.06f * (hashNoise(0, y, 55) - 0.5f) + 0.04f * (hashNoise(x / 8, y, 56) - 0.5f);
            float v = 0.5f + brush + 0.1f * (tiledNoise(float(x), float(y), size, 57) - 0.5f);
            if (lx == 0 || ly == 0)
                v = 0.2f;
            else if (lx == 1 || ly == 1)
                v += 0.15f;
            for (int cy = 6; cy < plate; cy += plate - 12) {
                for (int cx = 6; cx < plate; cx += plate - 12) {
                    float d = std::hypot(lx - cx + 0.5f, ly - cy + 0.5f);
                    if (d < 3.0f)
                        v = 0.75f - 0.12f * (lx - cx + ly - cy);
                    else if (d < 3.8f)
                        v = 0.25f;
                }
            }
            img.set(x, y, v * 0.95f, v, v * 1.05f);
        }
    }
    return img;
}
