#pragma once
#include <string>
#include <utility>
#include <vector>
#include "Diagnostics.h"
#include "MapMath.h"

namespace mapc {

// One brush side as written: three points, a texture and its placement, and
// the optional trailing content / surface numbers.
struct MapSide {
    Vec3 points[3];
    std::string texture;
    double offset[2] = {0.0, 0.0};
    double rotation = 0.0;
    double scale[2] = {1.0, 1.0};
    int contents = -1;  // -1: not written, taken from the texture name
    int flags = 0;
    int line = 0;
};

struct MapBrush {
    std::vector<MapSide> sides;
    int line = 0;
};

struct MapEntity {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::vector<MapBrush> brushes;
    int line = 0;

    // First value of the key, or nullptr.
    const char* value(const char* key) const;
    bool vector(const char* key, Vec3& out) const;
    double number(const char* key, double fallback) const;
};

struct MapFile {
    std::vector<MapEntity> entities;
};

// Longest key or value the game's entity reader keeps.
constexpr size_t kMaxKeyLength = 99;
// Longest texture name that fits the record after "textures/".
constexpr size_t kMaxTextureName = 63 - 9;
constexpr int kMaxSidesPerBrush = 128;
constexpr double kMaxCoordinate = 65536.0;

// Parses the classic brush format. False with the error (and its line) in
// diag on the first malformed construct.
bool parseMap(const std::string& text, MapFile& out, Diagnostics& diag);

} // namespace mapc
