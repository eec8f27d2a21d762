#pragma once
// Writing screenshots as PNG files.
#include <cstdint>

// Writes 8-bit RGB pixels to a PNG file through libpng. The pixels are
// rows of width * 3 bytes, bottom row first (as GL reads them back).
// False, with no file left behind, when the file cannot be written.
bool writePngBottomUp(const char* path, const uint8_t* pixels, int width, int height);
