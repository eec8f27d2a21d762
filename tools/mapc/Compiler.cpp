// The level compiler's driver: the passes from map text to finished lumps.
#include "Compiler.h"
#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <cstdio>
#include <cstring>
#include "BrushSet.h"
#include "ContentFlags.h"
#include "BspTree.h"
#include "CelShading.h"
#include "DetailShadows.h"
#include "LumpAssembly.h"
#include "Lightmapper.h"
#include "MapParser.h"
#include "MapScale.h"
#include "MiscModels.h"
#include "ModelShadows.h"
#include "Parallel.h"
#include "Patches.h"
#include "Portals.h"
#include "Surfaces.h"
#include "Terrain.h"
#include "Visibility.h"

namespace mapc {

namespace {

// Open space is cut on a grid of this many units (on each axis) first, unless
// the worldspawn's "_blocksize" asks for another.
constexpr double kBlockSize = 1024.0;
constexpr int kMostBlocks = 16;          // per axis, on the default grid
constexpr int kMostAskedBlocks = 64;     // per axis, on a grid the level asks for

// The block grid: "_blocksize" gives one size for all three axes or one per
// axis, 0 leaving an axis uncut. A level naming none takes the size the
// compile was asked for, as some levels were built with one on the
// command line.
Vec3 blockSize(const MapFile& map, double asked, int& mostBlocks)
{
    mostBlocks = kMostBlocks;
    Vec3 size(kBlockSize, kBlockSize, kBlockSize);
    const char* text = map.entities[0].value("_blocksize");
    if (!text) text = map.entities[0].value("blocksize");
    if (!text && asked > 0) {
        mostBlocks = kMostAskedBlocks;
        return Vec3(asked, asked, asked);
    }
    if (!text) return size;
    double v[3];
    const int n = std::sscanf(text, "%lf %lf %lf", &v[0], &v[1], &v[2]);
    if (n != 1 && n != 3) return size;
    mostBlocks = kMostAskedBlocks;
    for (int axis = 0; axis < 3; ++axis) size[axis] = std::max(0.0, v[n == 1 ? 0 : axis]);
    return size;
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

// The planes of hint and area portal sides: the clusters keep them as
// borders.
std::vector<char> clusterBorders(const BrushSet& brushes, const PlaneSet& planes)
{
    std::vector<char> border(static_cast<size_t>(planes.size() / 2 + 1), 0);
    for (const Brush& b : brushes.brushes) {
        if (b.model != 0) continue;
        const bool portal = (b.contents & (kContentsAreaPortal | kContentsClusterPortal)) != 0;
        for (const BrushSide& s : b.sides)
            if (portal || (brushes.textures[static_cast<size_t>(s.texture)].flags & kSurfHint))
                border[static_cast<size_t>(s.plane >> 1)] = 1;
    }
    return border;
}

// Parses the source and checks it opens with the worldspawn.
bool readSource(const std::string& text, MapFile& map, Diagnostics& diag)
{
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
    return true;
}

// Orders the faces model by model, the world's first, and lists faces and
// brushes in the leaves they reach.
void fileInLeaves(std::vector<Surface>& surfaces, const BrushSet& brushes, const PlaneSet& planes, Tree& tree)
{
    std::stable_sort(surfaces.begin(), surfaces.end(),
                     [](const Surface& a, const Surface& b) { return a.model < b.model; });
    for (size_t i = 0; i < surfaces.size(); ++i)
        for (int leaf : surfaces[i].leaves)
            tree.nodes[static_cast<size_t>(leaf)].faces.push_back(static_cast<int>(i));
    for (const Surface& s : surfaces)
        if (!s.isPatch() && !s.isMesh())
            for (int leaf : s.leaves) surfaceBounds(s, tree.nodes[static_cast<size_t>(leaf)].bounds);
    assignLeafBrushes(tree, brushes, planes);
}

// Portals that open between two different clusters.
int clusterPortals(const Tree& tree, const PortalSet& portals)
{
    int count = 0;
    for (const Portal& p : portals.portals)
        count += p.plane >= 0 && tree.nodes[static_cast<size_t>(p.leaves[0])].cluster >= 0 &&
                 tree.nodes[static_cast<size_t>(p.leaves[0])].cluster !=
                     tree.nodes[static_cast<size_t>(p.leaves[1])].cluster &&
                 tree.nodes[static_cast<size_t>(p.leaves[1])].cluster >= 0;
    return count;
}

// The alpha of every texture whose faces cast holed shadows ("alphashadow");
// the others get an empty mask.
std::vector<AlphaMask> shadowMasks(const BrushSet& brushes, const TextureLibrary& library)
{
    std::vector<AlphaMask> masks(brushes.textures.size());
    for (size_t i = 0; i < masks.size(); ++i)
        if (brushes.textures[i].flags & kSurfAlphaShadow) library.shadowMask(brushes.textures[i].name, masks[i]);
    return masks;
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
    if (!readSource(text, map, diag)) return false;
    if (options.scale != 1.0 && !scaleMap(map, options.scale, diag)) return false;

    TextureLibrary library;
    library.load(options.files, diag);
    std::vector<int> modelOf;
    const int models = assignModels(map, library, modelOf, diag);
    PlaneSet planes;
    BrushSet brushes;
    buildBrushes(map, modelOf, library, planes, brushes, diag);
    paintTerrain(map, options.files, library, brushes, diag);
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
        int mostBlocks = 0;
        const Vec3 blockSizes = blockSize(map, options.blockSize, mostBlocks);
        const std::vector<int> blocks = blockPlanes(levelBox, blockSizes, mostBlocks, planes);
        if (!buildTree(brushes, planes, maxDepth, tree, &hull, &blocks)) return tooDeep();
        buildPortals(tree, planes, portals);
        Diagnostics quiet(false);  // the first pass said it all
        markInside(tree, planes, portals, map, quiet);
        Vec3 most = blockSizes;
        for (int axis = 0; axis < 3; ++axis)
            if (most[axis] <= 0.0) most[axis] = kBlockSize;
        joinOpenLeaves(tree, portals, clusterBorders(brushes, planes), most);
    }

    if (progress) progress->stage("faces and models");
    std::vector<Surface> surfaces;
    buildSurfaces(brushes, planes, tree, surfaces);
    addCelOutlines(map, library, brushes, planes, surfaces, diag);
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
    LightSettings light = readLightSettings(map, diag, options.dirtScale);
    std::vector<ClipTriangle> clips;
    int meshCount =
        addMiscModels(map, options.files, library, brushes, tree, planes, light.luxel, surfaces, diag, &clips);
    meshCount += addSurfaceModels(options.files, library, brushes, tree, planes, surfaces, diag);
    addModelClipBrushes(clips, planes, brushes, surfaces, diag);
    light.luxel = fitLuxelSize(surfaces, planes, light.luxel, diag);
    splitLargeSurfaces(surfaces, planes, light.luxel, kMaxBlockLuxels - 2);
    fileInLeaves(surfaces, brushes, planes, tree);

    if (progress)
        progress->stage("lighting", std::count_if(surfaces.begin(), surfaces.end(),
                                                  [](const Surface& s) { return s.lightmapped; }));
    addSkyLights(surfaces, brushes, library, diag, light);
    addSurfaceLights(surfaces, brushes, planes, library, diag, light);
    const ModelShadows modelShadows(surfaces), worldModelShadows(surfaces, true);
    light.modelShadows = &modelShadows;
    light.worldModelShadows = &worldModelShadows;
    const std::vector<AlphaMask> masks = shadowMasks(brushes, library);
    const DetailShadows detailShadows(brushes, planes, &masks);
    light.detailShadows = &detailShadows;
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
    const char* farText = map.entities[0].value("_farplanedist");
    const double farPlane = farText ? std::max(0.0, std::atof(farText)) : 0.0;
    computeVisibility(tree, planes, portals, !sealed, threads, options.visSeconds + std::max(0.0, lightLeft),
                      farPlane, progress, vis);
    if (vis.cutShort)
        diag.warn(0, "visibility too costly to work out in full; %d portal passages keep rougher sets", vis.unfinished);

    if (progress) progress->stage("writing");
    const LevelParts parts{map, brushes, planes, tree, surfaces, models, vis};
    const TreeCounts counts = assembleLumps(parts, out);
    out.lightmaps = std::move(pages);
    std::string tooLarge;
    if (!levelFitsFile(out, tooLarge)) {
        diag.fail(map.entities[0].line, "the level is too large for its file: %s", tooLarge.c_str());
        return false;
    }
    if (stats) {
        stats->brushes = static_cast<int>(brushes.brushes.size());
        stats->planes = planes.size();
        stats->nodes = counts.nodes;
        stats->leaves = counts.leaves;
        stats->clusters = vis.clusters;
        stats->portals = clusterPortals(tree, portals);
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
