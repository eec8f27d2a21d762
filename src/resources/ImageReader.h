#pragma once
// Decoding any picture format the game reads.
#include <cstddef>
#include <cstdint>

#include "resources/TgaReader.h"

// Decodes image bytes of any format the game reads into the same layout the
// TGA reader gives: RGB or RGBA, bottom row first (where texture t = 0 is).
// JPEG and PNG are told by their signatures, whatever the file is called;
// anything else is read as TGA. Sides past kMaxImageSide and pictures of
// more than maxBytes decoded are refused before any pixel is allocated. Any
// sign of damaged data (every corrupt-data warning of the JPEG library, a
// progressive JPEG of more than kMaxJpegScans scans) refuses the picture.
// Logs nothing: false with a short reason in *why.
constexpr int kMaxJpegScans = 100;

bool decodeImage(const uint8_t* data, size_t size, TgaImage* out, const char** why,
                 size_t maxBytes = kMaxImageBytes);
bool isJpeg(const uint8_t* data, size_t size);
bool isPng(const uint8_t* data, size_t size);
