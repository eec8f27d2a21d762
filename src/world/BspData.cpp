// Reading a level file into memory, every lump checked, and turning it into the y-up frame.
#include "world/BspData.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <new>

void BspData::release()
{
    delete[] entities;
    delete[] textures;
    delete[] planes;
    delete[] nodes;
    delete[] leaves;
    delete[] leafFaces;
    delete[] leafBrushes;
    delete[] brushes;
    delete[] brushSides;
    delete[] vertices;
    delete[] meshVertices;
    delete[] faces;
    delete[] effects;
    delete[] lightmaps;
    delete[] visBits;
    entities = nullptr;
    textures = nullptr;
    planes = nullptr;
    nodes = nullptr;
    leaves = nullptr;
    leafFaces = leafBrushes = meshVertices = nullptr;
    brushes = nullptr;
    brushSides = nullptr;
    vertices = nullptr;
    faces = nullptr;
    effects = nullptr;
    lightmaps = visBits = nullptr;
    entityLength = textureCount = planeCount = nodeCount = leafCount = 0;
    leafFaceCount = leafBrushCount = modelCount = brushCount = brushSideCount = 0;
    vertexCount = meshVertexCount = effectCount = faceCount = lightmapCount = 0;
    lightVolumeCount = visClusterCount = visBytesPerCluster = 0;
}

void convertPlane(bsp::BspPlane& plane)
{
    float y = plane.normal[1];
    plane.normal[1] = plane.normal[2];
    plane.normal[2] = -y;
}

void convertCorner(int32_t* corner)
{
    int32_t y = corner[1];
    corner[1] = corner[2];
    // Negated through unsigned so INT32_MIN in a bad file wraps instead of overflowing.
    corner[2] = int32_t(0u - uint32_t(y));
}

void convertVertex(bsp::BspVertex& vertex)
{
    float y = vertex.position[1];
    vertex.position[1] = vertex.position[2];
    vertex.position[2] = -y;
    vertex.texCoord[1] = -vertex.texCoord[1];
}

BoundingSphere sphereAroundBox(const int32_t* a, const int32_t* b)
{
    // 64-bit so extreme corners cannot overflow; same result as int halving.
    BoundingSphere sphere;
    float c[3];
    for (int i = 0; i < 3; i++)
        c[i] = float((int64_t(b[i]) - a[i]) / 2 + a[i]);
    sphere.center = Vector3(c[0], c[1], c[2]);
    Vector3 toCorner = Vector3(float(b[0]), float(b[1]), float(b[2])) - sphere.center;
    sphere.radius = toCorner.length();
    sphere.radiusSquared = sphere.radius * sphere.radius;
    return sphere;
}

namespace {

// Where the lumps come from: a file stream or a buffer in memory.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual bool readAt(int64_t offset, void* into, size_t length) = 0;
    int64_t size = 0;
};

class FileSource : public ByteSource {
public:
    explicit FileSource(const char* path) : stream(path, std::ios::binary)
    {
        if (!stream)
            return;
        stream.seekg(0, std::ios::end);
        size = stream.tellg();
        stream.seekg(0, std::ios::beg);
        if (size < 0)
            size = 0;
    }
    bool isOpen() const { return bool(stream.is_open()); }
    bool readAt(int64_t offset, void* into, size_t length) override
    {
        if (length == 0)
            return true;
        stream.clear();
        stream.seekg(offset, std::ios::beg);
        stream.read(static_cast<char*>(into), std::streamsize(length));
        return size_t(stream.gcount()) == length;
    }

private:
    std::ifstream stream;
};

class BufferSource : public ByteSource {
public:
    BufferSource(const uint8_t* bytes_, size_t size_) : bytes(bytes_) { size = int64_t(size_); }
    bool readAt(int64_t offset, void* into, size_t length) override
    {
        if (offset < 0 || offset > size || int64_t(length) > size - offset)
            return false;
        if (length)
            memcpy(into, bytes + offset, length);
        return true;
    }

private:
    const uint8_t* bytes;
};

const char* const kLumpNames[bsp::kLumpCount] = {
    "entities", "textures", "planes", "nodes", "leaves", "leaf faces", "leaf brushes",
    "models", "brushes", "brush sides", "vertices", "mesh vertices", "effects", "faces",
    "lightmaps", "light volumes", "visibility"};

const size_t kRecordSizes[bsp::kLumpCount] = {
    1, sizeof(bsp::BspTexture), sizeof(bsp::BspPlane), sizeof(bsp::BspNode),
    sizeof(bsp::BspLeaf), 4, 4, sizeof(bsp::BspModel), sizeof(bsp::BspBrush),
    sizeof(bsp::BspBrushSide), sizeof(bsp::BspVertex), 4, sizeof(bsp::BspEffect),
    sizeof(bsp::BspFace), size_t(bsp::kLightmapBytes), sizeof(bsp::BspLightVolume), 1};

// Reads one lump into a new array of count records (trailing bytes ignored).
template <typename T>
bool readLump(ByteSource& source, const bsp::BspLump& lump, size_t recordSize, T*& array,
              int32_t& count)
{
    count = int32_t(uint32_t(lump.length) / recordSize);
    size_t bytes = size_t(count) * recordSize;
    array = new (std::nothrow) T[bytes / sizeof(T) + (bytes == 0 ? 1 : 0)];
    if (!array)
        return false;
    return source.readAt(lump.offset, array, bytes);
}

BspReadError readFrom(ByteSource& source, BspData& data, char* problem, size_t problemSize)
{
    data.release();
    bsp::BspHeader header;
    if (source.size < 4 || !source.readAt(0, header.magic, 4) ||
        memcmp(header.magic, bsp::kMagic, 4) != 0) {
        snprintf(problem, problemSize, "not an IBSP file");
        return BspReadError::NotIbsp;
    }
    if (source.size < int64_t(sizeof(header)) || !source.readAt(0, &header, sizeof(header))) {
        snprintf(problem, problemSize, "header is truncated (%lld bytes)", (long long)source.size);
        return BspReadError::Corrupt;
    }
    for (int i = 0; i < bsp::kLumpCount; i++) {
        const bsp::BspLump& lump = header.lumps[i];
        if (lump.offset < 0 || lump.length < 0 ||
            int64_t(lump.offset) + lump.length > source.size) {
            snprintf(problem, problemSize,
                     "lump %d (%s) at offset %d, length %d lies outside the %lld byte file", i,
                     kLumpNames[i], lump.offset, lump.length, (long long)source.size);
            return BspReadError::Corrupt;
        }
    }

    const bsp::BspLump* lumps = header.lumps;
    bool ok = true;

    // Entities: the text plus its NUL.
    data.entityLength = lumps[bsp::LumpEntities].length;
    data.entities = new (std::nothrow) char[size_t(data.entityLength) + 1];
    ok = data.entities && source.readAt(lumps[bsp::LumpEntities].offset, data.entities,
                                        size_t(data.entityLength));
    if (data.entities)
        data.entities[ok ? data.entityLength : 0] = '\0';

    ok = ok && readLump(source, lumps[bsp::LumpTextures], kRecordSizes[1], data.textures,
                        data.textureCount);
    ok = ok && readLump(source, lumps[bsp::LumpPlanes], kRecordSizes[2], data.planes,
                        data.planeCount);
    ok = ok && readLump(source, lumps[bsp::LumpNodes], kRecordSizes[3], data.nodes,
                        data.nodeCount);
    ok = ok && readLump(source, lumps[bsp::LumpLeaves], kRecordSizes[4], data.leaves,
                        data.leafCount);
    ok = ok && readLump(source, lumps[bsp::LumpLeafFaces], kRecordSizes[5], data.leafFaces,
                        data.leafFaceCount);
    ok = ok && readLump(source, lumps[bsp::LumpLeafBrushes], kRecordSizes[6], data.leafBrushes,
                        data.leafBrushCount);
    // Models and light volumes are read for completeness and dropped.
    uint8_t* unused = nullptr;
    ok = ok && readLump(source, lumps[bsp::LumpModels], kRecordSizes[7], unused, data.modelCount);
    delete[] unused;
    unused = nullptr;
    ok = ok && readLump(source, lumps[bsp::LumpBrushes], kRecordSizes[8], data.brushes,
                        data.brushCount);
    ok = ok && readLump(source, lumps[bsp::LumpBrushSides], kRecordSizes[9], data.brushSides,
                        data.brushSideCount);
    ok = ok && readLump(source, lumps[bsp::LumpVertices], kRecordSizes[10], data.vertices,
                        data.vertexCount);
    ok = ok && readLump(source, lumps[bsp::LumpMeshVertices], kRecordSizes[11],
                        data.meshVertices, data.meshVertexCount);
    ok = ok && readLump(source, lumps[bsp::LumpEffects], kRecordSizes[12], data.effects,
                        data.effectCount);
    ok = ok && readLump(source, lumps[bsp::LumpFaces], kRecordSizes[13], data.faces,
                        data.faceCount);
    ok = ok && readLump(source, lumps[bsp::LumpLightmaps], kRecordSizes[14], data.lightmaps,
                        data.lightmapCount);
    ok = ok && readLump(source, lumps[bsp::LumpLightVolumes], kRecordSizes[15], unused,
                        data.lightVolumeCount);
    delete[] unused;
    if (!ok) {
        data.release();
        snprintf(problem, problemSize, "short read or out of memory while reading lumps");
        return BspReadError::Corrupt;
    }

    // Visibility: a head of two ints, then clusterCount rows of bits.
    const bsp::BspLump& vis = lumps[bsp::LumpVisibility];
    if (vis.length != 0) {
        bsp::BspVisHeader head;
        if (vis.length < int32_t(sizeof(head)) || !source.readAt(vis.offset, &head, sizeof(head))) {
            data.release();
            snprintf(problem, problemSize, "visibility lump of %d bytes has no header",
                     vis.length);
            return BspReadError::Corrupt;
        }
        int64_t bytes = int64_t(head.clusterCount) * head.bytesPerCluster;
        if (head.clusterCount < 0 || head.bytesPerCluster < 0 ||
            bytes > int64_t(vis.length) - int64_t(sizeof(head))) {
            data.release();
            snprintf(problem, problemSize,
                     "visibility of %d clusters x %d bytes does not fit its %d byte lump",
                     head.clusterCount, head.bytesPerCluster, vis.length);
            return BspReadError::Corrupt;
        }
        data.visClusterCount = head.clusterCount;
        data.visBytesPerCluster = head.bytesPerCluster;
        data.visBits = new (std::nothrow) uint8_t[size_t(bytes) + 1];
        if (!data.visBits ||
            !source.readAt(int64_t(vis.offset) + int64_t(sizeof(head)), data.visBits,
                           size_t(bytes))) {
            data.release();
            snprintf(problem, problemSize, "short read of the visibility data");
            return BspReadError::Corrupt;
        }
    }

    // In place to y-up.
    for (int i = 0; i < data.planeCount; i++)
        convertPlane(data.planes[i]);
    for (int i = 0; i < data.nodeCount; i++) {
        convertCorner(data.nodes[i].mins);
        convertCorner(data.nodes[i].maxs);
    }
    for (int i = 0; i < data.leafCount; i++) {
        convertCorner(data.leaves[i].mins);
        convertCorner(data.leaves[i].maxs);
    }
    for (int i = 0; i < data.vertexCount; i++)
        convertVertex(data.vertices[i]);
    // Names are printed with %s: a name filling all 64 bytes is cut to 63.
    for (int i = 0; i < data.textureCount; i++)
        data.textures[i].name[sizeof(data.textures[i].name) - 1] = '\0';
    for (int i = 0; i < data.effectCount; i++)
        data.effects[i].name[sizeof(data.effects[i].name) - 1] = '\0';
    return BspReadError::None;
}

} // namespace

BspReadError readBspFile(const char* path, BspData& data, char* problem, size_t problemSize)
{
    data.release();
    FileSource source(path ? path : "");
    if (!path || !source.isOpen()) {
        snprintf(problem, problemSize, "file does not exist");
        return BspReadError::CannotOpen;
    }
    return readFrom(source, data, problem, problemSize);
}

BspReadError readBspBuffer(const uint8_t* bytes, size_t size, BspData& data, char* problem,
                           size_t problemSize)
{
    BufferSource source(bytes, bytes ? size : 0);
    return readFrom(source, data, problem, problemSize);
}
