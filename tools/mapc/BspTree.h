#pragma once
// The compiler's BSP tree: nodes, leaves and what later passes learn about them.
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

// A piece of a brush side the tree is to be split on.
struct SplitFace {
    int plane = -1;  // the side's own (outward) plane
    Winding winding;
    bool hint = false;  // hint sides split first
};

// Splits space by the structural brushes' sides until every leaf is wholly
// inside one brush (solid) or touches none. With a hull (the visible faces of
// a first tree, see visibleHull) its faces split first, hints before the
// rest; a node holding none of them is finished by the brushes' sides, which
// then only part solid from unreachable space: the hidden sides of touching
// brushes make no clusters. False when the tree would be deeper than
// maxDepth nodes from the root (the game reads kMaxTreeDepth); the tree is
// then unfinished and must not be written. The depth also bounds the
// recursion.
// Open space spanning a line of the `blocks` grid (axial planes) is cut
// there before the faces split it.
bool buildTree(const BrushSet& brushes, const PlaneSet& planes, int maxDepth, Tree& tree,
               const std::vector<SplitFace>* hull = nullptr, const std::vector<int>* blocks = nullptr);

// The planes x = k * size.x, y = k * size.y and z = k * size.z across the
// box; a size of 0 leaves its axis uncut, and an axis the box would cut into
// more than `mostBlocks` blocks gets a larger multiple of its size.
std::vector<int> blockPlanes(const Bounds& box, const Vec3& size, int mostBlocks, PlaneSet& planes);

// Pushes a winding lying on `plane` down the tree and collects its parts in
// inside, open leaves; `lost` is set when some part falls elsewhere.
void insideParts(const Tree& tree, const PlaneSet& planes, int plane, const Winding& w,
                 std::vector<std::pair<int, Winding>>& kept, bool& lost);

// The parts of the structural brushes' sides that face an inside leaf of
// the tree, the inside parts of the hint sides, and of areaportal brushes
// (so a door's portal bounds its clusters).
void visibleHull(const BrushSet& brushes, const PlaneSet& planes, const Tree& tree,
                 std::vector<SplitFace>& out);

// The point where the segment from a first enters a solid leaf, and the
// open leaf it left for it (-1 when it starts in solid); false when it never does.
bool firstSolidHit(const Tree& tree, const PlaneSet& planes, const Vec3& a, const Vec3& b, Vec3& hit, int& lastOpen);

// True when the segment passes only through non-solid leaves.
bool segmentClear(const Tree& tree, const PlaneSet& planes, const Vec3& a, const Vec3& b);

} // namespace mapc
