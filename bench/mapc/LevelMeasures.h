#pragma once
// What the level comparison measures in a level read whole: drawn area
// (per shader and face kind too), lightmap brightness, spawn points in
// solid, the leaves along a sight line and the share of clusters seen.
#include <array>
#include <map>
#include <string>
#include <vector>

#include "RawLevel.h"
#include "resources/FileSystem.h"

// Drawn area of every face (patches from their curved grid).
double drawnArea(const RawLevel& l);

// Area and face count per shader and face kind.
struct KindArea {
    double area[2] = {0, 0};  // ours, reference
    int faces[2] = {0, 0};
};

// Adds the level's faces as `which` (0 ours, 1 reference), areas times scale.
void addKinds(const RawLevel& l, int which, double scale, std::map<std::string, KindArea>& kinds);

// Lightmap pages as r g b rows, top row first.
struct LightPages {
    int size = 0;  // pages are size x size
    std::vector<std::vector<uint8_t>> pages;
};

// The pages in the level's own lump.
LightPages internalPages(const RawLevel& l);
// The reference compiles keep their lightmaps beside the level, as
// maps/NAME/lm_NNNN.tga (uncompressed, square); page i is file i.
LightPages externalPages(const FileSystem& files, const std::string& name);
// Mean stored lightmap brightness over the lightmapped polygons, weighted
// by area: each triangle sampled at its middle; -1 without any.
double meanLightmap(const RawLevel& l, const LightPages& lp);

// Lit area and brightness times area per shader, ours (0) and the reference's (1).
struct ShaderLight {
    double area[2] = {0, 0};
    double light[2] = {0, 0};
};
// meanLightmap's samples, and the patches' (each evaluated 8 x 8 per
// quadratic piece), added per shader as `which`.
void addShaderLight(const RawLevel& l, const LightPages& lp, int which, std::map<std::string, ShaderLight>& shaders);
// ... and per way the faces look: "facing up", "facing down", "walls" (45 degrees
// the border), and "patches".
void addFacingLight(const RawLevel& l, const LightPages& lp, int which, std::map<std::string, ShaderLight>& facings);

// Origins of the spawn points ("info_player_*") in the entity text.
std::vector<std::array<double, 3>> spawnPoints(const std::string& text);
// The worldspawn's "_farplanedist" (how far a fogged level's sight
// reaches), 0 when it has none.
double farPlaneOf(const std::string& text);
// Spheres of radius 20 at the spawn points that overlap a solid brush.
int spawnsInSolid(const RawLevel& l, const std::vector<std::array<double, 3>>& spawns);
// Leaves the segment passes, nearest first, up to the first leaf without a
// cluster (solid or beyond the level); false when it stopped at one.
bool walkSegment(const RawLevel& l, int node, const double a[3], const double b[3], std::vector<int>& leaves);
// Ratio of the reference's spawn point coordinates to ours (1 unless the
// reference was compiled scaled), from the entity texts (ours may be the source's).
double levelScale(const std::string& mine, const std::string& ref);

// Mean percentage of the clusters visible from a cluster (100 without rows).
double visiblePercent(const RawLevel& l);

// Number of the 8 corners of the world's box (1 unit in) that lie in open
// space with a cluster: a sealed compile fills its outside, so any such
// corner means the level's outside was left open and cut into clusters.
int openCorners(const RawLevel& l);

// The clusters a player can be in, ours and the reference's: those holding
// open space our compile reached by its flood from the entities (the only
// leaves it gives clusters). Found by sample points: some in each of our
// open leaves and the random ones of the solid check; each marks our
// cluster and the reference's at that point. The reference's clusters in
// the void outside the walls, which no one sees from, are left out.
struct InsideClusters {
    std::vector<char> ours, ref;

    InsideClusters(const RawLevel& mine, const RawLevel& reference);

    // Marks the clusters at p (ours) and p * scale (reference's) when p is
    // open space inside our level; false otherwise.
    bool mark(const RawLevel& mine, const RawLevel& reference, double scale, const double p[3]);

    // Up to 64 points in the box of each of our open leaves (the middle
    // first) until one lies in the leaf's open space; slivers too thin for
    // a player are mostly missed.
    void sampleLeaves(const RawLevel& mine, const RawLevel& reference, double scale);
};

// Mean percentage of the inside clusters visible from an inside cluster
// (100 without rows).
double insideVisiblePercent(const RawLevel& l, const std::vector<char>& inside);

// Mean percentage of the open space a point sees: over random points open
// in both levels and inside ours, the share of those points lying in the
// clusters visible from the point's cluster (`clusterOf`: per point). Unlike
// the shares per cluster this does not hang on how finely space is cut.
double seenSpacePercent(const RawLevel& l, const std::vector<int>& clusterOf);
