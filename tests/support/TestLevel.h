#pragma once
// A small, valid IBSP level assembled in memory (file frame, z-up), which
// each test bends into the shape it needs before writing it out with the
// level compiler's own writer.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "BspWriter.h"
#include "world/BspFormat.h"

// The lumps themselves are the compiler's; the visibility is kept as fields
// so tests can bend it.
struct TestLevel : mapc::LevelLumps {
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
        entities = "{\n\"classname\" \"worldspawn\"\n}\n";
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
        std::memset(v.color, 255, sizeof(v.color));  // vertex-lit faces show their picture as it is
        vertices.push_back(v);
    }

    // The lumps as the level compiler's writer takes them.
    mapc::LevelLumps lumps() const
    {
        mapc::LevelLumps l = *this;
        l.models.resize(1);
        l.visibility.clear();
        if (hasVisibility) {
            bsp::BspVisHeader head{visClusters, visBytesPerCluster};
            const uint8_t* p = reinterpret_cast<const uint8_t*>(&head);
            l.visibility.assign(p, p + sizeof(head));
            l.visibility.insert(l.visibility.end(), visBits.begin(), visBits.end());
        }
        return l;
    }

    std::vector<uint8_t> bytes() const { return mapc::serializeLevel(lumps()); }

    bool write(const std::string& path) const { return mapc::writeLevel(path.c_str(), lumps()); }
};
