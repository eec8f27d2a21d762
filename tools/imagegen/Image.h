#pragma once
// The picture the image generator paints into.
#include <cstdint>
#include <string>
#include <vector>

// An 8-bit picture held top row first, as it is seen.
struct Image {
    int width = 0;
    int height = 0;
    int channels = 3;  // 3 RGB or 4 RGBA
    std::vector<uint8_t> pixels;

    Image(int w, int h, int c) : width(w), height(h), channels(c), pixels(size_t(w) * size_t(h) * size_t(c), 0) {}

    uint8_t* at(int x, int y) { return &pixels[(size_t(y) * size_t(width) + size_t(x)) * size_t(channels)]; }
    void set(int x, int y, float r, float g, float b, float a = 1.0f);
    // Alpha-blends a colour over the pixel (alpha channel takes the maximum).
    void blend(int x, int y, float r, float g, float b, float a);
};

// Writes an uncompressed 24- or 32-bit TGA, origin top-left. False with
// a message in *error on failure.
bool writeTga(const std::string& path, const Image& image, std::string* error);
