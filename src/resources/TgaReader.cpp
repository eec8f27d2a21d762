// Decoding TGA pictures, every read checked against the data.
#include "resources/TgaReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

const size_t kHeaderSize = 18;
const int kRunLengthType = 10;
const size_t kBlockBytes = 128 * 1024;  // a few rows, small enough to stay in cache

struct TgaHeader {
    int idLength;
    int colourMapType;
    int imageType;
    int width;
    int height;
    int depth;
};

bool fail(const char** why, const char* reason)
{
    if (why)
        *why = reason;
    return false;
}

int readU16(const uint8_t* p) { return p[0] | (p[1] << 8); }

bool parseHeader(const uint8_t* h, TgaHeader* hd, size_t maxBytes, const char** why)
{
    hd->idLength = h[0];
    hd->colourMapType = h[1];
    hd->imageType = h[2];
    hd->width = readU16(h + 12);
    hd->height = readU16(h + 14);
    hd->depth = h[16];
    // A colour map would sit before the pixels and is never skipped.
    if (hd->colourMapType != 0)
        return fail(why, "colour-mapped files are not supported");
    if (hd->width == 0 || hd->height == 0)
        return fail(why, "zero width or height");
    if (hd->width > kMaxImageSide || hd->height > kMaxImageSide)
        return fail(why, "TGA size out of range");
    if (hd->imageType == kRunLengthType) {
        if (hd->depth != 24 && hd->depth != 32)
            return fail(why, "run-length data must be 24 or 32 bits");
    } else if (hd->depth != 16 && hd->depth != 24 && hd->depth != 32) {
        return fail(why, "unsupported pixel depth");
    }
    if (size_t(hd->width) * size_t(hd->height) * size_t(hd->depth == 32 ? 4 : 3) > maxBytes)
        return fail(why, kOverBudgetReason);
    return true;
}

size_t pixelCount(const TgaHeader& hd) { return size_t(hd.width) * size_t(hd.height); }

int outputBytesPerPixel(const TgaHeader& hd) { return hd.depth == 32 ? 4 : 3; }

// Bytes of pixel data an uncompressed image needs after its ID field.
size_t rawDataSize(const TgaHeader& hd) { return pixelCount(hd) * size_t(hd.depth / 8); }

bool allocate(const TgaHeader& hd, TgaImage* out, const char** why)
{
    out->width = hd.width;
    out->height = hd.height;
    out->bytesPerPixel = outputBytesPerPixel(hd);
    try {
        out->pixels.assign(pixelCount(hd) * size_t(out->bytesPerPixel), 0);
    } catch (const std::bad_alloc&) {
        out->pixels.clear();
        return fail(why, "out of memory");
    }
    return true;
}

#if defined(__x86_64__)
// One 16-byte shuffle swaps five 3-byte or four 4-byte pixels; with 3-byte
// pixels the 16th byte is the next pixel's first, rewritten by the next
// step. Returns the pixels done; it stops while 16-byte loads and stores
// still fit.
__attribute__((target("ssse3"))) size_t copySwappedSsse3(uint8_t* dst, const uint8_t* src, size_t pixels, int bpp)
{
    const __m128i order = bpp == 4 ? _mm_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15)
                                   : _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    const size_t step = bpp == 4 ? 4 : 5;
    const size_t need = bpp == 4 ? 4 : 6;
    size_t i = 0;
    for (; pixels - i >= need; i += step) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * size_t(bpp)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i * size_t(bpp)), _mm_shuffle_epi8(v, order));
    }
    return i;
}
#endif

// Copies BGR(A) pixels as RGB(A); alpha stays where it is.
void copySwapped(uint8_t* dst, const uint8_t* src, size_t pixels, int bpp)
{
#if defined(__x86_64__)
    static const bool haveShuffle = __builtin_cpu_supports("ssse3");
    if (haveShuffle) {
        size_t done = copySwappedSsse3(dst, src, pixels, bpp);
        src += done * size_t(bpp);
        dst += done * size_t(bpp);
        pixels -= done;
    }
#endif
    if (bpp == 4) {
        for (size_t i = 0; i < pixels; ++i, src += 4, dst += 4) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
            dst[3] = src[3];
        }
        return;
    }
    for (size_t i = 0; i < pixels; ++i, src += 3, dst += 3) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
    }
}

// 1-5-5-5 little-endian words to RGB; the alpha bit is dropped and every
// channel widened by a shift only (31 becomes 248).
void widen16(const uint8_t* in, size_t pixels, uint8_t* out)
{
    for (size_t i = 0; i < pixels; ++i, in += 2, out += 3) {
        unsigned p = unsigned(in[0]) | (unsigned(in[1]) << 8);
        out[0] = uint8_t(((p >> 10) & 31) << 3);
        out[1] = uint8_t(((p >> 5) & 31) << 3);
        out[2] = uint8_t((p & 31) << 3);
    }
}

// Packets must fill the image exactly: a stream that runs short or would
// write past width x height pixels is rejected rather than patched up.
bool decodeRunLength(const uint8_t* in, size_t size, const TgaHeader& hd, uint8_t* out,
                     const char** why)
{
    const size_t p = size_t(hd.depth / 8);
    const size_t total = pixelCount(hd);
    const uint8_t* end = in + size;
    size_t done = 0;
    while (done < total) {
        if (in >= end)
            return fail(why, "run-length data end early");
        unsigned header = *in++;
        size_t n = (header & 0x7F) + 1;
        if (n > total - done)
            return fail(why, "run-length data overflow the image");
        if (header < 128) {
            if (size_t(end - in) < n * p)
                return fail(why, "run-length data end early");
            copySwapped(out, in, n, int(p));
            in += n * p;
            out += n * p;
        } else {
            if (size_t(end - in) < p)
                return fail(why, "run-length data end early");
            uint8_t px[4] = {in[2], in[1], in[0], p == 4 ? in[3] : uint8_t(0)};
            in += p;
            for (size_t i = 0; i < n; ++i, out += p)
                std::memcpy(out, px, p);
        }
        done += n;
    }
    return true;
}

// Rejects a run-length image whose claimed size no stream of this length
// could fill (a packet of 1 + p bytes yields at most 128 pixels), before
// anything is allocated for it.
bool plausibleRunLength(const TgaHeader& hd, size_t bodySize)
{
    size_t packetBytes = 1 + size_t(hd.depth / 8);
    return pixelCount(hd) <= (bodySize / packetBytes + 1) * 128;
}

// Decodes the pixel data that follows the header and ID field.
bool decodeBody(const TgaHeader& hd, const uint8_t* body, size_t bodySize, TgaImage* out,
                const char** why)
{
    if (hd.imageType == kRunLengthType) {
        if (!plausibleRunLength(hd, bodySize))
            return fail(why, "run-length data end early");
        if (!allocate(hd, out, why))
            return false;
        return decodeRunLength(body, bodySize, hd, out->pixels.data(), why);
    }
    if (bodySize < rawDataSize(hd))
        return fail(why, "file is truncated");
    if (!allocate(hd, out, why))
        return false;
    if (hd.depth == 16) {
        widen16(body, pixelCount(hd), out->pixels.data());
    } else {
        copySwapped(out->pixels.data(), body, pixelCount(hd), out->bytesPerPixel);
    }
    return true;
}

bool readSwappedRows(FILE* f, const TgaHeader& hd, TgaImage* out, const char** why)
{
    const size_t rowBytes = size_t(hd.width) * size_t(out->bytesPerPixel);
    const size_t rowsPerBlock = rowBytes >= kBlockBytes ? 1 : kBlockBytes / rowBytes;
    std::vector<uint8_t> block;
    try {
        block.resize(rowsPerBlock * rowBytes);
    } catch (const std::bad_alloc&) {
        return fail(why, "out of memory");
    }
    for (size_t row = 0; row < size_t(hd.height); row += rowsPerBlock) {
        size_t rows = std::min(rowsPerBlock, size_t(hd.height) - row);
        if (std::fread(block.data(), 1, rows * rowBytes, f) != rows * rowBytes)
            return fail(why, "file is truncated");
        copySwapped(&out->pixels[row * rowBytes], block.data(), rows * size_t(hd.width), out->bytesPerPixel);
    }
    return true;
}

void clearImage(TgaImage* out)
{
    out->bytesPerPixel = 0;
    out->width = 0;
    out->height = 0;
    out->pixels.clear();
    out->pixels.shrink_to_fit();
}

// Reads and decodes what follows the header and ID field of an open file.
bool readPixels(FILE* f, const TgaHeader& hd, size_t bodySize, TgaImage* out, const char** why)
{
    bool trueColour = hd.imageType != kRunLengthType && hd.depth != 16;
    if (trueColour) {
        if (bodySize < rawDataSize(hd))
            return fail(why, "file is truncated");
        return allocate(hd, out, why) && readSwappedRows(f, hd, out, why);
    }
    std::vector<uint8_t> body;
    try {
        body.resize(bodySize);
    } catch (const std::bad_alloc&) {
        return fail(why, "out of memory");
    }
    if (std::fread(body.data(), 1, bodySize, f) != bodySize)
        return fail(why, "file is truncated");
    return decodeBody(hd, body.data(), bodySize, out, why);
}

bool readOpenFile(FILE* f, TgaImage* out, const char** why)
{
    long fileSize = -1;
    if (std::fseek(f, 0, SEEK_END) == 0)
        fileSize = std::ftell(f);
    if (fileSize < long(kHeaderSize) || std::fseek(f, 0, SEEK_SET) != 0)
        return fail(why, "file is truncated");
    uint8_t header[kHeaderSize];
    if (std::fread(header, 1, kHeaderSize, f) != kHeaderSize)
        return fail(why, "file is truncated");
    TgaHeader hd;
    if (!parseHeader(header, &hd, kMaxImageBytes, why))
        return false;
    size_t offset = kHeaderSize + size_t(hd.idLength);
    if (size_t(fileSize) < offset || std::fseek(f, long(offset), SEEK_SET) != 0)
        return fail(why, "file is truncated");
    return readPixels(f, hd, size_t(fileSize) - offset, out, why);
}

} // namespace

bool TgaLoader::decode(const uint8_t* data, size_t size, TgaImage* out, const char** why, size_t maxBytes)
{
    if (!out)
        return fail(why, "no output");
    clearImage(out);
    if (!data || size < kHeaderSize)
        return fail(why, "file is truncated");
    TgaHeader hd;
    if (!parseHeader(data, &hd, maxBytes, why))
        return false;
    size_t offset = kHeaderSize + size_t(hd.idLength);
    if (size < offset)
        return fail(why, "file is truncated");
    if (!decodeBody(hd, data + offset, size - offset, out, why)) {
        clearImage(out);
        return false;
    }
    return true;
}

bool TgaLoader::readFile(const char* path, TgaImage* out, const char** why)
{
    if (!out)
        return fail(why, "no output");
    clearImage(out);
    if (!path)
        return fail(why, "no file name");
    FILE* f = std::fopen(path, "rb");
    if (!f)
        return fail(why, "cannot open file");
    bool ok = readOpenFile(f, out, why);
    std::fclose(f);
    if (!ok)
        clearImage(out);
    return ok;
}
