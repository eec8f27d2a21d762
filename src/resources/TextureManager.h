#pragma once
// The process-wide cache of GL textures, one per picture name.
#include <string>

#include "resources/ShaderScripts.h"

struct TgaImage;

// The process-wide cache of OpenGL textures: a TGA file becomes a mipmapped
// texture once, and every later request with the same name gets the same
// handle. Textures live until process exit unless every user released them
// (a level releases what it asked for when it is freed). Callers bind
// handles but never delete them.
struct TextureEntry {
    unsigned handle;
    char name[64];  // as requested, cut to 63 characters, or "[Created]"
    int users;      // requests not yet released
    size_t bytes;   // decoded picture bytes it was made from (0 for created ones)
};

class TextureManager {
public:
    static const int kGrowStep = 100;
    static const int kNameLength = 63;
    // Decoded bytes all loaded pictures may hold together; a picture that
    // would pass it is refused with one line. Released pictures give theirs back.
    static constexpr size_t kPictureBudget = size_t(1) << 30;

    // Created on first use; its textures are deleted at process exit.
    static TextureManager& get();

    // On success writes the texture to *handle; on failure logs
    // "Texture not found" and leaves *handle untouched.
    bool loadTexture(const char* path, unsigned* handle, bool clampToEdge);
    // Uploads width x height RGB bytes (no row padding) as a trilinear
    // mipmapped texture. False only for null or empty input.
    bool createTexture(const unsigned char* rgb, int width, int height, unsigned* handle);

    // A level surface by its record name (below baseq3, no extension):
    // "baseq3/NAME.tga" first, cached under that name as loadTexture does;
    // then NAME.jpg and NAME.png; then the image of the shader called NAME.
    // The red "Texture not found" line only when every path failed (and
    // not at all when quietWhenMissing: the caller has another way out).
    bool loadSurfaceTexture(const char* name, unsigned* handle, bool quietWhenMissing = false);
    // A shader stage's picture by the path its script names (below baseq3;
    // the written extension may differ from the stored .tga, .jpg or .png),
    // clamped to its edges and without mipmaps where asked. A missing
    // picture gets a yellow line.
    bool loadStageTexture(const char* path, bool clampToEdge, bool mipmaps, unsigned* handle);
    // Uploads width x height RGBA bytes as a texture without mipmaps.
    bool createRgbaTexture(const unsigned char* rgba, int width, int height, bool clampToEdge,
                           unsigned* handle);
    // The shader called name, from every "baseq3/scripts/*.shader", read
    // once on first use (and again after archives were added). Null when
    // there is none.
    const ShaderInfo* findShader(const char* name);

    // One request of handle is over; the texture is deleted and its entry
    // removed when no request is left. Unknown handles are ignored.
    void releaseTexture(unsigned handle);

    // Another total than kPictureBudget (tests use a small one).
    void setPictureBudget(size_t bytes) { pictureBudget = bytes; }
    size_t picturesHeld() const;

    int count() const { return used; }
    int capacity() const { return allocated; }
    const TextureEntry* entry(int index) const;

    // Deletes every texture and frees the table (what exit does). The next
    // operation starts a fresh table and reads the shader scripts again.
    void releaseAll();

    ~TextureManager();

private:
    TextureManager();
    TextureManager(const TextureManager&) = delete;
    TextureManager& operator=(const TextureManager&) = delete;

    bool growIfFull();
    void appendEntry(unsigned handle, const char* name, size_t bytes = 0);
    bool findCached(const char* name, unsigned* handle);
    unsigned upload(const TgaImage& image, bool clampToEdge, bool mipmaps = true);
    // Reads and decodes one file of the game's file system; a missing file
    // is quiet, a damaged one gets a yellow line.
    bool readImage(const char* path, TgaImage* image);
    bool readFirstOf(const std::string& base, TgaImage* image, std::string* found);
    bool storeLoaded(const char* name, const char* from, const TgaImage& image, unsigned* handle);

    size_t pictureBudget = kPictureBudget;
    ShaderLibrary shaders;
    int shadersReadFrom = -1;  // archives there were when the scripts were read

    TextureEntry* entries = nullptr;
    int used = 0;
    int allocated = 0;
};
