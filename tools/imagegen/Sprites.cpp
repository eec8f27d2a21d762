// The small sprites: particle, crosshair, mouse pointer and the enemy skin.
#include "Noise.h"
#include "Painters.h"

#include <algorithm>
#include <cmath>

namespace {
float smoothstep(float e0, float e1, float v)
{
    float t = std::min(1.0f, std::max(0.0f, (v - e0) / (e1 - e0)));
    return t * t * (3 - 2 * t);
}
} // namespace

// White with a soft round alpha falloff; particles tint it with their colour.
Image paintParticle()
{
    const int size = 64;
    Image img(size, size, 4);
    float c = (size - 1) * 0.5f;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            float d = std::hypot(x - c, y - c) / (size * 0.5f);
            float a = 1.0f - smoothstep(0.0f, 1.0f, d);
            img.set(x, y, 1, 1, 1, a * a);
        }
    }
    return img;
}

// Four bars around a gap and a centre dot, with a dark outline for contrast.
Image paintCross()
{
    const int size = 64;
    Image img(size, size, 4);
    const float c = size * 0.5f;
    auto inside = [&](float px, float py) {
        float dx = std::fabs(px - c), dy = std::fabs(py - c);
        bool bar = (dx < 1.5f && dy > 6 && dy < 22) || (dy < 1.5f && dx > 6 && dx < 22);
        bool dot = dx < 1.5f && dy < 1.5f;
        return bar || dot;
    };
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            float px = x + 0.5f, py = y + 0.5f;
            if (inside(px, py)) {
                img.set(x, y, 1, 1, 1, 1);
                continue;
            }
            bool edge = false;
            for (int oy = -1; oy <= 1 && !edge; ++oy)
                for (int ox = -1; ox <= 1 && !edge; ++ox)
                    edge = inside(px + ox, py + oy);
            img.set(x, y, 0, 0, 0, edge ? 0.6f : 0.0f);
        }
    }
    return img;
}

// A classic pointer: its tip is the top-left pixel, which is the hot spot.
Image paintArrow()
{
    const int size = 32;
    Image img(size, size, 4);
    // The outline, clockwise from the tip.
    static const float shape[][2] = {{0, 0}, {17, 17}, {10.5f, 17}, {14.5f, 26}, {11, 27.5f}, {7, 18.5f}, {0, 24}};
    const int corners = int(sizeof shape / sizeof shape[0]);
    auto inArrow = [&](float x, float y) {
        bool in = false;
        for (int i = 0, j = corners - 1; i < corners; j = i++) {
            float xi = shape[i][0], yi = shape[i][1], xj = shape[j][0], yj = shape[j][1];
            if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi)
                in = !in;
        }
        return in;
    };
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            float px = x + 0.5f, py = y + 0.5f;
            if (!inArrow(px, py))
                continue;
            bool border = !inArrow(px - 1.0f, py) || !inArrow(px + 1.0f, py) || !inArrow(px, py - 1.0f) ||
                          !inArrow(px, py + 1.0f);
            if (border)
                img.set(x, y, 0.05f, 0.05f, 0.08f, 1);
            else
                img.set(x, y, 0.97f, 0.97f, 1.0f - py / 80.0f, 1);
        }
    }
    img.set(0, 0, 0.05f, 0.05f, 0.08f, 1);
    return img;
}

// The sphere skin: u runs round the equator, v pole to pole. Eight coloured
// segments with one bright stripe and an eye make the rotation visible.
Image paintEnemy()
{
    const int w = 256, h = 128;
    Image img(w, h, 3);
    for (int y = 0; y < h; ++y) {
        float v = (y + 0.5f) / h;
        float lat = std::fabs(v - 0.5f) * 2;  // 0 at the equator, 1 at the poles
        for (int x = 0; x < w; ++x) {
            float u = (x + 0.5f) / w;
            int segment = int(u * 8);
            float grain = 0.85f + 0.15f * tiledNoise(float(x), float(y), 128, 7);
            float r = (segment % 2 ? 0.55f : 0.8f) * grain;
            float g = (segment % 2 ? 0.08f : 0.18f) * grain;
            float b = (segment % 2 ? 0.1f : 0.05f) * grain;
            // Equator band with chevrons pointing along the spin.
            if (lat < 0.14f) {
                float chevron = std::fmod(u * 16 + lat * 2.5f, 1.0f);
                bool lit = chevron < 0.5f;
                r = lit ? 0.95f : 0.25f;
                g = lit ? 0.75f : 0.2f;
                b = lit ? 0.1f : 0.2f;
            }
            // One bright longitude stripe.
            if (std::fabs(u - 0.25f) < 0.012f) {
                r = 1.0f;
                g = 1.0f;
                b = 0.85f;
            }
            // The eye, on one side only.
            float ex = (u - 0.75f) * 4, ey = (v - 0.33f) * 4;
            float eye = std::hypot(ex, ey);
            if (eye < 0.35f) {
                float pupil = eye < 0.14f ? 0.0f : 1.0f;
                r = pupil;
                g = pupil;
                b = 0.9f * pupil + 0.1f;
            }
            float shade = 1.0f - 0.45f * lat * lat;
            img.set(x, y, r * shade, g * shade, b * shade);
        }
    }
    return img;
}
