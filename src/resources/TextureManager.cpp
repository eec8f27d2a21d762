// The texture cache: loading pictures into GL textures once and sharing their handles.
#include "resources/TextureManager.h"

#include "platform/SystemLog.h"
#include "resources/FileSystem.h"
#include "resources/GameFiles.h"
#include "resources/ImageReader.h"
#include "resources/TgaReader.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

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
    shadersReadFrom = -1;  // the scripts are read afresh too
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

void TextureManager::appendEntry(unsigned handle, const char* name, size_t bytes)
{
    TextureEntry& e = entries[used];
    e.handle = handle;
    e.bytes = bytes;
    size_t length = std::strlen(name);
    if (length > size_t(kNameLength)) {
        SystemLog::get().write(LOG_YELLOW "::TextureManager WARNING file name to large, truncating: %s", name);
        length = kNameLength;
    }
    std::memcpy(e.name, name, length);
    e.name[length] = '\0';
    e.users = 1;
    ++used;
}

bool TextureManager::findCached(const char* name, unsigned* handle)
{
    for (int i = 0; i < used; ++i) {
        if (std::strcmp(entries[i].name, name) == 0) {
            *handle = entries[i].handle;
            entries[i].users++;
            return true;
        }
    }
    return false;
}

void TextureManager::releaseTexture(unsigned handle)
{
    for (int i = 0; i < used; ++i) {
        if (entries[i].handle != handle)
            continue;
        if (--entries[i].users > 0)
            return;
        GLuint name = handle;
        glDeleteTextures(1, &name);
        // Later entries move down one, keeping their order.
        std::memmove(&entries[i], &entries[i + 1], sizeof(TextureEntry) * size_t(used - i - 1));
        --used;
        return;
    }
}

bool TextureManager::readImage(const char* path, TgaImage* image)
{
    FileSystem& files = GameFiles::get();
    if (!files.exists(path))
        return false;
    std::vector<unsigned char> bytes;
    if (!files.readFile(path, bytes))
        return false;  // the file system said why
    const char* why = "";
    size_t held = picturesHeld();
    size_t left = pictureBudget > held ? pictureBudget - held : 0;
    if (!decodeImage(bytes.data(), bytes.size(), image, &why, std::min(left, kMaxImageBytes))) {
        if (left < kMaxImageBytes && std::strcmp(why, kOverBudgetReason) == 0)
            SystemLog::get().write(LOG_YELLOW "::TextureManager WARNING cannot read %s: loaded pictures hold %zu "
                                   "of their %zu bytes already", path, held, pictureBudget);
        else
            SystemLog::get().write(LOG_YELLOW "::TextureManager WARNING cannot read %s: %s", path, why);
        return false;
    }
    return true;
}

size_t TextureManager::picturesHeld() const
{
    size_t held = 0;
    for (int i = 0; i < used; ++i)
        held += entries[i].bytes;
    return held;
}

unsigned TextureManager::upload(const TgaImage& image, bool clampToEdge, bool mipmaps)
{
    GLuint name = 0;
    glGenTextures(1, &name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glBindTexture(GL_TEXTURE_2D, name);
    GLenum format = image.bytesPerPixel == 4 ? GL_RGBA : GL_RGB;
    gluBuild2DMipmaps(GL_TEXTURE_2D, image.bytesPerPixel, image.width, image.height, format,
                      GL_UNSIGNED_BYTE, image.pixels.data());
    // Without mipmaps the first level alone is sampled.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mipmaps ? GL_LINEAR_MIPMAP_NEAREST : GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    if (clampToEdge) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    return name;
}

bool TextureManager::storeLoaded(const char* name, const char* from, const TgaImage& image,
                                 unsigned* handle)
{
    *handle = upload(image, false);
    appendEntry(*handle, name, image.pixels.size());
    if (std::strcmp(name, from) == 0)
        SystemLog::get().write(LOG_WHITE "::TextureManager Texture Loaded: %s", name);
    else
        SystemLog::get().write(LOG_WHITE "::TextureManager Texture Loaded: %s from %s", name, from);
    return true;
}

const ShaderInfo* TextureManager::findShader(const char* name)
{
    if (shadersReadFrom != GameFiles::get().archiveCount()) {
        shadersReadFrom = GameFiles::get().archiveCount();
        shaders = ShaderLibrary();
        int scripts = shaders.readAll(GameFiles::get(), "baseq3/scripts", [](const char* script, const char* problem) {
            SystemLog::get().write(LOG_YELLOW "::TextureManager WARNING shader script %s: %s", script, problem);
        });
        if (scripts > 0)
            SystemLog::get().write(LOG_WHITE "::TextureManager %i shaders from %i scripts",
                                   int(shaders.count()), scripts);
    }
    return shaders.find(name);
}

// The picture file for a name without extension: .tga, .jpg, .png in turn.
bool TextureManager::readFirstOf(const std::string& base, TgaImage* image, std::string* found)
{
    for (const char* extension : {".tga", ".jpg", ".png"}) {
        std::string path = base + extension;
        if (readImage(path.c_str(), image)) {
            *found = path;
            return true;
        }
    }
    return false;
}

bool TextureManager::loadSurfaceTexture(const char* name, unsigned* handle, bool quietWhenMissing)
{
    if (!growIfFull())
        return false;
    if (!name || !handle)
        return false;
    std::string requested = std::string("baseq3/") + name + ".tga";
    if (findCached(requested.c_str(), handle))
        return true;

    TgaImage image;
    std::string found;
    std::string base = std::string("baseq3/") + name;
    if (readFirstOf(base, &image, &found))
        return storeLoaded(requested.c_str(), found.c_str(), image, handle);

    // A shader's picture usually names a file whose extension is not the
    // one stored (".tga" written, ".jpg" shipped).
    if (const ShaderInfo* shader = findShader(name)) {
        std::string picture = FileSystem::withoutExtension(shader->image);
        std::string clean;
        if (!picture.empty() && !FileSystem::cleanPath(("baseq3/" + picture).c_str(), clean))
            SystemLog::get().write(LOG_YELLOW "::TextureManager WARNING shader %s: picture path \"%.200s\" refused "
                                   "(absolute, \"..\" or too long)", name, shader->image.c_str());
        else if (!picture.empty() && readFirstOf("baseq3/" + picture, &image, &found))
            return storeLoaded(requested.c_str(), found.c_str(), image, handle);
    }
    if (!quietWhenMissing)
        SystemLog::get().write(LOG_RED "::TextureManager ERROR Texture not found: %s", requested.c_str());
    return false;
}

bool TextureManager::loadStageTexture(const char* path, bool clampToEdge, bool mipmaps, unsigned* handle)
{
    if (!growIfFull() || !path || !handle || !*path)
        return false;
    // The plain request shares its entry with loadSurfaceTexture's.
    std::string base = "baseq3/" + FileSystem::withoutExtension(path);
    std::string key = base + ".tga" + (clampToEdge ? "|clamp" : "") + (mipmaps ? "" : "|nomip");
    if (findCached(key.c_str(), handle))
        return true;
    TgaImage image;
    std::string found;
    if (!readFirstOf(base, &image, &found)) {
        SystemLog::get().write(LOG_YELLOW "::TextureManager WARNING stage picture not found: %s", path);
        return false;
    }
    *handle = upload(image, clampToEdge, mipmaps);
    appendEntry(*handle, key.c_str());
    SystemLog::get().write(LOG_WHITE "::TextureManager Texture Loaded: %s from %s", key.c_str(), found.c_str());
    return true;
}

bool TextureManager::createRgbaTexture(const unsigned char* rgba, int width, int height, bool clampToEdge,
                                       unsigned* handle)
{
    if (!growIfFull() || !rgba || !handle || width <= 0 || height <= 0)
        return false;
    GLuint name = 0;
    glGenTextures(1, &name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    GLint wrap = clampToEdge ? GL_CLAMP_TO_EDGE : GL_REPEAT;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
    *handle = name;
    appendEntry(name, kCreatedName);
    return true;
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
    if (path && findCached(path, handle))
        return true;

    // Only names with ".tga" somewhere in them are read at all; the bytes
    // come from a plain file or, failing that, from an archive.
    TgaImage image;
    if (!path || !std::strstr(path, ".tga") || !readImage(path, &image)) {
        SystemLog::get().write(LOG_RED "::TextureManager ERROR Texture not found: %s", path ? path : "(null)");
        return false;
    }
    *handle = upload(image, clampToEdge);
    appendEntry(*handle, path, image.pixels.size());
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
