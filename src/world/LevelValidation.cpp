// Checking every index of a level read from disk before the game follows it.
#include "world/LevelValidation.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "world/BspData.h"

namespace {

// A range check that names what failed: "OWNER N WHAT first+count out of
// range (total)".
bool checkRange(int32_t first, int32_t count, int32_t total, const char* owner, int index,
                const char* what, char* problem, size_t size)
{
    if (rangeInside(first, count, total))
        return true;
    snprintf(problem, size, "%s %d %s %d+%d out of range (%d)", owner, index, what, first, count, total);
    return false;
}

// An index check that names what failed: "OWNER N WHAT index out of range
// (total WHATs)".
bool checkIndex(int32_t index, int32_t total, const char* owner, int number, const char* what,
                char* problem, size_t size)
{
    if (indexInside(index, total))
        return true;
    snprintf(problem, size, "%s %d %s %d out of range (%d %ss)", owner, number, what, index, total, what);
    return false;
}

bool validateTree(const BspData& d, char* problem, size_t size)
{
    if (d.nodeCount < 1 || d.leafCount < 1) {
        snprintf(problem, size, "level has %d nodes and %d leaves", d.nodeCount, d.leafCount);
        return false;
    }
    for (int i = 0; i < d.nodeCount; i++) {
        const bsp::BspNode& node = d.nodes[i];
        if (!checkIndex(node.plane, d.planeCount, "node", i, "plane", problem, size))
            return false;
        for (int c = 0; c < 2; c++) {
            int32_t child = node.children[c];
            if (child >= 0 ? !indexInside(child, d.nodeCount) : !indexInside(~child, d.leafCount)) {
                snprintf(problem, size, "node %d child %d out of range (%d nodes, %d leaves)", i,
                         child, d.nodeCount, d.leafCount);
                return false;
            }
        }
    }
    // Every walk starts at node 0: it must reach each node at most once.
    std::vector<uint8_t> seen(size_t(d.nodeCount), 0);
    std::vector<std::pair<int32_t, int32_t>> stack;  // node, depth
    stack.push_back({0, 1});
    seen[0] = 1;
    while (!stack.empty()) {
        auto [node, depth] = stack.back();
        stack.pop_back();
        if (depth > kMaxTreeDepth) {
            snprintf(problem, size, "node tree deeper than %d", kMaxTreeDepth);
            return false;
        }
        for (int c = 0; c < 2; c++) {
            int32_t child = d.nodes[node].children[c];
            if (child < 0)
                continue;
            if (seen[size_t(child)]) {
                snprintf(problem, size, "node %d is reached twice from the root", child);
                return false;
            }
            seen[size_t(child)] = 1;
            stack.push_back({child, depth + 1});
        }
    }
    return true;
}

bool validateLeaves(const BspData& d, char* problem, size_t size)
{
    for (int i = 0; i < d.leafCount; i++) {
        const bsp::BspLeaf& leaf = d.leaves[i];
        if (!checkRange(leaf.firstLeafFace, leaf.leafFaceCount, d.leafFaceCount, "leaf", i, "leaf faces",
                        problem, size))
            return false;
        if (!checkRange(leaf.firstLeafBrush, leaf.leafBrushCount, d.leafBrushCount, "leaf", i, "leaf brushes",
                        problem, size))
            return false;
        // Cluster -1 (no cluster) reads inside the camera's row; anything
        // else outside the rows would not.
        if (d.visBits && (leaf.cluster < -1 || leaf.cluster >= d.visClusterCount)) {
            snprintf(problem, size, "leaf %d cluster %d out of range (%d clusters)", i,
                     leaf.cluster, d.visClusterCount);
            return false;
        }
    }
    for (int i = 0; i < d.leafFaceCount; i++) {
        if (!indexInside(d.leafFaces[i], d.faceCount)) {
            snprintf(problem, size, "leaf face %d names face %d (%d faces)", i, d.leafFaces[i],
                     d.faceCount);
            return false;
        }
    }
    for (int i = 0; i < d.leafBrushCount; i++) {
        if (!indexInside(d.leafBrushes[i], d.brushCount)) {
            snprintf(problem, size, "leaf brush %d names brush %d (%d brushes)", i,
                     d.leafBrushes[i], d.brushCount);
            return false;
        }
    }
    if (d.visBits && int64_t(d.visBytesPerCluster) * 8 < d.visClusterCount) {
        snprintf(problem, size, "visibility rows of %d bytes cannot hold %d clusters",
                 d.visBytesPerCluster, d.visClusterCount);
        return false;
    }
    return true;
}

bool validateFaces(const BspData& d, char* problem, size_t size)
{
    for (int i = 0; i < d.faceCount; i++) {
        const bsp::BspFace& face = d.faces[i];
        if (!checkIndex(face.texture, d.textureCount, "face", i, "texture", problem, size))
            return false;
        // Patches and billboards are never drawn, so their ranges are not followed.
        if (face.type == bsp::FacePatch || face.type == bsp::FaceBillboard)
            continue;
        if (!checkRange(face.firstVertex, face.vertexCount, d.vertexCount, "face", i, "vertices",
                        problem, size))
            return false;
        if (!checkRange(face.firstMeshVertex, face.meshVertexCount, d.meshVertexCount, "face", i, "mesh vertices",
                        problem, size))
            return false;
        for (int k = 0; k < face.meshVertexCount; k++) {
            int32_t index = d.meshVertices[face.firstMeshVertex + k];
            if (!indexInside(index, face.vertexCount)) {
                snprintf(problem, size, "face %d mesh vertex %d is %d (%d vertices)", i, k,
                         index, face.vertexCount);
                return false;
            }
        }
    }
    return true;
}

bool validateBrushes(const BspData& d, char* problem, size_t size)
{
    for (int i = 0; i < d.brushCount; i++) {
        const bsp::BspBrush& brush = d.brushes[i];
        if (!checkRange(brush.firstSide, brush.sideCount, d.brushSideCount, "brush", i, "sides",
                        problem, size))
            return false;
        if (!checkIndex(brush.texture, d.textureCount, "brush", i, "texture", problem, size))
            return false;
    }
    for (int i = 0; i < d.brushSideCount; i++) {
        if (!checkIndex(d.brushSides[i].plane, d.planeCount, "brush side", i, "plane", problem, size))
            return false;
    }
    return true;
}

} // namespace

bool validateLevel(const BspData& data, char* problem, size_t problemSize)
{
    return validateTree(data, problem, problemSize) &&
           validateLeaves(data, problem, problemSize) &&
           validateFaces(data, problem, problemSize) &&
           validateBrushes(data, problem, problemSize);
}
