#pragma once
// The finished level's lumps and writing them as an IBSP file.
#include <cstdint>
#include <string>
#include <vector>
#include "world/BspFormat.h"

namespace mapc {

// Every lump of the finished level in file order and file frame (z-up).
struct LevelLumps {
    std::string entities;
    std::vector<bsp::BspTexture> textures;
    std::vector<bsp::BspPlane> planes;
    std::vector<bsp::BspNode> nodes;
    std::vector<bsp::BspLeaf> leaves;
    std::vector<int32_t> leafFaces;
    std::vector<int32_t> leafBrushes;
    std::vector<bsp::BspModel> models;
    std::vector<bsp::BspBrush> brushes;
    std::vector<bsp::BspBrushSide> brushSides;
    std::vector<bsp::BspVertex> vertices;
    std::vector<int32_t> meshVertices;
    std::vector<bsp::BspFace> faces;
    std::vector<uint8_t> lightmaps;
    std::vector<uint8_t> visibility;  // header and rows, empty when none
};

// A face record whose vertices and indices start at the current ends of
// their lumps; no effect, the given texture and type.
inline bsp::BspFace startFace(int32_t texture, int32_t type, const LevelLumps& out)
{
    bsp::BspFace f{};
    f.texture = texture;
    f.effect = -1;
    f.type = type;
    f.firstVertex = static_cast<int32_t>(out.vertices.size());
    f.firstMeshVertex = static_cast<int32_t>(out.meshVertices.size());
    return f;
}

// The file image: header, then the lumps 4-byte aligned.
std::vector<uint8_t> serializeLevel(const LevelLumps& lumps);

// False, with the lump named in `problem`, when a lump's offset or length
// in that layout would pass the file format's signed 32-bit fields.
bool lumpsFitFile(const uint64_t (&lengths)[bsp::kLumpCount], std::string& problem);
bool levelFitsFile(const LevelLumps& lumps, std::string& problem);

// Writes the image in one go; false when the file cannot be written or the
// level does not fit its file format.
bool writeLevel(const char* path, const LevelLumps& lumps);

} // namespace mapc
