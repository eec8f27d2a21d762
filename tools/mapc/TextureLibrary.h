#pragma once
// The compiler's knowledge of the level's texture names.
#include <map>
#include <string>
#include "ContentFlags.h"
#include "AlphaMask.h"
#include "Diagnostics.h"
#include "resources/ShaderScripts.h"
#include "resources/TgaReader.h"

class FileSystem;

namespace mapc {

// Width and height from a TGA, PNG or JPEG header; false when the bytes
// are none of these.
bool imageSize(const unsigned char* bytes, size_t size, int& width, int& height);

// What each texture name of a level means: shader-script surfaceparms when
// a script names it, else the tool texture rules; image size from the image
// found for it, else 64 x 64 (one warning per name).
class TextureLibrary {
public:
    // Reads every scripts/*.shader of the files (null: no search path).
    void load(const FileSystem* files, Diagnostics& diag);

    // Name as written in the source, without "textures/".
    const TextureTraits& traits(const std::string& name, Diagnostics& diag);
    // A full shader or texture path, as models name theirs.
    const TextureTraits& traitsOfPath(const std::string& path, Diagnostics& diag);

    // The alpha of the picture of a full shader path, which cuts holes in
    // the shadow of its faces ("surfaceparm alphashadow"): the shader's
    // drawn image, else its editor image; a picture without alpha is
    // opaque. False when no picture is found.
    bool shadowMask(const std::string& path, AlphaMask& mask) const;

    // The script of a full shader path; null when no script names it.
    const ShaderInfo* shaderOf(const std::string& path) const { return shaders.find(path.c_str()); }

private:
    bool findImage(const std::string& base, int& width, int& height) const;
    bool decodePicture(const std::string& base, TgaImage& image) const;
    bool meanColor(const std::string& base, double rgb[3]) const;

    const FileSystem* files = nullptr;
    ShaderLibrary shaders;
    std::map<std::string, TextureTraits> known;  // lower-case name
};

} // namespace mapc
