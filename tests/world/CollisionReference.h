#pragma once
// The collision lumps of a real level, read here independently of the game's
// loader, and a brute-force trace that tests every solid brush directly.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "world/BspFormat.h"
#include "world/Collision.h"
#include "world/PatchCollision.h"
#include "world/Renderer.h"

struct CollisionReference {
    std::vector<bsp::BspPlane> planes;
    std::vector<bsp::BspNode> nodes;
    std::vector<bsp::BspLeaf> leaves;
    std::vector<int32_t> leafBrushes;
    std::vector<bsp::BspBrush> brushes;
    std::vector<bsp::BspBrushSide> brushSides;
    std::vector<bsp::BspTexture> textures;
    std::vector<bsp::BspModel> models;
    // Brushes of model 0, the world: the tree's leaves list exactly these.
    // The other models (doors, platforms) move and are not in the tree.
    int worldBrushFirst = 0, worldBrushCount = 0;
    Vector3 mins, maxs;  // world box, componentwise ordered

    template <typename T>
    static bool copyLump(const std::vector<char>& file, const bsp::BspHeader& h, int lump,
                         std::vector<T>& out)
    {
        const bsp::BspLump& l = h.lumps[lump];
        if (l.offset < 0 || l.length < 0 || size_t(l.offset) + size_t(l.length) > file.size())
            return false;
        out.resize(size_t(l.length) / sizeof(T));
        if (!out.empty())
            std::memcpy(out.data(), file.data() + l.offset, out.size() * sizeof(T));
        return true;
    }

    static void convert(int32_t* v)
    {
        int32_t y = v[1];
        v[1] = v[2];
        v[2] = -y;
    }

    bool read(const std::string& path)
    {
        FILE* f = std::fopen(path.c_str(), "rb");
        if (!f)
            return false;
        std::vector<char> file;
        char buffer[65536];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            file.insert(file.end(), buffer, buffer + n);
        std::fclose(f);
        if (file.size() < sizeof(bsp::BspHeader))
            return false;
        bsp::BspHeader h;
        std::memcpy(&h, file.data(), sizeof h);
        if (std::memcmp(h.magic, "IBSP", 4) != 0)
            return false;
        if (!copyLump(file, h, bsp::LumpPlanes, planes) || !copyLump(file, h, bsp::LumpNodes, nodes) ||
            !copyLump(file, h, bsp::LumpLeaves, leaves) ||
            !copyLump(file, h, bsp::LumpLeafBrushes, leafBrushes) ||
            !copyLump(file, h, bsp::LumpBrushes, brushes) ||
            !copyLump(file, h, bsp::LumpBrushSides, brushSides) ||
            !copyLump(file, h, bsp::LumpTextures, textures) ||
            !copyLump(file, h, bsp::LumpModels, models))
            return false;
        worldBrushFirst = 0;
        worldBrushCount = int(brushes.size());
        if (!models.empty() && models[0].firstBrush >= 0 && models[0].brushCount >= 0 &&
            size_t(models[0].firstBrush) + size_t(models[0].brushCount) <= brushes.size()) {
            worldBrushFirst = models[0].firstBrush;
            worldBrushCount = models[0].brushCount;
        }
        for (bsp::BspPlane& p : planes) {
            float y = p.normal[1];
            p.normal[1] = p.normal[2];
            p.normal[2] = -y;
        }
        for (bsp::BspNode& node : nodes) {
            convert(node.mins);
            convert(node.maxs);
        }
        for (bsp::BspLeaf& leaf : leaves) {
            convert(leaf.mins);
            convert(leaf.maxs);
        }
        if (nodes.empty())
            return false;
        const bsp::BspNode& root = nodes[0];
        mins = Vector3(std::fmin(root.mins[0], root.maxs[0]), std::fmin(root.mins[1], root.maxs[1]),
                       std::fmin(root.mins[2], root.maxs[2]));
        maxs = Vector3(std::fmax(root.mins[0], root.maxs[0]), std::fmax(root.mins[1], root.maxs[1]),
                       std::fmax(root.mins[2], root.maxs[2]));
        return true;
    }

    CollisionLevel view() const
    {
        CollisionLevel level;
        level.planes = planes.data();
        level.nodes = nodes.data();
        level.leaves = leaves.data();
        level.leafBrushes = leafBrushes.data();
        level.brushes = brushes.data();
        level.brushSides = brushSides.data();
        level.textures = textures.data();
        level.planeCount = int32_t(planes.size());
        level.nodeCount = int32_t(nodes.size());
        level.leafCount = int32_t(leaves.size());
        level.leafBrushCount = int32_t(leafBrushes.size());
        level.brushCount = int32_t(brushes.size());
        level.brushSideCount = int32_t(brushSides.size());
        level.textureCount = int32_t(textures.size());
        return level;
    }

    template <typename T>
    static T* copyOut(const std::vector<T>& v)
    {
        T* out = new T[v.empty() ? 1 : v.size()]();
        if (!v.empty())
            std::memcpy(out, v.data(), v.size() * sizeof(T));
        return out;
    }

    // Gives the renderer this level's collision arrays and placeholders for
    // the drawing arrays, so it counts as ready without a GL context.
    void fillRenderer(Renderer& r) const
    {
        r.freeLevel();
        r.planes = copyOut(planes);
        r.nodes = copyOut(nodes);
        r.leaves = copyOut(leaves);
        r.leafBrushes = copyOut(leafBrushes);
        r.brushes = copyOut(brushes);
        r.brushSides = copyOut(brushSides);
        r.textures = copyOut(textures);
        r.planeCount = int32_t(planes.size());
        r.nodeCount = int32_t(nodes.size());
        r.leafCount = int32_t(leaves.size());
        r.leafBrushCount = int32_t(leafBrushes.size());
        r.brushCount = int32_t(brushes.size());
        r.brushSideCount = int32_t(brushSides.size());
        r.textureCount = int32_t(textures.size());
        r.vertices = new bsp::BspVertex[1]();
        r.faces = new bsp::BspFace[1]();
        r.meshVertices = new int32_t[1]();
        r.leafFaces = new int32_t[1]();
        r.textureHandles = new unsigned[textures.empty() ? 1 : textures.size()]();
        r.lightmapHandles = new unsigned[1]();
        r.brushBounds = buildBrushBounds(collisionLevelOf(r));
        r.multitextureReady = true;
        r.levelLoaded = true;
    }

    int findLeaf(const Vector3& p) const
    {
        int index = 0;
        while (index >= 0) {
            const bsp::BspNode& node = nodes[size_t(index)];
            const bsp::BspPlane& plane = planes[size_t(node.plane)];
            float side = plane.normal[0] * p.x + plane.normal[1] * p.y + plane.normal[2] * p.z -
                         plane.distance;
            index = side < 0.0f ? node.children[1] : node.children[0];
        }
        return ~index;
    }

    bool solid(const bsp::BspBrush& b) const
    {
        return b.sideCount > 0 && b.texture >= 0 && size_t(b.texture) < textures.size() &&
               (textures[size_t(b.texture)].contents & bsp::kContentsSolid);
    }

    float side(int planeIndex, const Vector3& p) const
    {
        const bsp::BspPlane& pl = planes[size_t(planeIndex)];
        return pl.normal[0] * p.x + pl.normal[1] * p.y + pl.normal[2] * p.z - pl.distance;
    }

    // True when p lies inside some solid brush whose planes are pushed out
    // by grow.
    bool insideSolid(const Vector3& p, float grow) const
    {
        for (int k = 0; k < worldBrushCount; k++) {
            const bsp::BspBrush& b = brushes[size_t(worldBrushFirst + k)];
            if (!solid(b))
                continue;
            bool inside = true;
            for (int i = 0; i < b.sideCount && inside; i++)
                inside = side(brushSides[size_t(b.firstSide + i)].plane, p) - grow <= 0.0f;
            if (inside)
                return true;
        }
        return false;
    }

    // Where s..e, kept radius from every side that grows, enters the convex
    // piece whose sides side(i, plane, grows) gives; 2 when it does not.
    template <typename Side>
    static float enterFraction(int count, Side side, const Vector3& s, const Vector3& e, float radius)
    {
        const float eps = 0.03125f;
        float enter = -1.0f, leave = 1.0f;
        bool startOut = false;
        for (int i = 0; i < count; i++) {
            bsp::BspPlane pl;
            bool grows = true;
            side(i, pl, grows);
            float grow = grows ? radius : 0.0f;
            float ds = pl.normal[0] * s.x + pl.normal[1] * s.y + pl.normal[2] * s.z - pl.distance - grow;
            float de = pl.normal[0] * e.x + pl.normal[1] * e.y + pl.normal[2] * e.z - pl.distance - grow;
            if (ds > 0.0f)
                startOut = true;
            if (ds > 0.0f && de > 0.0f)
                return 2.0f;
            if (ds <= 0.0f && de <= 0.0f)
                continue;
            if (ds > de)
                enter = std::fmax(enter, (ds - eps) / (ds - de));
            else
                leave = std::fmin(leave, (ds + eps) / (ds - de));
        }
        if (!startOut || !(enter < leave && enter > -1.0f))
            return 2.0f;
        return std::fmax(enter, 0.0f);
    }

    // Fraction of s..e travelled before entering any brush (of the given
    // contents) or curve facet, testing every world brush and every facet
    // with the whole segment.
    float bruteForceFraction(const Vector3& s, const Vector3& e, float radius,
                             const PatchCollision* curves = nullptr, int contents = kShotContents) const
    {
        float best = 1.0f;
        for (int k = 0; k < worldBrushCount; k++) {
            const bsp::BspBrush& b = brushes[size_t(worldBrushFirst + k)];
            if (b.sideCount <= 0 || b.texture < 0 || size_t(b.texture) >= textures.size() ||
                !(textures[size_t(b.texture)].contents & contents))
                continue;
            best = std::fmin(best, enterFraction(b.sideCount, [&](int i, bsp::BspPlane& pl, bool&) {
                pl = planes[size_t(brushSides[size_t(b.firstSide + i)].plane)];
            }, s, e, radius));
        }
        for (size_t n = 0; curves && n < curves->surfaces.size(); n++) {
            const CurveSurface& surface = curves->surfaces[n];
            if (!(surface.contents & contents))
                continue;
            for (int f = 0; f < surface.facetCount; f++) {
                const PatchFacet& facet = curves->facets[size_t(surface.firstFacet + f)];
                best = std::fmin(best, enterFraction(kFacetSides, [&](int i, bsp::BspPlane& pl, bool& grows) {
                    facetSide(facet, i, pl, grows);
                }, s, e, radius));
            }
        }
        if (radius > 0.0f && best < 0.0001f)
            best = 0.0f;
        return best;
    }
};

inline std::string openArenaMap(const char* name)
{
    return std::string(HALVEX_TEST_DATA) + "/openarena/maps/" + name + ".bsp";
}
