#pragma once
#include <map>
#include <string>
#include <vector>
#include "ContentFlags.h"
#include "Diagnostics.h"

namespace mapc {

// Folders searched in order for scripts/*.shader and texture images, as a
// game's base folder is laid out ("textures/NAME.tga", ".jpg", ".png").
class SearchPath {
public:
    void addFolder(const std::string& folder);
    bool empty() const { return folders.empty(); }

    // The first `limit` bytes of the first file found at the relative path.
    bool read(const std::string& path, std::string& out, size_t limit) const;
    // Relative paths of the files in `dir` ending with `suffix`, in name order.
    std::vector<std::string> list(const std::string& dir, const char* suffix) const;

private:
    std::vector<std::string> folders;
};

// Width and height from a TGA, PNG or JPEG header; false when the bytes
// are none of these.
bool imageSize(const std::string& bytes, int& width, int& height);

// What each texture name of a level means: shader-script surfaceparms when
// a script names it, else the tool texture rules; image size from the image
// found for it, else 64 x 64 (one warning per name).
class TextureLibrary {
public:
    // Reads every shader script on the path (warnings for damaged ones).
    void load(const SearchPath& path, Diagnostics& diag);

    // Name as written in the source, without "textures/".
    const TextureTraits& traits(const std::string& name, Diagnostics& diag);

private:
    struct Shader {
        std::vector<std::string> parms;
        std::string image;  // editor image or first stage image
    };
    void parseScript(const std::string& file, const std::string& text, Diagnostics& diag);
    bool findImage(const std::string& base, int& width, int& height) const;

    const SearchPath* path = nullptr;
    std::map<std::string, Shader> shaders;  // lower-case name
    std::map<std::string, TextureTraits> known;
};

} // namespace mapc
