// Laying the finished lumps out as an IBSP file.
#include "BspWriter.h"
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace mapc {

namespace {

void appendLump(std::vector<uint8_t>& out, bsp::BspHeader& header, int lump, const void* data, size_t bytes)
{
    while (out.size() % 4) out.push_back(0);
    header.lumps[lump].offset = static_cast<int32_t>(out.size());
    header.lumps[lump].length = static_cast<int32_t>(bytes);
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (bytes) out.insert(out.end(), p, p + bytes);
}

template <typename T>
void appendVector(std::vector<uint8_t>& out, bsp::BspHeader& header, int lump, const std::vector<T>& v)
{
    appendLump(out, header, lump, v.data(), v.size() * sizeof(T));
}

template <typename T>
uint64_t bytesOf(const std::vector<T>& v)
{
    return uint64_t(v.size()) * sizeof(T);
}

} // namespace

std::vector<uint8_t> serializeLevel(const LevelLumps& l)
{
    bsp::BspHeader header{};
    std::memcpy(header.magic, bsp::kMagic, 4);
    header.version = bsp::kVersion;
    std::vector<uint8_t> out(sizeof(header), 0);
    // The entity text keeps its terminating NUL.
    appendLump(out, header, bsp::LumpEntities, l.entities.c_str(), l.entities.size() + 1);
    appendVector(out, header, bsp::LumpTextures, l.textures);
    appendVector(out, header, bsp::LumpPlanes, l.planes);
    appendVector(out, header, bsp::LumpNodes, l.nodes);
    appendVector(out, header, bsp::LumpLeaves, l.leaves);
    appendVector(out, header, bsp::LumpLeafFaces, l.leafFaces);
    appendVector(out, header, bsp::LumpLeafBrushes, l.leafBrushes);
    appendVector(out, header, bsp::LumpModels, l.models);
    appendVector(out, header, bsp::LumpBrushes, l.brushes);
    appendVector(out, header, bsp::LumpBrushSides, l.brushSides);
    appendVector(out, header, bsp::LumpVertices, l.vertices);
    appendVector(out, header, bsp::LumpMeshVertices, l.meshVertices);
    appendLump(out, header, bsp::LumpEffects, nullptr, 0);
    appendVector(out, header, bsp::LumpFaces, l.faces);
    appendVector(out, header, bsp::LumpLightmaps, l.lightmaps);
    appendLump(out, header, bsp::LumpLightVolumes, nullptr, 0);
    appendVector(out, header, bsp::LumpVisibility, l.visibility);
    std::memcpy(out.data(), &header, sizeof(header));
    return out;
}

bool lumpsFitFile(const uint64_t (&lengths)[bsp::kLumpCount], std::string& problem)
{
    static const char* const kNames[bsp::kLumpCount] = {
        "entities", "textures", "planes", "nodes", "leaves", "leaf faces", "leaf brushes", "models", "brushes",
        "brush sides", "vertices", "mesh vertices", "effects", "faces", "lightmaps", "light volumes", "visibility"};
    uint64_t offset = sizeof(bsp::BspHeader);
    for (int lump = 0; lump < bsp::kLumpCount; ++lump) {
        offset = (offset + 3) & ~uint64_t(3);
        if (offset > INT32_MAX || lengths[lump] > INT32_MAX - offset) {
            char text[160];
            std::snprintf(text, sizeof(text), "the %s lump (%llu bytes at %llu) passes the file's 2 GB limit",
                          kNames[lump], static_cast<unsigned long long>(lengths[lump]),
                          static_cast<unsigned long long>(offset));
            problem = text;
            return false;
        }
        offset += lengths[lump];
    }
    return true;
}

bool levelFitsFile(const LevelLumps& l, std::string& problem)
{
    const uint64_t lengths[bsp::kLumpCount] = {
        l.entities.size() + 1, bytesOf(l.textures), bytesOf(l.planes), bytesOf(l.nodes), bytesOf(l.leaves),
        bytesOf(l.leafFaces), bytesOf(l.leafBrushes), bytesOf(l.models), bytesOf(l.brushes), bytesOf(l.brushSides),
        bytesOf(l.vertices), bytesOf(l.meshVertices), 0, bytesOf(l.faces), bytesOf(l.lightmaps), 0,
        bytesOf(l.visibility)};
    return lumpsFitFile(lengths, problem);
}

bool writeLevel(const char* path, const LevelLumps& lumps)
{
    std::string problem;
    if (!levelFitsFile(lumps, problem)) return false;
    std::vector<uint8_t> image = serializeLevel(lumps);
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    bool ok = std::fwrite(image.data(), 1, image.size(), f) == image.size();
    ok = (std::fclose(f) == 0) && ok;
    return ok;
}

} // namespace mapc
