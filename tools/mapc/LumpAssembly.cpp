// Writing the compiler's results into the level's lumps, in file order.
#include "LumpAssembly.h"
#include <algorithm>
#include <cmath>
#include <cstdio>
#include "Lightmapper.h"
#include "MiscModels.h"
#include "Patches.h"
#include "TextureProjection.h"

namespace mapc {

namespace {

void copyVec(float* dst, const Vec3& v)
{
    dst[0] = static_cast<float>(v.x);
    dst[1] = static_cast<float>(v.y);
    dst[2] = static_cast<float>(v.z);
}

void setBox(int32_t* mins, int32_t* maxs, const Bounds& b, const Bounds& clampTo)
{
    for (int i = 0; i < 3; ++i) {
        double lo = b.valid() ? std::max(b.mins[i], clampTo.mins[i]) : 0.0;
        double hi = b.valid() ? std::min(b.maxs[i], clampTo.maxs[i]) : 0.0;
        mins[i] = static_cast<int32_t>(std::floor(lo));
        maxs[i] = static_cast<int32_t>(std::ceil(hi));
    }
}

std::string entityText(const MapFile& map)
{
    std::string text;
    for (const MapEntity& e : map.entities) {
        text += "{\n";
        for (const auto& kv : e.pairs) text += "\"" + kv.first + "\" \"" + kv.second + "\"\n";
        text += "}\n";
    }
    return text;
}

class LevelAssembler {
public:
    LevelAssembler(const Tree& t, const PlaneSet& p, LevelLumps& o) : tree(t), planes(p), out(o) {}

    void numberTree()
    {
        nodeIndex.assign(tree.nodes.size(), -1);
        leafIndex.assign(tree.nodes.size(), -1);
        number(0);
    }

    void writeTree(const Bounds& clampTo)
    {
        out.nodes.resize(static_cast<size_t>(nodeCount));
        out.leaves.resize(static_cast<size_t>(leafCount));
        fill(0, clampTo);
    }

    int nodeCount = 0, leafCount = 0;
    std::vector<int> nodeIndex, leafIndex;

private:
    void number(int n)
    {
        const TreeNode& node = tree.nodes[static_cast<size_t>(n)];
        if (node.isLeaf()) {
            leafIndex[static_cast<size_t>(n)] = leafCount++;
            return;
        }
        nodeIndex[static_cast<size_t>(n)] = nodeCount++;
        number(node.children[0]);
        number(node.children[1]);
    }

    Bounds fill(int n, const Bounds& clampTo)
    {
        const TreeNode& node = tree.nodes[static_cast<size_t>(n)];
        if (node.isLeaf()) {
            bsp::BspLeaf& l = out.leaves[static_cast<size_t>(leafIndex[static_cast<size_t>(n)])];
            l.cluster = node.cluster;
            l.area = 0;
            setBox(l.mins, l.maxs, node.bounds, clampTo);
            Bounds b;
            b.add(Vec3(l.mins[0], l.mins[1], l.mins[2]));
            b.add(Vec3(l.maxs[0], l.maxs[1], l.maxs[2]));
            return b;
        }
        Bounds b;
        int32_t kids[2];
        for (int c = 0; c < 2; ++c) {
            int child = node.children[c];
            b.add(fill(child, clampTo));
            kids[c] = tree.nodes[static_cast<size_t>(child)].isLeaf() ? ~leafIndex[static_cast<size_t>(child)]
                                                                      : nodeIndex[static_cast<size_t>(child)];
        }
        bsp::BspNode& out_n = out.nodes[static_cast<size_t>(nodeIndex[static_cast<size_t>(n)])];
        out_n.plane = node.plane;
        out_n.children[0] = kids[0];
        out_n.children[1] = kids[1];
        setBox(out_n.mins, out_n.maxs, b, clampTo);
        return b;
    }

    const Tree& tree;
    const PlaneSet& planes;
    LevelLumps& out;
};

// Vertex alpha at a point of the side: blended between the corners of a
// triangle, else the nearest corner's.
uint8_t alphaAt(const BrushSide& side, const Vec3& p)
{
    const Winding& w = side.winding;
    if (side.cornerAlpha.size() != w.size() || w.empty()) return 255;
    if (w.size() == 3) {
        const Vec3 n = (w[1] - w[0]).cross(w[2] - w[0]);
        const double whole = n.dot(n);
        if (whole > 1e-12) {
            double sum = 0;
            for (int i = 0; i < 3; ++i) {
                const double part = (w[(i + 1) % 3] - p).cross(w[(i + 2) % 3] - p).dot(n) / whole;
                sum += std::clamp(part, 0.0, 1.0) * side.cornerAlpha[static_cast<size_t>(i)];
            }
            return static_cast<uint8_t>(std::clamp(std::lround(sum), 0L, 255L));
        }
    }
    size_t nearest = 0;
    for (size_t i = 1; i < w.size(); ++i)
        if ((w[i] - p).length() < (w[nearest] - p).length()) nearest = i;
    return side.cornerAlpha[nearest];
}

void emitFace(const Surface& s, const BrushSide& side, const PlaneSet& planes, LevelLumps& out)
{
    const Plane& plane = planes[s.plane];
    bsp::BspFace f = startFace(s.texture, bsp::FacePolygon, out);
    for (const Winding& w : s.pieces) {
        int32_t base = static_cast<int32_t>(out.vertices.size()) - f.firstVertex;
        for (const Vec3& p : w) {
            bsp::BspVertex v{};
            copyVec(v.position, p);
            textureCoord(side, plane.normal, p, v.texCoord);
            if (s.lightmap >= 0) lightmapCoord(s, p, v.lightmapCoord);
            copyVec(v.normal, plane.normal);
            v.color[0] = v.color[1] = v.color[2] = 255;
            v.color[3] = alphaAt(side, p);
            out.vertices.push_back(v);
        }
        // Clockwise seen from the front: the game culls the other winding.
        bool counterClockwise = windingNormal(w).dot(plane.normal) > 0;
        for (size_t i = 1; i + 1 < w.size(); ++i) {
            int32_t a = base, b = base + static_cast<int32_t>(i), c = base + static_cast<int32_t>(i + 1);
            out.meshVertices.push_back(a);
            out.meshVertices.push_back(counterClockwise ? c : b);
            out.meshVertices.push_back(counterClockwise ? b : c);
        }
    }
    f.vertexCount = static_cast<int32_t>(out.vertices.size()) - f.firstVertex;
    f.meshVertexCount = static_cast<int32_t>(out.meshVertices.size()) - f.firstMeshVertex;
    f.lightmap = s.lightmap;
    if (s.lightmap >= 0) {
        f.lightmapCorner[0] = s.corner[0] + 1;
        f.lightmapCorner[1] = s.corner[1] + 1;
        f.lightmapSize[0] = s.size[0];
        f.lightmapSize[1] = s.size[1];
        int a = 3 - s.axes[0] - s.axes[1];
        Vec3 origin;
        origin[s.axes[0]] = s.origin[0];
        origin[s.axes[1]] = s.origin[1];
        origin[a] = (plane.dist - plane.normal[s.axes[0]] * s.origin[0] - plane.normal[s.axes[1]] * s.origin[1]) /
                    plane.normal[a];
        copyVec(f.lightmapOrigin, origin);
        for (int i = 0; i < 2; ++i) {
            Vec3 step;
            step[s.axes[i]] = s.luxel;
            step[a] = -plane.normal[s.axes[i]] * s.luxel / plane.normal[a];
            copyVec(f.lightmapVecs[i], step);
        }
    }
    copyVec(f.normal, plane.normal);
    out.faces.push_back(f);
}

bsp::BspModel modelRecord(const Bounds& box, int firstFace, int faceCount, int firstBrush, int brushCount)
{
    bsp::BspModel m{};
    if (box.valid()) {
        copyVec(m.mins, box.mins);
        copyVec(m.maxs, box.maxs);
    }
    m.firstFace = firstFace;
    m.faceCount = faceCount;
    m.firstBrush = firstBrush;
    m.brushCount = brushCount;
    return m;
}

} // namespace

TreeCounts assembleLumps(const LevelParts& parts, LevelLumps& out)
{
    const MapFile& map = parts.map;
    const BrushSet& brushes = parts.brushes;
    const PlaneSet& planes = parts.planes;
    const Tree& tree = parts.tree;
    const std::vector<Surface>& surfaces = parts.surfaces;
    const int models = parts.models;
    const VisData& vis = parts.vis;
    out.entities = entityText(map);
    for (const TextureRecord& t : brushes.textures) {
        bsp::BspTexture r{};
        std::snprintf(r.name, sizeof(r.name), "%s", t.name.c_str());
        r.flags = t.flags;
        r.contents = t.contents;
        out.textures.push_back(r);
    }
    for (const Plane& p : planes.all()) {
        bsp::BspPlane r{};
        copyVec(r.normal, p.normal);
        r.distance = static_cast<float>(p.dist);
        out.planes.push_back(r);
    }
    LevelAssembler assembler(tree, planes, out);
    assembler.numberTree();
    assembler.writeTree(tree.worldBounds);

    std::vector<int> firstFace(static_cast<size_t>(models) + 1, 0), firstBrush(static_cast<size_t>(models) + 1, 0);
    std::vector<Bounds> modelBox(static_cast<size_t>(models));
    for (size_t i = 0; i < surfaces.size(); ++i) {
        const Surface& s = surfaces[i];
        if (s.isPatch())
            emitPatchFace(s, out);
        else if (s.isMesh())
            emitMeshFace(s, out);
        else
            emitFace(s, brushes.brushes[static_cast<size_t>(s.brush)].sides[static_cast<size_t>(s.side)], planes, out);
        firstFace[static_cast<size_t>(s.model) + 1] = static_cast<int>(i) + 1;
        surfaceBounds(s, modelBox[static_cast<size_t>(s.model)]);
    }
    for (size_t n = 0; n < tree.nodes.size(); ++n) {
        int li = assembler.leafIndex[n];
        if (li < 0) continue;
        const TreeNode& node = tree.nodes[n];
        bsp::BspLeaf& leaf = out.leaves[static_cast<size_t>(li)];
        leaf.firstLeafFace = static_cast<int32_t>(out.leafFaces.size());
        for (int f : node.faces) out.leafFaces.push_back(f);
        leaf.leafFaceCount = static_cast<int32_t>(node.faces.size());
        leaf.firstLeafBrush = static_cast<int32_t>(out.leafBrushes.size());
        for (int b : node.brushes) out.leafBrushes.push_back(b);
        leaf.leafBrushCount = static_cast<int32_t>(node.brushes.size());
    }
    for (size_t i = 0; i < brushes.brushes.size(); ++i) {
        const Brush& b = brushes.brushes[i];
        bsp::BspBrush r{};
        r.firstSide = static_cast<int32_t>(out.brushSides.size());
        r.sideCount = static_cast<int32_t>(b.sides.size());
        r.texture = b.texture;
        for (const BrushSide& s : b.sides) out.brushSides.push_back({s.plane, s.texture});
        out.brushes.push_back(r);
        modelBox[static_cast<size_t>(b.model)].add(b.bounds);
        firstBrush[static_cast<size_t>(b.model) + 1] = static_cast<int>(i) + 1;
    }
    // Runs are contiguous; an empty model starts where the one before ended.
    for (int m = 1; m <= models; ++m) {
        firstFace[static_cast<size_t>(m)] = std::max(firstFace[static_cast<size_t>(m)], firstFace[static_cast<size_t>(m) - 1]);
        firstBrush[static_cast<size_t>(m)] = std::max(firstBrush[static_cast<size_t>(m)], firstBrush[static_cast<size_t>(m) - 1]);
    }
    for (int m = 0; m < models; ++m) {
        size_t k = static_cast<size_t>(m);
        int faceStart = m == 0 ? 0 : firstFace[k];
        int brushStart = m == 0 ? 0 : firstBrush[k];
        out.models.push_back(modelRecord(modelBox[k], faceStart, firstFace[k + 1] - faceStart, brushStart,
                                         firstBrush[k + 1] - brushStart));
    }
    if (vis.clusters > 0) {
        bsp::BspVisHeader h{vis.clusters, vis.bytesPerRow};
        const uint8_t* hp = reinterpret_cast<const uint8_t*>(&h);
        out.visibility.assign(hp, hp + sizeof(h));
        out.visibility.insert(out.visibility.end(), vis.bits.begin(), vis.bits.end());
    }

    return {assembler.nodeCount, assembler.leafCount};
}

} // namespace mapc
