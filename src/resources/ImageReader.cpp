#include "resources/ImageReader.h"

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
// jump back to the decoder, which then gives up cleanly.
struct JpegError {
    jpeg_error_mgr base;
    jmp_buf back;
    bool cutShort = false;
};

void jpegFatal(j_common_ptr info)
{
    longjmp(reinterpret_cast<JpegError*>(info->err)->back, 1);
}

// Warnings are not printed; a file that ends early is damage, not a picture.
void jpegMessage(j_common_ptr info, int level)
{
    JpegError* error = reinterpret_cast<JpegError*>(info->err);
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF)
        error->cutShort = true;
}

bool decodeJpeg(const uint8_t* data, size_t size, TgaImage* out, const char** why)
{
    jpeg_decompress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.base);
    error.base.error_exit = jpegFatal;
    error.base.emit_message = jpegMessage;
    if (setjmp(error.back)) {
        jpeg_destroy_decompress(&info);
        out->pixels.clear();
        return fail(why, "damaged JPEG data");
    }
    jpeg_create_decompress(&info);
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
    bool cut = error.cutShort || info.output_scanline < info.output_height;
    if (!cut)
        jpeg_finish_decompress(&info);
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

bool decodePng(const uint8_t* data, size_t size, TgaImage* out, const char** why)
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

bool decodeImage(const uint8_t* data, size_t size, TgaImage* out, const char** why)
{
    if (!out)
        return fail(why, "no output");
    *out = TgaImage();
    if (!data || size == 0)
        return fail(why, "empty file");
    if (isJpeg(data, size))
        return decodeJpeg(data, size, out, why);
    if (isPng(data, size))
        return decodePng(data, size, out, why);
    return TgaLoader::decode(data, size, out, why);
}
