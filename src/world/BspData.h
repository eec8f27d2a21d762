#pragma once
// A level file read into memory in the program's frame, before any GL work.
#include <cstddef>
#include <cstdint>
#include "world/BoundingSphere.h"
#include "world/BspFormat.h"

// One level file read into memory and converted to the program's y-up frame,
// before any GL work and before it replaces the Renderer's level. Plain code:
// no GL, so it can be read, checked and measured on its own.
struct BspData {
    char* entities = nullptr;  // lump text plus a terminating NUL
    int32_t entityLength = 0;

    bsp::BspTexture* textures = nullptr;
    bsp::BspPlane* planes = nullptr;
    bsp::BspNode* nodes = nullptr;
    bsp::BspLeaf* leaves = nullptr;
    int32_t* leafFaces = nullptr;
    int32_t* leafBrushes = nullptr;
    bsp::BspBrush* brushes = nullptr;
    bsp::BspBrushSide* brushSides = nullptr;
    bsp::BspVertex* vertices = nullptr;
    int32_t* meshVertices = nullptr;
    bsp::BspFace* faces = nullptr;
    bsp::BspEffect* effects = nullptr;  // fog volumes, named by their shader
    uint8_t* lightmaps = nullptr;  // lightmapCount * kLightmapBytes

    int32_t textureCount = 0;
    int32_t planeCount = 0;
    int32_t nodeCount = 0;
    int32_t leafCount = 0;
    int32_t leafFaceCount = 0;
    int32_t leafBrushCount = 0;
    int32_t modelCount = 0;
    int32_t brushCount = 0;
    int32_t brushSideCount = 0;
    int32_t vertexCount = 0;
    int32_t meshVertexCount = 0;
    int32_t effectCount = 0;
    int32_t faceCount = 0;
    int32_t lightmapCount = 0;
    int32_t lightVolumeCount = 0;

    int32_t visClusterCount = 0;
    int32_t visBytesPerCluster = 0;
    uint8_t* visBits = nullptr;  // null when the file has no visibility

    BspData() = default;
    ~BspData() { release(); }
    BspData(const BspData&) = delete;
    BspData& operator=(const BspData&) = delete;

    void release();
};

// Why a read failed; the text names the problem for the log line.
enum class BspReadError { None, CannotOpen, NotIbsp, Corrupt };

// Reads the header and every lump, checking each lump against the file size,
// then converts planes, node and leaf corners and vertices to y-up. On failure
// `data` is left empty and `problem` holds a short description.
BspReadError readBspFile(const char* path, BspData& data, char* problem, size_t problemSize);

// Same from a buffer already in memory (tests, fuzzing).
BspReadError readBspBuffer(const uint8_t* bytes, size_t size, BspData& data, char* problem,
                           size_t problemSize);

// z-up file values to y-up: (x, y, z) becomes (x, z, -y); t is negated.
void convertPlane(bsp::BspPlane& plane);
void convertCorner(int32_t* corner);
void convertVertex(bsp::BspVertex& vertex);

// Sphere around the box with opposite corners a and b, integer halving.
BoundingSphere sphereAroundBox(const int32_t* a, const int32_t* b);
