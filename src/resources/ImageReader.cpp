// Decoding JPEG, PNG and TGA bytes into one pixel layout.
#include "resources/ImageReader.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

#include <jpeglib.h>
#include <jerror.h>
#include <png.h>

namespace {

bool fail(const char** why, const char* reason)
{
    if (why)
        *why = reason;
    return false;
}

// libjpeg reports fatal errors through a callback that must not return:
// jump back to the decoder, which then gives up cleanly with the reason.
struct JpegError {
    jpeg_error_mgr base;
    jmp_buf back;
    const char* volatile reason = "damaged JPEG data";
};

void jpegStop(j_common_ptr info, const char* reason)
{
    JpegError* error = reinterpret_cast<JpegError*>(info->err);
    error->reason = reason;
    longjmp(error->back, 1);
}

void jpegFatal(j_common_ptr info)
{
    jpegStop(info, "damaged JPEG data");
}

// Warnings are not printed. Every one about the data (cut short, bad codes,
// bytes out of place) is damage: decoding on would paint grey or garbage.
// Only those about side information are let pass.
void jpegMessage(j_common_ptr info, int level)
{
    if (level >= 0)
        return;
    int code = info->err->msg_code;
    if (code == JWRN_ADOBE_XFORM || code == JWRN_BOGUS_ICC || code == JWRN_JFIF_MAJOR)
        return;
    jpegStop(info, code == JWRN_JPEG_EOF ? "JPEG data cut short" : "corrupt JPEG data");
}

// Each scan of a progressive file passes over the whole picture again.
void jpegProgress(j_common_ptr info)
{
    if (info->is_decompressor && reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxJpegScans)
        jpegStop(info, "too many JPEG scans");
}

bool decodeJpeg(const uint8_t* data, size_t size, TgaImage* out, size_t maxBytes, const char** why)
{
    jpeg_decompress_struct info;
    JpegError error;
    jpeg_progress_mgr progress;
    info.err = jpeg_std_error(&error.base);
    error.base.error_exit = jpegFatal;
    error.base.emit_message = jpegMessage;
    if (setjmp(error.back)) {
        jpeg_destroy_decompress(&info);
        out->pixels.clear();
        return fail(why, error.reason);
    }
    jpeg_create_decompress(&info);
    progress.progress_monitor = jpegProgress;
    info.progress = &progress;
    // A progressive file holds every coefficient (two bytes each) until the
    // last scan: bounded like the picture itself.
    info.mem->max_memory_to_use = long(std::min(maxBytes, kMaxImageBytes) * 2 + (size_t(4) << 20));
    jpeg_mem_src(&info, data, (unsigned long)size);
    jpeg_read_header(&info, TRUE);
    if (info.num_components != 1 && info.num_components != 3) {
        jpeg_destroy_decompress(&info);
        return fail(why, "JPEG colour space not supported");
    }
    if (info.image_width == 0 || info.image_height == 0 || info.image_width > kMaxImageSide ||
        info.image_height > kMaxImageSide) {
        jpeg_destroy_decompress(&info);
        return fail(why, "JPEG size out of range");
    }
    if (size_t(info.image_width) * info.image_height * 3 > maxBytes) {
        jpeg_destroy_decompress(&info);
        return fail(why, kOverBudgetReason);
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    size_t width = info.output_width, height = info.output_height;
    if (info.output_components != 3 || width == 0 || height == 0) {
        jpeg_destroy_decompress(&info);
        return fail(why, "JPEG output not RGB");
    }
    // The allocator throws rather than jumps: caught here, as for PNG.
    try {
        out->pixels.assign(width * height * 3, 0);
    } catch (const std::bad_alloc&) {
        jpeg_destroy_decompress(&info);
        return fail(why, "out of memory");
    }
    size_t rowBytes = width * 3;
    while (info.output_scanline < info.output_height) {
        // Rows arrive top first; the image keeps the bottom row first.
        JSAMPROW row = out->pixels.data() + (height - 1 - info.output_scanline) * rowBytes;
        if (jpeg_read_scanlines(&info, &row, 1) != 1)
            break;
    }
    bool cut = info.output_scanline < info.output_height;
    if (!cut)
        jpeg_finish_decompress(&info);  // warnings about the last bytes still refuse the picture
    jpeg_destroy_decompress(&info);
    if (cut) {
        out->pixels.clear();
        return fail(why, "JPEG data cut short");
    }
    out->width = int(width);
    out->height = int(height);
    out->bytesPerPixel = 3;
    return true;
}

bool decodePng(const uint8_t* data, size_t size, TgaImage* out, size_t maxBytes, const char** why)
{
    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data, size))
        return fail(why, "damaged PNG header");
    if (image.width == 0 || image.height == 0 || image.width > kMaxImageSide ||
        image.height > kMaxImageSide) {
        png_image_free(&image);
        return fail(why, "PNG size out of range");
    }
    bool alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    int bytes = alpha ? 4 : 3;
    if (size_t(image.width) * image.height * size_t(bytes) > maxBytes) {
        png_image_free(&image);
        return fail(why, kOverBudgetReason);
    }
    try {
        out->pixels.assign(size_t(image.width) * image.height * size_t(bytes), 0);
    } catch (const std::bad_alloc&) {
        png_image_free(&image);
        return fail(why, "out of memory");
    }
    // A negative stride writes the rows bottom first.
    png_int_32 stride = -png_int_32(image.width) * bytes;
    if (!png_image_finish_read(&image, nullptr, out->pixels.data(), stride, nullptr)) {
        png_image_free(&image);
        out->pixels.clear();
        return fail(why, "damaged PNG data");
    }
    out->width = int(image.width);
    out->height = int(image.height);
    out->bytesPerPixel = bytes;
    return true;
}

} // namespace

bool isJpeg(const uint8_t* data, size_t size)
{
    return data && size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

bool isPng(const uint8_t* data, size_t size)
{
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return data && size >= 8 && std::memcmp(data, signature, 8) == 0;
}

bool decodeImage(const uint8_t* data, size_t size, TgaImage* out, const char** why, size_t maxBytes)
{
    if (!out)
        return fail(why, "no output");
    *out = TgaImage();
    if (!data || size == 0)
        return fail(why, "empty file");
    if (isJpeg(data, size))
        return decodeJpeg(data, size, out, maxBytes, why);
    if (isPng(data, size))
        return decodePng(data, size, out, maxBytes, why);
    return TgaLoader::decode(data, size, out, why, maxBytes);
}
