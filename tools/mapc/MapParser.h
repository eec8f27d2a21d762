#pragma once
// The .map source as read: entities, brush sides and patches.
#include <string>
#include <utility>
#include <vector>
#include "Diagnostics.h"
#include "MapMath.h"

namespace mapc {

// One brush side as written: three points, a texture and its placement
// (either the classic offset / rotation / scale or a brush-primitive texture
// matrix), and the trailing content flags, surface flags and value.
struct MapSide {
    Vec3 points[3];
    std::string texture;
    double offset[2] = {0.0, 0.0};
    double rotation = 0.0;
    double scale[2] = {1.0, 1.0};
    bool hasMatrix = false;           // brushDef: texture matrix instead of the above
    double matrix[2][3] = {{1.0 / 128, 0, 0}, {0, 1.0 / 128, 0}};
    int contents = 0;                 // 0: the texture's own contents
    int flags = 0;                    // added to the texture's own surface flags
    int value = 0;
    int line = 0;

    // The classic texture scale along axis i; editors write 0 for 1.
    double textureScale(int i) const { return scale[i] == 0.0 ? 1.0 : scale[i]; }
};

struct MapBrush {
    std::vector<MapSide> sides;
    int line = 0;
};

// A control point of a curved patch: position and texture coordinate.
struct PatchPoint {
    Vec3 position;
    double st[2] = {0.0, 0.0};
};

// patchDef2: a grid of width x height control points, row after row
// (index = row * width + column), biquadratic between every other point.
struct MapPatch {
    std::string texture;
    int width = 0;
    int height = 0;
    std::vector<PatchPoint> points;
    int line = 0;
};

struct MapEntity {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::vector<MapBrush> brushes;
    std::vector<MapPatch> patches;
    int line = 0;

    // First value of the key, or nullptr.
    const char* value(const char* key) const;
    bool vector(const char* key, Vec3& out) const;
    double number(const char* key, double fallback) const;
    void set(const std::string& key, const std::string& value);
};

struct MapFile {
    std::vector<MapEntity> entities;
};

// Longest texture name that fits the record after "textures/".
constexpr size_t kMaxTextureName = 63 - 9;
constexpr int kMaxSidesPerBrush = 128;
constexpr double kMaxCoordinate = 65536.0;
// Largest patch grid side; odd, as every patch side must be.
constexpr int kMaxPatchSide = 65;

// Parses the brush format as level editors write it: classic and brushDef
// brushes, patchDef2 patches, keys of any length, // and /* */ comments.
// False with the error (and its line) in diag on the first malformed
// construct.
bool parseMap(const std::string& text, MapFile& out, Diagnostics& diag);

} // namespace mapc
