#pragma once
// The model meshes the ASE and MD3 readers produce.
#include <cstddef>
#include <string>
#include <vector>
#include "MapParser.h"

namespace mapc {

// Triangles of one material of a model, in the model's own space.
struct ModelMesh {
    std::string shader;               // texture path as the game looks it up
    std::vector<PatchPoint> vertices; // position and texture coordinate
    std::vector<int> triangles;       // three indices each, clockwise seen from the front
};

struct Model {
    std::vector<ModelMesh> meshes;
    size_t triangleCount() const;
};

// Limits that keep a hostile model file cheap to refuse: for the whole
// model, all its surfaces or objects together.
constexpr int kMaxModelVertices = 1 << 20;
constexpr int kMaxModelTriangles = 1 << 20;

// ASCII scene export: every *GEOMOBJECT's mesh (vertices already in model
// space) with its *MATERIAL_REF's texture. False with the problem on a
// malformed or out-of-range file.
bool readAseModel(const char* text, size_t size, Model& out, std::string& problem);

// MD3: frame 0 of every surface, positions at 1/64 unit, its first shader.
bool readMd3Model(const unsigned char* bytes, size_t size, Model& out, std::string& problem);

// A material, bitmap or shader name as a texture path: '\' made '/', the
// part from "textures/" or "models/" on when the name holds a full path,
// no extension.
std::string modelTextureName(const std::string& raw);

} // namespace mapc
