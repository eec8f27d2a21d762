#pragma once
// The visible surfaces of the level's brushes.
#include <cstdint>
#include <vector>
#include "BrushSet.h"
#include "MapParser.h"
#include "BspTree.h"
#include "PlaneSet.h"

namespace mapc {

// The visible part of one brush side (possibly a piece of it, when it is too
// large for one lightmap block): convex pieces on one plane, and the inside
// leaves they border.
struct Surface {
    int brush = -1;
    int side = -1;
    int plane = -1;
    int texture = -1;
    int model = 0;
    std::vector<Winding> pieces;
    std::vector<int> leaves;
    bool lightmapped = true;  // false: sky and nolightmap faces get no block

    // A curved patch instead of pieces: its control grid, row after row.
    int gridSize[2] = {0, 0};
    std::vector<PatchPoint> grid;
    bool isPatch() const { return gridSize[0] > 0; }

    // A triangle mesh of a placed model instead: its vertices and three
    // indices per triangle, clockwise seen from the front.
    std::vector<PatchPoint> meshPoints;
    std::vector<int> meshIndices;
    std::vector<uint8_t> meshLight;  // r g b per point, from the lights; empty: white
    std::vector<Vec3> cornerNormals;  // lightmapped meshes: smooth normal per index
    double luxelScale = 1.0;          // lightmapped meshes: the model's "_lightmapscale"
    bool castsShadows = false;        // meshes and patches: its triangles shade the lighting of models
    bool shadesWorld = false;         // ... and of brush faces and patches too
    bool isMesh() const { return !meshIndices.empty(); }

    // Lightmap block, set by the lightmapper.
    int lightmap = -1;
    int corner[2] = {0, 0};
    int size[2] = {0, 0};
    int axes[2] = {0, 1};  // world axes used for s and t
    double origin[2] = {0, 0};  // s, t of luxel 0
    double luxel = 16.0;
};

// Drawn world brush sides with the parts covered by structural brushes or
// pressed against opaque detail brushes
// removed and the parts facing outside the level dropped. Each surviving
// surface is listed in the faces of every inside leaf it borders.
void buildSurfaces(const BrushSet& brushes, const PlaneSet& planes, Tree& tree,
                   std::vector<Surface>& out);

// Every drawn side of the models' brushes, whole, in no leaf.
void buildModelSurfaces(const BrushSet& brushes, std::vector<Surface>& out);

// Splits surfaces whose extent needs more than `maxLuxels` luxels along an
// axis at `luxel` units per luxel.
void splitLargeSurfaces(std::vector<Surface>& surfaces, const PlaneSet& planes, double luxel,
                        int maxLuxels);

// The two world axes a plane's lightmap is projected on (dominant axis left out).
void lightmapAxes(const Vec3& normal, int& s, int& t);

// Grows box by every point of the surface: pieces, patch grid and mesh.
void surfaceBounds(const Surface& s, Bounds& box);

} // namespace mapc
