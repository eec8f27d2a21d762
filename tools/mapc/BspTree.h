#pragma once
#include <vector>
#include "BrushSet.h"
#include "MapMath.h"
#include "PlaneSet.h"

namespace mapc {

// A node of the compiler's tree; leaves have plane -1. Leaves also carry what
// the later passes find out about them (portals, faces, cluster).
struct TreeNode {
    int plane = -1;
    int children[2] = {-1, -1};  // front, back
    int parent = -1;
    bool solid = false;

    std::vector<int> portals;
    bool outside = false;  // reachable from beyond the level
    int wayOut = -1;       // portal towards the outside, when `outside`
    bool inside = false;   // reachable from the entities: gets a cluster
    int cluster = -1;
    std::vector<int> faces;
    std::vector<int> brushes;
    Bounds bounds;

    bool isLeaf() const { return plane < 0; }
};

struct Tree {
    std::vector<TreeNode> nodes;  // node 0 is the root
    Bounds worldBounds;           // the level's box with a margin
    int outsideNode = -1;         // pseudo leaf for everything beyond the box

    // Leaf holding the point (front on ties, as the game walks).
    int leafAt(const Vec3& p, const PlaneSet& planes) const;
};

// Splits space by the structural brushes' sides until every leaf is wholly
// inside one brush (solid) or touches none. False when the tree would be
// deeper than maxDepth nodes from the root (the game reads kMaxTreeDepth);
// the tree is then unfinished and must not be written. The depth also bounds
// the recursion.
bool buildTree(const BrushSet& brushes, const PlaneSet& planes, int maxDepth, Tree& tree);

// True when the segment passes only through non-solid leaves.
bool segmentClear(const Tree& tree, const PlaneSet& planes, const Vec3& a, const Vec3& b);

} // namespace mapc
