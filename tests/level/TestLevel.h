#pragma once
// A small, valid IBSP level assembled in memory (file frame, z-up), which
// each test bends into the shape it needs before writing it out.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "world/BspFormat.h"

struct TestLevel {
    std::string entities = "{\n\"classname\" \"worldspawn\"\n}\n";
    std::vector<bsp::BspTexture> textures;
    std::vector<bsp::BspPlane> planes;
    std::vector<bsp::BspNode> nodes;
    std::vector<bsp::BspLeaf> leaves;
    std::vector<int32_t> leafFaces;
    std::vector<int32_t> leafBrushes;
    std::vector<bsp::BspBrush> brushes;
    std::vector<bsp::BspBrushSide> brushSides;
    std::vector<bsp::BspVertex> vertices;
    std::vector<int32_t> meshVertices;
    std::vector<bsp::BspFace> faces;
    std::vector<uint8_t> lightmaps;
    bool hasVisibility = true;
    int32_t visClusters = 2;
    int32_t visBytesPerCluster = 1;
    std::vector<uint8_t> visBits{0x3, 0x3};

    // Two leaves split by the plane x = 0: leaf 0 in front (x >= 0), leaf 1
    // behind. Face 0 (polygon) is in both, face 1 (mesh) in leaf 0, face 2
    // (patch) in leaf 1. Each an upright triangle at file y = 0 (the plane
    // z = 0 in the program) between heights 50 and 90. The node's box is
    // larger than its leaves.
    TestLevel()
    {
        bsp::BspTexture texture{};
        strcpy(texture.name, "textures/test/wall");
        texture.contents = bsp::kContentsSolid;
        textures.push_back(texture);
        planes.push_back({{1, 0, 0}, 0});
        planes.push_back({{0, 0, 1}, 0});
        nodes.push_back({0, {-1, -2}, {-300, -300, -300}, {300, 300, 300}});
        leaves.push_back({0, 0, {0, -100, -100}, {100, 100, 100}, 0, 2, 0, 1});
        leaves.push_back({1, 0, {-100, -100, -100}, {0, 100, 100}, 2, 2, 0, 0});
        leafFaces = {0, 1, 0, 2};
        leafBrushes = {0};
        brushes.push_back({0, 1, 0});
        brushSides.push_back({1, 0});
        for (int f = 0; f < 3; f++) {
            float x = -40.0f + 40.0f * f;
            addVertex(x - 10, 0, 50);
            addVertex(x + 10, 0, 50);
            addVertex(x, 0, 90);
            bsp::BspFace face{};
            face.type = f == 0 ? bsp::FacePolygon : f == 1 ? bsp::FaceMesh : bsp::FacePatch;
            face.firstVertex = 3 * f;
            face.vertexCount = 3;
            face.firstMeshVertex = 3 * f;
            face.meshVertexCount = 3;
            face.lightmap = f == 1 ? 0 : -1;
            faces.push_back(face);
            meshVertices.insert(meshVertices.end(), {0, 1, 2});
        }
        lightmaps.assign(bsp::kLightmapBytes, 200);
    }

    void addVertex(float x, float y, float z)
    {
        bsp::BspVertex v{};
        v.position[0] = x;
        v.position[1] = y;
        v.position[2] = z;
        v.texCoord[1] = 0.25f;
        vertices.push_back(v);
    }

    template <typename T>
    static void append(std::vector<uint8_t>& out, bsp::BspHeader& header, int lump,
                       const T* data, size_t bytes)
    {
        header.lumps[lump].offset = int32_t(out.size());
        header.lumps[lump].length = int32_t(bytes);
        const uint8_t* p = reinterpret_cast<const uint8_t*>(data);
        out.insert(out.end(), p, p + bytes);
    }
    template <typename T>
    static void append(std::vector<uint8_t>& out, bsp::BspHeader& header, int lump,
                       const std::vector<T>& v)
    {
        append(out, header, lump, v.data(), v.size() * sizeof(T));
    }

    std::vector<uint8_t> bytes() const
    {
        std::vector<uint8_t> out(sizeof(bsp::BspHeader));
        bsp::BspHeader header{};
        memcpy(header.magic, bsp::kMagic, 4);
        header.version = bsp::kVersion;
        append(out, header, bsp::LumpEntities, entities.data(), entities.size());
        append(out, header, bsp::LumpTextures, textures);
        append(out, header, bsp::LumpPlanes, planes);
        append(out, header, bsp::LumpNodes, nodes);
        append(out, header, bsp::LumpLeaves, leaves);
        append(out, header, bsp::LumpLeafFaces, leafFaces);
        append(out, header, bsp::LumpLeafBrushes, leafBrushes);
        append(out, header, bsp::LumpModels, std::vector<bsp::BspModel>(1));
        append(out, header, bsp::LumpBrushes, brushes);
        append(out, header, bsp::LumpBrushSides, brushSides);
        append(out, header, bsp::LumpVertices, vertices);
        append(out, header, bsp::LumpMeshVertices, meshVertices);
        append(out, header, bsp::LumpEffects, std::vector<bsp::BspEffect>());
        append(out, header, bsp::LumpFaces, faces);
        append(out, header, bsp::LumpLightmaps, lightmaps);
        append(out, header, bsp::LumpLightVolumes, std::vector<bsp::BspLightVolume>(2));
        std::vector<uint8_t> vis;
        if (hasVisibility) {
            bsp::BspVisHeader head{visClusters, visBytesPerCluster};
            const uint8_t* p = reinterpret_cast<const uint8_t*>(&head);
            vis.assign(p, p + sizeof(head));
            vis.insert(vis.end(), visBits.begin(), visBits.end());
        }
        append(out, header, bsp::LumpVisibility, vis);
        memcpy(out.data(), &header, sizeof(header));
        return out;
    }

    bool write(const std::string& path) const
    {
        std::vector<uint8_t> data = bytes();
        FILE* file = fopen(path.c_str(), "wb");
        if (!file)
            return false;
        bool ok = fwrite(data.data(), 1, data.size(), file) == data.size();
        return fclose(file) == 0 && ok;
    }
};
