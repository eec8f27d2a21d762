#pragma once
// Small helpers shared by the resource tests: hand-built TGA bytes, files,
// ImageMagick runs and a GL window.
#include <SDL/SDL.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace rt {

using Bytes = std::vector<uint8_t>;

// An 18-byte TGA header followed by `id` bytes of ID field and `data`.
inline Bytes tga(int type, int width, int height, int depth, const Bytes& data, int idLength = 0,
                 uint8_t descriptor = 0)
{
    Bytes b(18, 0);
    b[0] = uint8_t(idLength);
    b[2] = uint8_t(type);
    b[12] = uint8_t(width & 0xFF);
    b[13] = uint8_t(width >> 8);
    b[14] = uint8_t(height & 0xFF);
    b[15] = uint8_t(height >> 8);
    b[16] = uint8_t(depth);
    b[17] = descriptor;
    for (int i = 0; i < idLength; ++i)
        b.push_back(uint8_t('a' + i % 26));
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

inline bool writeFile(const std::string& path, const Bytes& bytes)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

inline Bytes readFile(const std::string& path)
{
    Bytes b;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return b;
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        b.insert(b.end(), chunk, chunk + n);
    std::fclose(f);
    return b;
}

inline bool run(const std::string& command)
{
    return std::system(command.c_str()) == 0;
}

// A window with an OpenGL context, for the whole test program.
inline bool openGlWindow(int width, int height)
{
    if (SDL_GetVideoSurface())
        return true;
    if (SDL_Init(SDL_INIT_VIDEO) != 0)
        return false;
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    return SDL_SetVideoMode(width, height, 32, SDL_OPENGL) != nullptr;
}

} // namespace rt
