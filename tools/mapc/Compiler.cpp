#include "Compiler.h"
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include "BrushSet.h"
#include "ContentFlags.h"
#include "BspTree.h"
#include "Lightmapper.h"
#include "MapParser.h"
#include "MiscModels.h"
#include "Parallel.h"
#include "Patches.h"
#include "Portals.h"
#include "Surfaces.h"
#include "TextureProjection.h"
#include "Visibility.h"

namespace mapc {

namespace {

// Open space is cut on a grid of this many units (x and y) first.
constexpr double kBlockSize = 1024.0;

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

// Every brush whose volume reaches into the leaf's box.
void assignLeafBrushes(Tree& tree, const BrushSet& brushes, const PlaneSet& planes)
{
    for (size_t li = 0; li < tree.nodes.size(); ++li) {
        TreeNode& leaf = tree.nodes[li];
        if (!leaf.isLeaf() || static_cast<int>(li) == tree.outsideNode || !leaf.bounds.valid()) continue;
        for (size_t bi = 0; bi < brushes.brushes.size(); ++bi) {
            const Brush& b = brushes.brushes[bi];
            if (b.model != 0) break;  // world brushes come first
            if (!b.bounds.overlaps(leaf.bounds, 0.5)) continue;
            // Separated when all eight box corners lie in front of one side.
            bool separated = false;
            for (const BrushSide& s : b.sides) {
                const Plane& p = planes[s.plane];
                bool allFront = true;
                for (int c = 0; c < 8 && allFront; ++c) {
                    Vec3 corner((c & 1) ? leaf.bounds.maxs.x : leaf.bounds.mins.x,
                                (c & 2) ? leaf.bounds.maxs.y : leaf.bounds.mins.y,
                                (c & 4) ? leaf.bounds.maxs.z : leaf.bounds.mins.z);
                    if (p.distanceTo(corner) < 0.5) allFront = false;
                }
                if (allFront) { separated = true; break; }
            }
            if (!separated) leaf.brushes.push_back(static_cast<int>(bi));
        }
    }
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
            v.color[0] = v.color[1] = v.color[2] = v.color[3] = 255;
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

} // namespace

namespace {

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

void surfaceBounds(const Surface& s, Bounds& box)
{
    for (const Winding& w : s.pieces)
        for (const Vec3& p : w) box.add(p);
    for (const PatchPoint& p : s.grid) box.add(p.position);
    for (const PatchPoint& p : s.meshPoints) box.add(p.position);
}

// Every sky texture's "q3map_sun", once per texture.
void addSuns(const BrushSet& brushes, TextureLibrary& library, Diagnostics& diag, LightSettings& light)
{
    std::vector<std::string> seen;
    for (const TextureRecord& t : brushes.textures) {
        if (!(t.flags & kSurfSky) || std::find(seen.begin(), seen.end(), t.name) != seen.end()) continue;
        seen.push_back(t.name);
        const TextureTraits& traits = library.traitsOfPath(t.name, diag);
        if (traits.sun[3] <= 0.0) continue;
        SunLight sun;
        const double yaw = traits.sun[4] * M_PI / 180.0, pitch = traits.sun[5] * M_PI / 180.0;
        sun.towards = Vec3(std::cos(pitch) * std::cos(yaw), std::cos(pitch) * std::sin(yaw), std::sin(pitch));
        Vec3 c(traits.sun[0], traits.sun[1], traits.sun[2]);
        double m = std::max(c.x, std::max(c.y, c.z));
        sun.color = m > 0.0 ? c * (1.0 / m) : Vec3(1, 1, 1);
        sun.intensity = traits.sun[3];
        light.suns.push_back(sun);
    }
}

// Faces whose shader gives off light ("q3map_surfacelight") light the
// level as a point light a little in front of each piece, as bright as the
// piece is large. Sky faces are left to their sun.
void addSurfaceLights(const std::vector<Surface>& surfaces, const BrushSet& brushes, const PlaneSet& planes,
                      TextureLibrary& library, Diagnostics& diag, LightSettings& light)
{
    constexpr double kAreaPerUnit = 22000.0;  // square units of face per unit of "light"
    for (const Surface& s : surfaces) {
        if (s.model != 0 || s.isPatch() || s.isMesh() || s.texture < 0) continue;
        const TextureRecord& t = brushes.textures[static_cast<size_t>(s.texture)];
        if (t.flags & kSurfSky) continue;
        const double value = library.traitsOfPath(t.name, diag).surfaceLight;
        if (value <= 0.0) continue;
        for (const Winding& w : s.pieces) {
            PointLight l;
            l.origin = windingCenter(w) + planes[s.plane].normal * 2.0;
            l.intensity = std::min(100000.0, value * windingArea(w) / kAreaPerUnit);
            l.setReach();
            if (l.intensity >= 1.0) light.lights.push_back(l);
        }
    }
}

} // namespace

bool compileMapText(const std::string& text, LevelLumps& out, Diagnostics& diag, CompileStats* stats,
                    const CompileOptions& options)
{
    out = LevelLumps();
    const int threads = options.threads > 0 ? options.threads : defaultThreads();
    Progress* progress = options.progress;
    if (progress) progress->stage("reading the source");
    MapFile map;
    if (!parseMap(text, map, diag)) return false;
    if (map.entities.empty()) {
        diag.fail(1, "the source holds no entities");
        return false;
    }
    const char* first = map.entities[0].value("classname");
    if (!first || std::strcmp(first, "worldspawn") != 0) {
        diag.fail(map.entities[0].line, "the first entity must be the worldspawn");
        return false;
    }

    TextureLibrary library;
    library.load(options.files, diag);
    std::vector<int> modelOf;
    const int models = assignModels(map, library, modelOf, diag);
    PlaneSet planes;
    BrushSet brushes;
    buildBrushes(map, modelOf, library, planes, brushes, diag);
    bool anyStructural = false;
    for (const Brush& b : brushes.brushes) anyStructural = anyStructural || b.structural;
    if (!anyStructural) {
        diag.fail(map.entities[0].line, "the level has no solid brushes");
        return false;
    }

    if (progress) progress->stage("tree and portals");
    Tree tree;
    const int maxDepth = std::min(options.treeDepth, kMaxTreeDepth);
    auto tooDeep = [&]() {
        diag.fail(map.entities[0].line, "the brushes make a tree deeper than the game reads (%d levels); "
                  "fewer brushes crossing in one place would do", maxDepth);
        return false;
    };
    if (!buildTree(brushes, planes, maxDepth, tree)) return tooDeep();
    PortalSet portals;
    buildPortals(tree, planes, portals);
    bool sealed = markInside(tree, planes, portals, map, diag);
    if (sealed) {
        // Again, split by the faces seen from inside only: hidden sides of
        // touching brushes and the level's outer skin make no clusters.
        std::vector<SplitFace> hull;
        visibleHull(brushes, planes, tree, hull);
        const Bounds levelBox = tree.worldBounds;
        tree = Tree();
        const std::vector<int> blocks = blockPlanes(levelBox, kBlockSize, planes);
        if (!buildTree(brushes, planes, maxDepth, tree, &hull, &blocks)) return tooDeep();
        buildPortals(tree, planes, portals);
        Diagnostics quiet(false);  // the first pass said it all
        markInside(tree, planes, portals, map, quiet);
    }

    if (progress) progress->stage("faces and models");
    std::vector<Surface> surfaces;
    buildSurfaces(brushes, planes, tree, surfaces);
    buildModelSurfaces(brushes, surfaces);
    int patchCount = 0;
    for (size_t e = 0; e < map.entities.size(); ++e) {
        for (const MapPatch& mp : map.entities[e].patches) {
            Surface s;
            if (!makePatchSurface(mp, modelOf[e], library, brushes, s, diag)) continue;
            if (s.model == 0 && !placePatch(tree, planes, s)) continue;
            surfaces.push_back(std::move(s));
            ++patchCount;
        }
    }
    std::vector<ClipTriangle> clips;
    const int meshCount = addMiscModels(map, options.files, library, brushes, tree, planes, surfaces, diag, &clips);
    addModelClipBrushes(clips, planes, brushes, surfaces, diag);
    LightSettings light = readLightSettings(map, diag);
    light.luxel = fitLuxelSize(surfaces, planes, light.luxel, diag);
    splitLargeSurfaces(surfaces, planes, light.luxel, kMaxBlockLuxels - 2);
    // Faces model by model, the world's first.
    std::stable_sort(surfaces.begin(), surfaces.end(),
                     [](const Surface& a, const Surface& b) { return a.model < b.model; });
    for (size_t i = 0; i < surfaces.size(); ++i)
        for (int leaf : surfaces[i].leaves)
            tree.nodes[static_cast<size_t>(leaf)].faces.push_back(static_cast<int>(i));
    for (const Surface& s : surfaces)
        if (!s.isPatch() && !s.isMesh())
            for (int leaf : s.leaves) surfaceBounds(s, tree.nodes[static_cast<size_t>(leaf)].bounds);
    assignLeafBrushes(tree, brushes, planes);

    if (progress)
        progress->stage("lighting", std::count_if(surfaces.begin(), surfaces.end(),
                                                  [](const Surface& s) { return s.lightmapped && !s.isMesh(); }));
    addSuns(brushes, library, diag, light);
    addSurfaceLights(surfaces, brushes, planes, library, diag, light);
    light.skySurface.resize(surfaces.size());
    for (size_t i = 0; i < surfaces.size(); ++i)
        light.skySurface[i] = surfaces[i].texture >= 0 && !surfaces[i].isMesh() &&
                              (brushes.textures[static_cast<size_t>(surfaces[i].texture)].flags & kSurfSky) != 0;
    std::vector<uint8_t> pages;
    LightBudget lightBudget(options.lightSeconds);
    lightBudget.progress = progress;
    buildLightmaps(surfaces, planes, tree, light, threads, lightBudget, pages);
    lightMeshes(surfaces, planes, tree, light, threads, lightBudget);
    if (lightBudget.cut > 0)
        diag.warn(0, "lighting too costly to work out in full; %d surfaces lit without shadows", lightBudget.cut.load());
    VisData vis;
    // The flow also gets what the lighting left of its time: the two share
    // one budget, so the compile's length stays bounded.
    const double lightLeft =
        std::chrono::duration<double>(lightBudget.deadline - std::chrono::steady_clock::now()).count();
    computeVisibility(tree, planes, portals, !sealed, threads, options.visSeconds + std::max(0.0, lightLeft),
                      progress, vis);
    if (vis.cutShort)
        diag.warn(0, "visibility too costly to work out in full; %d portal passages keep rougher sets", vis.unfinished);

    if (progress) progress->stage("writing");
    // Lumps.
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
    out.lightmaps = std::move(pages);
    if (vis.clusters > 0) {
        bsp::BspVisHeader h{vis.clusters, vis.bytesPerRow};
        const uint8_t* hp = reinterpret_cast<const uint8_t*>(&h);
        out.visibility.assign(hp, hp + sizeof(h));
        out.visibility.insert(out.visibility.end(), vis.bits.begin(), vis.bits.end());
    }

    std::string tooLarge;
    if (!levelFitsFile(out, tooLarge)) {
        diag.fail(map.entities[0].line, "the level is too large for its file: %s", tooLarge.c_str());
        return false;
    }
    if (stats) {
        stats->brushes = static_cast<int>(brushes.brushes.size());
        stats->planes = planes.size();
        stats->nodes = assembler.nodeCount;
        stats->leaves = assembler.leafCount;
        stats->clusters = vis.clusters;
        stats->portals = 0;
        for (const Portal& p : portals.portals)
            stats->portals += p.plane >= 0 && tree.nodes[static_cast<size_t>(p.leaves[0])].cluster >= 0 &&
                              tree.nodes[static_cast<size_t>(p.leaves[0])].cluster !=
                                  tree.nodes[static_cast<size_t>(p.leaves[1])].cluster &&
                              tree.nodes[static_cast<size_t>(p.leaves[1])].cluster >= 0;
        stats->faces = static_cast<int>(out.faces.size());
        stats->patches = patchCount;
        stats->meshes = meshCount;
        stats->models = models;
        stats->lightmaps = static_cast<int>(out.lightmaps.size() / bsp::kLightmapBytes);
        stats->leaked = !sealed;
        stats->visCutShort = vis.cutShort;
    }
    return true;
}

bool compileMapFile(const char* source, const char* output, Diagnostics& diag, CompileStats* stats,
                    const CompileOptions& options)
{
    diag.setSource(source);
    FILE* f = std::fopen(source, "rb");
    if (!f) {
        diag.fail(0, "cannot open the source");
        return false;
    }
    std::string text;
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof(buffer), f)) > 0) {
        text.append(buffer, got);
        if (text.size() > (64u << 20)) {
            std::fclose(f);
            diag.fail(0, "source larger than 64 MB");
            return false;
        }
    }
    std::fclose(f);
    LevelLumps lumps;
    if (!compileMapText(text, lumps, diag, stats, options)) return false;
    if (!writeLevel(output, lumps)) {
        diag.fail(0, "cannot write %s", output);
        return false;
    }
    return true;
}

} // namespace mapc
