#pragma once
// The brushes of a level and the texture records their sides use.
#include <cstdint>
#include <string>
#include <vector>
#include "Diagnostics.h"
#include "MapMath.h"
#include "MapParser.h"
#include "PlaneSet.h"

namespace mapc {

// One texture record of the level: a name with the content and surface
// bits of the sides (or brushes) that use it.
struct TextureRecord {
    std::string name;  // "textures/" + the source name
    int contents = 1;
    int flags = 0;
};

struct BrushSide {
    int plane = -1;  // outward
    int texture = 0;
    double offset[2] = {0, 0};
    double rotation = 0;
    double scale[2] = {1, 1};
    bool hasMatrix = false;  // brushDef texture matrix instead of offset / rotation / scale
    double matrix[2][3] = {{0, 0, 0}, {0, 0, 0}};
    bool worldTexture = false;  // the shader's q3map_tcgen: s, t = position . worldAxes
    double worldAxes[2][3] = {{0, 0, 0}, {0, 0, 0}};
    std::vector<uint8_t> cornerAlpha;  // vertex alpha per winding corner (terrain blends); empty: opaque
    int imageSize[2] = {64, 64};
    bool lightmapped = true;
    Winding winding;  // empty for bevels
    bool bevel = false;
    bool drawn = true;
};

struct Brush {
    std::vector<BrushSide> sides;
    Bounds bounds;
    int texture = 0;  // record carrying the whole brush's contents
    int contents = 1;
    bool opaque = true;      // hides the faces it covers
    bool structural = true;  // also seals the level, splits the tree, casts shadows
    int model = 0;           // 0: the world; else the entity's inline model
    int entity = -1;         // the source entity it belongs to
    int line = 0;
};

struct BrushSet {
    std::vector<TextureRecord> textures;
    std::vector<Brush> brushes;

    int textureIndex(const std::string& name, int contents, int flags);
};

class TextureLibrary;

// Gives every entity its model: the worldspawn and func_group entities are
// the world (0); every other entity with brushes or patches gets the next
// number and the key "model" "*N". An origin brush of such an entity sets its
// "origin" and its geometry is stored relative to it. Returns the model
// count; modelOf[e] is entity e's model, -1 for point entities.
int assignModels(MapFile& map, TextureLibrary& library, std::vector<int>& modelOf, Diagnostics& diag);

// Turns the brushes into closed convex brushes, world first, then model by
// model; brushes with fewer than four real sides or no volume are skipped
// with a warning.
void buildBrushes(const MapFile& map, const std::vector<int>& modelOf, TextureLibrary& library,
                  PlaneSet& planes, BrushSet& out, Diagnostics& diag);

// True when p lies inside the brush (farther than epsilon from every side).
bool pointInBrush(const Brush& b, const PlaneSet& planes, const Vec3& p, double epsilon);

} // namespace mapc
