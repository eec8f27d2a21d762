#include "resources/TextureManager.h"

#include "platform/SystemLog.h"
#include "resources/TgaReader.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// The manager lives in static storage and is never destroyed: exit only
// empties it, so an access during later teardown finds a usable, empty table.
alignas(TextureManager) unsigned char managerStorage[sizeof(TextureManager)];
TextureManager* manager = nullptr;

void releaseAtExit()
{
    if (manager)
        manager->releaseAll();
}

const char kCreatedName[] = "[Created]";

} // namespace

TextureManager& TextureManager::get()
{
    if (!manager) {
        manager = new (managerStorage) TextureManager();
        std::atexit(releaseAtExit);
    }
    return *manager;
}

// A fresh manager starts with room for 100 entries and says nothing.
TextureManager::TextureManager()
{
    entries = static_cast<TextureEntry*>(std::malloc(sizeof(TextureEntry) * size_t(kGrowStep)));
    allocated = entries ? kGrowStep : 0;
}

TextureManager::~TextureManager()
{
    releaseAll();
}

const TextureEntry* TextureManager::entry(int index) const
{
    if (index < 0 || index >= used)
        return nullptr;
    return &entries[index];
}

void TextureManager::releaseAll()
{
    for (int i = 0; i < used; ++i) {
        GLuint name = entries[i].handle;
        glDeleteTextures(1, &name);
    }
    std::free(entries);
    entries = nullptr;
    used = 0;
    allocated = 0;
}

// Grows by a fixed step, never geometrically; the table stays small.
bool TextureManager::growIfFull()
{
    if (entries && used < allocated)
        return true;
    int newCapacity = allocated + kGrowStep;
    void* grown = std::realloc(entries, sizeof(TextureEntry) * size_t(newCapacity));
    if (!grown) {
        SystemLog::get().write(LOG_RED "::TextureManager ERROR Out of memory extending texture array to %i",
                               newCapacity);
        return false;
    }
    entries = static_cast<TextureEntry*>(grown);
    allocated = newCapacity;
    SystemLog::get().write(LOG_CYAN "::TextureManager Extended texture array to %i", allocated);
    return true;
}

void TextureManager::appendEntry(unsigned handle, const char* name)
{
    TextureEntry& e = entries[used];
    e.handle = handle;
    size_t length = std::strlen(name);
    if (length > size_t(kNameLength)) {
        SystemLog::get().write(LOG_YELLOW "::TextureManager WARNING file name to large, truncating: %s", name);
        length = kNameLength;
    }
    std::memcpy(e.name, name, length);
    e.name[length] = '\0';
    ++used;
}

bool TextureManager::loadTexture(const char* path, unsigned* handle, bool clampToEdge)
{
    // Growing comes first, so even a cache hit can extend a full table.
    if (!growIfFull())
        return false;
    if (!handle) {
        SystemLog::get().write(LOG_RED "::TextureManager ERROR No handle given for %s", path ? path : "(null)");
        return false;
    }
    if (path) {
        for (int i = 0; i < used; ++i) {
            if (std::strcmp(entries[i].name, path) == 0) {
                *handle = entries[i].handle;
                return true;
            }
        }
    }

    // Only names with ".tga" somewhere in them are read at all.
    TgaImage image;
    if (!path || !std::strstr(path, ".tga") || !TgaLoader::readFile(path, &image)) {
        SystemLog::get().write(LOG_RED "::TextureManager ERROR Texture not found: %s", path ? path : "(null)");
        return false;
    }

    GLuint name = 0;
    glGenTextures(1, &name);
    *handle = name;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glBindTexture(GL_TEXTURE_2D, name);
    GLenum format = image.bytesPerPixel == 4 ? GL_RGBA : GL_RGB;
    gluBuild2DMipmaps(GL_TEXTURE_2D, image.bytesPerPixel, image.width, image.height, format,
                      GL_UNSIGNED_BYTE, image.pixels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    if (clampToEdge) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }

    appendEntry(name, path);
    SystemLog::get().write(LOG_WHITE "::TextureManager Texture Loaded: %s", path);
    return true;
}

bool TextureManager::createTexture(const unsigned char* rgb, int width, int height, unsigned* handle)
{
    if (!growIfFull())
        return false;
    if (!rgb || !handle || width <= 0 || height <= 0) {
        SystemLog::get().write(LOG_RED "::TextureManager ERROR Invalid pixel data for a created texture (%i x %i)",
                               width, height);
        return false;
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    *handle = name;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glBindTexture(GL_TEXTURE_2D, name);
    gluBuild2DMipmaps(GL_TEXTURE_2D, 3, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    // Lightmaps are smooth, so they get trilinear filtering.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);

    appendEntry(name, kCreatedName);
    SystemLog::get().write(LOG_WHITE "::TextureManager Texture Created");
    return true;
}
