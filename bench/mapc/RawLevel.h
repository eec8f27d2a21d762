#pragma once
// A level file read whole for the level comparison, ours or a reference
// compile: its lumps as records, and the tree, brush and sight queries.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "world/BspFormat.h"

// In the file's own (z-up) frame.
struct RawLevel {
    std::vector<uint8_t> bytes;
    std::string entities;
    const bsp::BspTexture* textures = nullptr;
    const bsp::BspPlane* planes = nullptr;
    const bsp::BspNode* nodes = nullptr;
    const bsp::BspLeaf* leaves = nullptr;
    const int32_t* leafBrushes = nullptr;
    const bsp::BspModel* models = nullptr;
    const bsp::BspBrush* brushes = nullptr;
    const bsp::BspBrushSide* sides = nullptr;
    const bsp::BspVertex* vertices = nullptr;
    const int32_t* meshVertices = nullptr;
    const bsp::BspFace* faces = nullptr;
    int counts[bsp::kLumpCount] = {};
    int clusters = 0, rowBytes = 0;
    const uint8_t* vis = nullptr;

    template <typename T>
    const T* lump(int i, int& count)
    {
        const bsp::BspHeader* h = reinterpret_cast<const bsp::BspHeader*>(bytes.data());
        int64_t off = h->lumps[i].offset, len = h->lumps[i].length;
        if (off < 0 || len < 0 || off + len > static_cast<int64_t>(bytes.size())) { count = 0; return nullptr; }
        count = static_cast<int>(len / static_cast<int64_t>(sizeof(T)));
        return reinterpret_cast<const T*>(bytes.data() + off);
    }

    bool load(const std::string& path)
    {
        FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) return false;
        std::fseek(f, 0, SEEK_END);
        long size = std::ftell(f);
        std::fseek(f, 0, SEEK_SET);
        bytes.resize(static_cast<size_t>(std::max(size, 0L)));
        bool ok = size >= static_cast<long>(sizeof(bsp::BspHeader)) && std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
        std::fclose(f);
        if (!ok) return false;
        int n = 0;
        const char* text = lump<char>(bsp::LumpEntities, n);
        entities.assign(text ? text : "", text ? static_cast<size_t>(n) : 0);
        textures = lump<bsp::BspTexture>(bsp::LumpTextures, counts[bsp::LumpTextures]);
        planes = lump<bsp::BspPlane>(bsp::LumpPlanes, counts[bsp::LumpPlanes]);
        nodes = lump<bsp::BspNode>(bsp::LumpNodes, counts[bsp::LumpNodes]);
        leaves = lump<bsp::BspLeaf>(bsp::LumpLeaves, counts[bsp::LumpLeaves]);
        leafBrushes = lump<int32_t>(bsp::LumpLeafBrushes, counts[bsp::LumpLeafBrushes]);
        models = lump<bsp::BspModel>(bsp::LumpModels, counts[bsp::LumpModels]);
        brushes = lump<bsp::BspBrush>(bsp::LumpBrushes, counts[bsp::LumpBrushes]);
        sides = lump<bsp::BspBrushSide>(bsp::LumpBrushSides, counts[bsp::LumpBrushSides]);
        vertices = lump<bsp::BspVertex>(bsp::LumpVertices, counts[bsp::LumpVertices]);
        meshVertices = lump<int32_t>(bsp::LumpMeshVertices, counts[bsp::LumpMeshVertices]);
        faces = lump<bsp::BspFace>(bsp::LumpFaces, counts[bsp::LumpFaces]);
        int visBytes = 0;
        const uint8_t* v = lump<uint8_t>(bsp::LumpVisibility, visBytes);
        if (v && visBytes >= 8) {
            std::memcpy(&clusters, v, 4);
            std::memcpy(&rowBytes, v + 4, 4);
            if (static_cast<int64_t>(clusters) * rowBytes + 8 <= visBytes) vis = v + 8;
        }
        return nodes && leaves && counts[bsp::LumpModels] > 0;
    }

    double dist(int plane, const double p[3]) const
    {
        const bsp::BspPlane& pl = planes[plane];
        return pl.normal[0] * p[0] + pl.normal[1] * p[1] + pl.normal[2] * p[2] - pl.distance;
    }

    int leafAt(const double p[3]) const
    {
        int node = 0;
        for (int guard = 0; node >= 0 && guard < 100000; ++guard)
            node = dist(nodes[node].plane, p) >= 0 ? nodes[node].children[0] : nodes[node].children[1];
        return ~node;
    }

    bool solidBrush(int b) const { return textures[brushes[b].texture].contents & 1; }

    // Signed distance the point lies outside the brush (negative: inside).
    double outside(int b, const double p[3]) const
    {
        double most = -1e30;
        for (int s = 0; s < brushes[b].sideCount; ++s) most = std::max(most, dist(sides[brushes[b].firstSide + s].plane, p));
        return most;
    }

    bool inSolid(const double p[3]) const
    {
        const bsp::BspLeaf& leaf = leaves[leafAt(p)];
        for (int i = 0; i < leaf.leafBrushCount; ++i) {
            int b = leafBrushes[leaf.firstLeafBrush + i];
            if (solidBrush(b) && outside(b, p) < 0) return true;
        }
        return false;
    }

    bool sees(int from, int to) const
    {
        if (!vis || from < 0 || to < 0) return true;
        return (vis[static_cast<size_t>(from) * rowBytes + (to >> 3)] >> (to & 7)) & 1;
    }
};
