#pragma once
// Deterministic value noise for the painted textures.
#include <cmath>
#include <cstdint>

// Deterministic value noise, so every build paints the same pixels.
inline float hashNoise(int x, int y, uint32_t seed)
{
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return float(h & 0xFFFFFF) / float(0xFFFFFF);
}

// Smooth noise on a lattice of `cell` pixels that wraps every `period`
// cells, so textures tile.
inline float valueNoise(float x, float y, float cell, int period, uint32_t seed)
{
    float fx = x / cell, fy = y / cell;
    int x0 = int(std::floor(fx)), y0 = int(std::floor(fy));
    float tx = fx - float(x0), ty = fy - float(y0);
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    auto corner = [&](int cx, int cy) {
        return hashNoise(((cx % period) + period) % period, ((cy % period) + period) % period, seed);
    };
    float a = corner(x0, y0), b = corner(x0 + 1, y0);
    float c = corner(x0, y0 + 1), d = corner(x0 + 1, y0 + 1);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

// Several octaves of valueNoise for a texture `size` pixels wide.
inline float tiledNoise(float x, float y, int size, uint32_t seed)
{
    float sum = 0, weight = 0, amplitude = 1;
    for (int cell = size / 4; cell >= 2; cell /= 2, amplitude *= 0.5f) {
        sum += amplitude * valueNoise(x, y, float(cell), size / cell, seed + uint32_t(cell));
        weight += amplitude;
    }
    return weight > 0 ? sum / weight : 0;
}
