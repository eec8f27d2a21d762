#pragma once

// The process-wide cache of OpenGL textures: a TGA file becomes a mipmapped
// texture once, and every later request with the same name gets the same
// handle. Textures live until process exit. Callers bind handles but never
// delete them.
struct TextureEntry {
    unsigned handle;
    char name[64];  // as requested, cut to 63 characters, or "[Created]"
};

class TextureManager {
public:
    static const int kGrowStep = 100;
    static const int kNameLength = 63;

    // Created on first use; its textures are deleted at process exit.
    static TextureManager& get();

    // On success writes the texture to *handle; on failure logs
    // "Texture not found" and leaves *handle untouched.
    bool loadTexture(const char* path, unsigned* handle, bool clampToEdge);
    // Uploads width x height RGB bytes (no row padding) as a trilinear
    // mipmapped texture. False only for null or empty input.
    bool createTexture(const unsigned char* rgb, int width, int height, unsigned* handle);

    int count() const { return used; }
    int capacity() const { return allocated; }
    const TextureEntry* entry(int index) const;

    // Deletes every texture and frees the table (what exit does). The next
    // operation starts a fresh table.
    void releaseAll();

    ~TextureManager();

private:
    TextureManager();
    TextureManager(const TextureManager&) = delete;
    TextureManager& operator=(const TextureManager&) = delete;

    bool growIfFull();
    void appendEntry(unsigned handle, const char* name);

    TextureEntry* entries = nullptr;
    int used = 0;
    int allocated = 0;
};
