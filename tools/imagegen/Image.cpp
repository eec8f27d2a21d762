// Setting pixels of a picture and writing it as a TGA file.
#include "Image.h"

#include <algorithm>
#include <cstdio>

namespace {
uint8_t toByte(float v)
{
    v = std::min(1.0f, std::max(0.0f, v));
    return uint8_t(v * 255.0f + 0.5f);
}
} // namespace

void Image::set(int x, int y, float r, float g, float b, float a)
{
    if (x < 0 || y < 0 || x >= width || y >= height)
        return;
    uint8_t* p = at(x, y);
    p[0] = toByte(r);
    p[1] = toByte(g);
    p[2] = toByte(b);
    if (channels == 4)
        p[3] = toByte(a);
}

void Image::blend(int x, int y, float r, float g, float b, float a)
{
    if (x < 0 || y < 0 || x >= width || y >= height)
        return;
    uint8_t* p = at(x, y);
    float k = std::min(1.0f, std::max(0.0f, a));
    p[0] = toByte(p[0] / 255.0f * (1 - k) + r * k);
    p[1] = toByte(p[1] / 255.0f * (1 - k) + g * k);
    p[2] = toByte(p[2] / 255.0f * (1 - k) + b * k);
    if (channels == 4)
        p[3] = std::max(p[3], toByte(k));
}

bool writeTga(const std::string& path, const Image& image, std::string* error)
{
    if (image.width <= 0 || image.height <= 0 || image.width > 65535 || image.height > 65535 ||
        (image.channels != 3 && image.channels != 4)) {
        *error = "bad image size for " + path;
        return false;
    }
    uint8_t header[18] = {};
    header[2] = 2;  // uncompressed true colour
    header[12] = uint8_t(image.width & 0xFF);
    header[13] = uint8_t(image.width >> 8);
    header[14] = uint8_t(image.height & 0xFF);
    header[15] = uint8_t(image.height >> 8);
    header[16] = uint8_t(image.channels * 8);
    // Origin top-left, top row first: the game's reader keeps file order and
    // everything it draws puts texture row 0 at the top.
    header[17] = uint8_t(0x20 | (image.channels == 4 ? 8 : 0));

    std::vector<uint8_t> body(image.pixels.size());
    const uint8_t* src = image.pixels.data();
    for (uint8_t* dst = body.data(); dst < body.data() + body.size(); src += image.channels, dst += image.channels) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
        if (image.channels == 4)
            dst[3] = src[3];
    }

    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        *error = "cannot write " + path;
        return false;
    }
    bool ok = std::fwrite(header, 1, sizeof header, f) == sizeof header &&
              std::fwrite(body.data(), 1, body.size(), f) == body.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok)
        *error = "short write to " + path;
    return ok;
}
