#pragma once
// The TGA decoder and the image it produces.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "resources/ImageLimits.h"

// Truevision TGA decoding: uncompressed 24/32-bit true colour, uncompressed
// 16-bit (5-5-5, widened by shifting only), run-length true colour (type 10)
// at 24/32 bits. Rows come out in file order, never flipped; the image
// descriptor is ignored. Pixels are RGB or RGBA with no row padding.
//
// Anything else, or anything that would read past the data or produce more
// or fewer pixels than width x height, is rejected: no image. So is a side
// past kMaxImageSide or a picture of more than maxBytes decoded.
struct TgaImage {
    int bytesPerPixel = 0;  // 3 or 4
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

// The program's only image decoder. It logs nothing: both calls return
// false, leave *out empty and fill *why (when given) with a short reason.
class TgaLoader {
public:
    static bool decode(const uint8_t* data, size_t size, TgaImage* out, const char** why = nullptr,
                       size_t maxBytes = kMaxImageBytes);
    static bool readFile(const char* path, TgaImage* out, const char** why = nullptr);
};
