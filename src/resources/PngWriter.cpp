// Writing pixels to a PNG file through libpng.
#include "resources/PngWriter.h"

#include <png.h>

#include <cstdio>
#include <vector>

namespace {

// libpng reports a failure by jumping back to the setjmp: only plain
// values live across it.
bool writeRows(FILE* file, png_bytep* rows, int width, int height)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

bool writePngBottomUp(const char* path, const uint8_t* pixels, int width, int height)
{
    if (!path || !pixels || width <= 0 || height <= 0)
        return false;
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    size_t stride = size_t(width) * 3;
    for (int y = 0; y < height; ++y)
        rows[size_t(y)] = const_cast<png_bytep>(pixels + size_t(height - 1 - y) * stride);
    FILE* file = std::fopen(path, "wb");
    if (!file)
        return false;
    bool written = writeRows(file, rows.data(), width, height);
    if (std::fclose(file) != 0)
        written = false;
    if (!written)
        std::remove(path);
    return written;
}
