// What each texture name means: image size, surfaceparms, tool texture rules.
#include "TextureLibrary.h"
#include <algorithm>
#include <cstring>
#include <vector>
#include "resources/FileSystem.h"
#include "resources/ImageReader.h"

namespace mapc {

namespace {

std::string withoutExtension(const std::string& s)
{
    size_t dot = s.find_last_of('.');
    size_t slash = s.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return s;
    return s.substr(0, dot);
}

const char* const kImageExtensions[] = {".tga", ".jpg", ".jpeg", ".png"};

unsigned be16(const unsigned char* b) { return (b[0] << 8) | b[1]; }

} // namespace

bool imageSize(const unsigned char* u, size_t size, int& width, int& height)
{
    if (isPng(u, size)) {
        if (size < 24) return false;
        width = static_cast<int>((u[16] << 24) | (u[17] << 16) | (u[18] << 8) | u[19]);
        height = static_cast<int>((u[20] << 24) | (u[21] << 16) | (u[22] << 8) | u[23]);
        return width > 0 && height > 0;
    }
    if (isJpeg(u, size)) {
        // Walk the segments to the frame header.
        size_t at = 2;
        while (at + 9 < size) {
            if (u[at] != 0xff) return false;
            unsigned marker = u[at + 1];
            if (marker == 0xff) { ++at; continue; }
            bool frame = marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
            if (frame) {
                height = static_cast<int>(be16(u + at + 5));
                width = static_cast<int>(be16(u + at + 7));
                return width > 0 && height > 0;
            }
            size_t length = be16(u + at + 2);
            if (length < 2) return false;
            at += 2 + length;
        }
        return false;
    }
    // TGA has no signature: a plausible header.
    if (size < 18) return false;
    int type = u[2], bits = u[16];
    bool typeOk = type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
    bool bitsOk = bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32;
    width = u[12] | (u[13] << 8);
    height = u[14] | (u[15] << 8);
    return typeOk && bitsOk && width > 0 && height > 0;
}

void TextureLibrary::load(const FileSystem* fs, Diagnostics& diag)
{
    files = fs;
    shaders = ShaderLibrary();
    known.clear();
    if (!files) return;
    shaders.readAll(*files, "scripts/", [&diag](const char* script, const char* problem) {
        diag.warn(0, "shader script %s: %s; the shaders before it are kept", script, problem);
    });
}

bool TextureLibrary::findImage(const std::string& base, int& width, int& height) const
{
    if (!files || base.empty()) return false;
    std::string stem = withoutExtension(base);
    std::vector<unsigned char> bytes;
    for (const char* ext : kImageExtensions)
        if (files->readFile((stem + ext).c_str(), bytes) && imageSize(bytes.data(), bytes.size(), width, height))
            return true;
    return false;
}

bool TextureLibrary::decodePicture(const std::string& base, TgaImage& image) const
{
    if (!files || base.empty()) return false;
    const std::string stem = withoutExtension(base);
    std::vector<unsigned char> bytes;
    for (const char* ext : kImageExtensions) {
        if (!files->readFile((stem + ext).c_str(), bytes) || !decodeImage(bytes.data(), bytes.size(), &image, nullptr))
            continue;
        const size_t pixels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
        return pixels > 0 && image.pixels.size() >= pixels * static_cast<size_t>(image.bytesPerPixel);
    }
    return false;
}

// Mean colour of the picture, scaled so its largest channel is 1.
bool TextureLibrary::meanColor(const std::string& base, double rgb[3]) const
{
    TgaImage image;
    if (!decodePicture(base, image)) return false;
    const size_t pixels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    const size_t step = static_cast<size_t>(image.bytesPerPixel);
    double sum[3] = {0, 0, 0};
    for (size_t i = 0; i < pixels; ++i)
        for (int c = 0; c < 3; ++c) sum[c] += image.pixels[i * step + static_cast<size_t>(c)];
    const double most = std::max(sum[0], std::max(sum[1], sum[2]));
    if (most <= 0.0) return false;
    for (int c = 0; c < 3; ++c) rgb[c] = sum[c] / most;
    return true;
}

bool TextureLibrary::shadowMask(const std::string& path, AlphaMask& mask) const
{
    // The picture drawn (whose alpha test cuts the holes), else the editor's.
    TgaImage image;
    const ShaderInfo* shader = shaders.find(path.c_str());
    const bool found = (shader && (decodePicture(shader->image, image) || decodePicture(shader->editorImage, image))) ||
                       decodePicture(path, image);
    if (!found) return false;
    const size_t pixels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    mask.width = image.width;
    mask.height = image.height;
    mask.alpha.assign(pixels, 255);
    if (image.bytesPerPixel == 4)
        for (size_t i = 0; i < pixels; ++i) mask.alpha[i] = image.pixels[i * 4 + 3];
    return true;
}

const TextureTraits& TextureLibrary::traits(const std::string& name, Diagnostics& diag)
{
    return traitsOfPath("textures/" + name, diag);
}

const TextureTraits& TextureLibrary::traitsOfPath(const std::string& path, Diagnostics& diag)
{
    std::string key = FileSystem::lowerCase(path);
    auto found = known.find(key);
    if (found != known.end()) return found->second;

    // Tool names and warnings go by the name below "textures/".
    const std::string name = key.compare(0, 9, "textures/") == 0 ? path.substr(9) : path;
    TextureTraits t;
    std::string image = path;
    if (const ShaderInfo* shader = shaders.find(path.c_str())) {
        for (const std::string& parm : shader->surfaceParms) applySurfaceParm(parm.c_str(), t);
        std::copy(shader->sun, shader->sun + 6, t.sun);
        t.surfaceLight = shader->surfaceLight;
        t.twoSided = shader->cull == CullMode::None;
        t.skyLight = shader->skyLight;
        std::copy(shader->backSplash, shader->backSplash + 2, t.backSplash);
        // Glowing faces shine in the colour of their light image, else of their picture.
        if (t.surfaceLight > 0.0 || t.skyLight > 0.0)
            if (!meanColor(shader->lightImage, t.lightColor) && !meanColor(shader->editorImage, t.lightColor))
                meanColor(shader->image, t.lightColor);
        t.terrain = shader->terrain;
        t.invert = shader->invert;
        t.offset = shader->offset;
        t.lightmapBrightness = shader->lightmapBrightness;
        t.worldTexture = shader->worldTexture;
        std::memcpy(t.textureVectors, shader->textureVectors, sizeof(t.textureVectors));
        if (!shader->editorImage.empty()) image = shader->editorImage;
        else if (!shader->image.empty()) image = shader->image;
    } else {
        t = toolTextureTraits(name.c_str());
    }
    bool invisible = (t.flags & (kSurfNoDraw | kSurfSky)) != 0;
    if (!findImage(image, t.width, t.height) && !findImage(path, t.width, t.height)) {
        t.width = t.height = 64;
        if (!invisible && files)
            diag.warn(0, "no image for texture '%s' on the search path; taken as 64 x 64", name.c_str());
    }
    return known.emplace(key, t).first->second;
}

} // namespace mapc
