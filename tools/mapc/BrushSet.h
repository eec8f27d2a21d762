#pragma once
#include <string>
#include <vector>
#include "Diagnostics.h"
#include "MapMath.h"
#include "MapParser.h"
#include "PlaneSet.h"

namespace mapc {

constexpr int kContentsSolidBit = 1;  // collides, as the game reads it

// Surface flag: the side makes no face (Q3's nodraw bit).
constexpr int kSurfaceNodraw = 0x80;

// How a texture name marks its brushes. A trailing content number on the
// side line overrides the contents; names whose last part starts with
// "nodraw" are solid but never drawn; names starting with "clip" are solid,
// never drawn, and neither seal the level nor cast shadows.
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
    Winding winding;  // empty for bevels
    bool bevel = false;
    bool drawn = true;
};

struct Brush {
    std::vector<BrushSide> sides;
    Bounds bounds;
    int texture = 0;
    int contents = 1;
    bool structural = true;  // seals the level, splits the tree, hides faces, casts shadows
    int line = 0;
};

struct BrushSet {
    std::vector<TextureRecord> textures;
    std::vector<Brush> brushes;

    int textureIndex(const std::string& name, int contents, int flags);
};

// Turns the worldspawn brushes into closed convex brushes; brushes with
// fewer than four real sides or no volume are skipped with a warning.
void buildBrushes(const MapFile& map, PlaneSet& planes, BrushSet& out, Diagnostics& diag);

// True when p lies inside the brush (farther than epsilon from every side).
bool pointInBrush(const Brush& b, const PlaneSet& planes, const Vec3& p, double epsilon);

} // namespace mapc
