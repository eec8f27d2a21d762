#pragma once
// Checking a level's indices and ranges before use.
#include <cstddef>
#include <cstdint>

struct BspData;

// first..first+count inside 0..total, without overflow.
inline bool rangeInside(int32_t first, int32_t count, int32_t total)
{
    return first >= 0 && count >= 0 && int64_t(first) + count <= total;
}

inline bool indexInside(int32_t index, int32_t total) { return index >= 0 && index < total; }

// Deepest node tree accepted; bounds every recursive walk of the level.
constexpr int kMaxTreeDepth = 1024;

// Checks every index the game later follows against its count: node planes
// and children (a tree from node 0, no node reached twice), leaf face and
// brush ranges, leaf clusters against the visibility rows, face vertex and
// mesh-vertex ranges and values, face and brush textures, brush sides and
// their planes, leaf-face and leaf-brush values. False with the first
// problem written to `problem`.
bool validateLevel(const BspData& data, char* problem, size_t problemSize);
