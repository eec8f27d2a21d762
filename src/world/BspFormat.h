#pragma once
// The IBSP level file's on-disk records, shared by the loader and the level compiler.
#include <cstdint>

// The IBSP level file as stored on disk: little-endian, z-up. Shared by the
// game's loader and the level compiler so both agree on every byte.

namespace bsp {

constexpr char kMagic[4] = {'I', 'B', 'S', 'P'};
constexpr int32_t kVersion = 46;
constexpr int kLumpCount = 17;
constexpr int kLightmapSize = 128;                      // texels per side
constexpr int kLightmapBytes = kLightmapSize * kLightmapSize * 3;
constexpr int kContentsSolid = 1;
constexpr int kContentsPlayerClip = 0x10000;  // stops players and enemies, not shots
constexpr int kSurfaceNonSolid = 0x4000;      // a face that collides with nothing

enum Lump {
    LumpEntities = 0,
    LumpTextures = 1,
    LumpPlanes = 2,
    LumpNodes = 3,
    LumpLeaves = 4,
    LumpLeafFaces = 5,
    LumpLeafBrushes = 6,
    LumpModels = 7,
    LumpBrushes = 8,
    LumpBrushSides = 9,
    LumpVertices = 10,
    LumpMeshVertices = 11,
    LumpEffects = 12,
    LumpFaces = 13,
    LumpLightmaps = 14,
    LumpLightVolumes = 15,
    LumpVisibility = 16,
};

enum FaceType { FacePolygon = 1, FacePatch = 2, FaceMesh = 3, FaceBillboard = 4 };

#pragma pack(push, 1)

struct BspLump {
    int32_t offset;
    int32_t length;
};

struct BspHeader {
    char magic[4];
    int32_t version;
    BspLump lumps[kLumpCount];
};

struct BspTexture {
    char name[64];     // NUL-terminated path below baseq3, no extension
    int32_t flags;
    int32_t contents;  // bit kContentsSolid: collides
};

struct BspPlane {
    float normal[3];
    float distance;    // in front when normal . p - distance >= 0
};

struct BspNode {
    int32_t plane;
    int32_t children[2];  // front first; negative c is leaf ~c
    int32_t mins[3];
    int32_t maxs[3];
};

struct BspLeaf {
    int32_t cluster;   // negative: in no cluster
    int32_t area;
    int32_t mins[3];
    int32_t maxs[3];
    int32_t firstLeafFace;
    int32_t leafFaceCount;
    int32_t firstLeafBrush;
    int32_t leafBrushCount;
};

struct BspModel {
    float mins[3];
    float maxs[3];
    int32_t firstFace;
    int32_t faceCount;
    int32_t firstBrush;
    int32_t brushCount;
};

struct BspBrush {
    int32_t firstSide;
    int32_t sideCount;
    int32_t texture;
};

struct BspBrushSide {
    int32_t plane;
    int32_t texture;
};

struct BspVertex {
    float position[3];
    float texCoord[2];
    float lightmapCoord[2];
    float normal[3];
    uint8_t color[4];
};

struct BspEffect {
    char name[64];
    int32_t brush;
    int32_t unknown;
};

struct BspFace {
    int32_t texture;
    int32_t effect;
    int32_t type;
    int32_t firstVertex;
    int32_t vertexCount;
    int32_t firstMeshVertex;
    int32_t meshVertexCount;
    int32_t lightmap;
    int32_t lightmapCorner[2];
    int32_t lightmapSize[2];
    float lightmapOrigin[3];
    float lightmapVecs[2][3];
    float normal[3];
    int32_t patchSize[2];
};

struct BspLightVolume {
    uint8_t ambient[3];
    uint8_t directional[3];
    uint8_t direction[2];
};

// Visibility lump head; clusterCount * bytesPerCluster bytes of bits follow.
struct BspVisHeader {
    int32_t clusterCount;
    int32_t bytesPerCluster;
};

#pragma pack(pop)

static_assert(sizeof(BspHeader) == 144, "header");
static_assert(sizeof(BspTexture) == 72, "texture");
static_assert(sizeof(BspPlane) == 16, "plane");
static_assert(sizeof(BspNode) == 36, "node");
static_assert(sizeof(BspLeaf) == 48, "leaf");
static_assert(sizeof(BspModel) == 40, "model");
static_assert(sizeof(BspBrush) == 12, "brush");
static_assert(sizeof(BspBrushSide) == 8, "brush side");
static_assert(sizeof(BspVertex) == 44, "vertex");
static_assert(sizeof(BspEffect) == 72, "effect");
static_assert(sizeof(BspFace) == 104, "face");
static_assert(sizeof(BspLightVolume) == 8, "light volume");

} // namespace bsp
