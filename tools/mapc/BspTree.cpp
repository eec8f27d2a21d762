// Building the compiler's BSP tree from the structural brushes.
#include "BspTree.h"
#include <algorithm>
#include <cstdlib>
#include "ContentFlags.h"

namespace mapc {

namespace {

struct FragFace {
    int plane;  // outward
    Winding winding;
};

// The part of one structural brush that lies inside the current node.
struct Fragment {
    std::vector<FragFace> faces;
    Bounds bounds;
};

constexpr int kMaxCandidates = 48;

void refreshBounds(Fragment& f)
{
    f.bounds = Bounds();
    for (const FragFace& ff : f.faces)
        for (const Vec3& p : ff.winding) f.bounds.add(p);
}

// -1 back, 1 front, 0 both.
int fragmentSide(const Fragment& f, const Plane& p)
{
    // Quick answer from the box for axial planes.
    for (int i = 0; i < 3; ++i) {
        if (std::fabs(p.normal[i]) != 1.0) continue;
        double lo = p.normal[i] > 0 ? f.bounds.mins[i] - p.dist : -f.bounds.maxs[i] - p.dist;
        double hi = p.normal[i] > 0 ? f.bounds.maxs[i] - p.dist : -f.bounds.mins[i] - p.dist;
        if (lo >= -kOnEpsilon) return 1;
        if (hi <= kOnEpsilon) return -1;
        return 0;
    }
    bool front = false, back = false;
    for (const FragFace& ff : f.faces)
        for (const Vec3& v : ff.winding) {
            double d = p.distanceTo(v);
            if (d > kOnEpsilon) front = true;
            else if (d < -kOnEpsilon) back = true;
        }
    if (front && back) return 0;
    return front ? 1 : -1;
}

// Cuts the fragment by plane `pi`; false when one half is only a sliver (the
// fragment is then kept whole on the side of its bulk).
bool splitFragment(const Fragment& f, int pi, const PlaneSet& planes, Fragment& front, Fragment& back)
{
    const Plane& p = planes[pi];
    front.faces.clear();
    back.faces.clear();
    for (const FragFace& ff : f.faces) {
        Winding fw, bw;
        splitWinding(ff.winding, p, kOnEpsilon, fw, bw);
        if (!fw.empty()) front.faces.push_back({ff.plane, fw});
        if (!bw.empty()) back.faces.push_back({ff.plane, bw});
    }
    // The cap on the cutting plane closes both halves.
    Winding cap = baseWinding(p);
    for (const FragFace& ff : f.faces) {
        clipWinding(cap, planes[ff.plane ^ 1], kOnEpsilon);
        if (cap.empty()) break;
    }
    if (cap.empty() || front.faces.size() < 3 || back.faces.size() < 3) return false;
    back.faces.push_back({pi, cap});
    Winding flippedCap(cap.rbegin(), cap.rend());
    front.faces.push_back({pi ^ 1, flippedCap});
    refreshBounds(front);
    refreshBounds(back);
    return true;
}

// -1 back, 1 front, 0 both; a face lying on the plane counts as front.
int faceSide(const SplitFace& f, const Plane& p)
{
    bool front = false, back = false;
    for (const Vec3& v : f.winding) {
        double d = p.distanceTo(v);
        if (d > kOnEpsilon) front = true;
        else if (d < -kOnEpsilon) back = true;
        if (front && back) return 0;
    }
    return back ? -1 : 1;
}

class Builder {
public:
    Builder(const PlaneSet& p, Tree& t, int depth, const std::vector<int>* b)
        : planes(p), tree(t), blocks(b), used(static_cast<size_t>(p.size() / 2 + 1), 0), maxDepth(depth)
    {
    }

    bool tooDeep = false;

    // depth: this node's, the root's being 1, as the game counts.
    int build(std::vector<Fragment>& frags, std::vector<SplitFace>& faces, int parent, int depth)
    {
        int index = static_cast<int>(tree.nodes.size());
        tree.nodes.emplace_back();
        tree.nodes[static_cast<size_t>(index)].parent = parent;

        // Solid when some fragment is bounded only by planes already used
        // above: it then fills this node.
        std::vector<int> candidates;
        for (const Fragment& f : frags) {
            bool fills = true;
            for (const FragFace& ff : f.faces) {
                if (used[static_cast<size_t>(ff.plane >> 1)]) continue;
                fills = false;
                candidates.push_back(ff.plane & ~1);
            }
            if (fills) {
                tree.nodes[static_cast<size_t>(index)].solid = true;
                return index;
            }
        }
        // Visible faces split first; where none is left the region holds no
        // open inside space beside solid, and the brushes' own sides finish
        // it into solid and unreachable leaves.
        const bool byFaces = !faces.empty();
        if (byFaces) {
            candidates.clear();
            bool anyHint = false;
            for (const SplitFace& f : faces) anyHint = anyHint || f.hint;
            for (const SplitFace& f : faces)
                if (f.hint == anyHint) candidates.push_back(f.plane & ~1);
        }
        if (candidates.empty()) return index;  // empty leaf
        if (depth > maxDepth || tooDeep) {
            tooDeep = true;  // stopped here; the caller refuses the level
            return index;
        }

        std::sort(candidates.begin(), candidates.end());
        candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
        int split = byFaces ? blockSplit(faces) : -1;
        if (split < 0) split = byFaces ? chooseFaceSplit(faces, candidates) : chooseSplit(frags, candidates);

        std::vector<Fragment> frontList, backList;
        const Plane& sp = planes[split];
        for (Fragment& f : frags) {
            int side = fragmentSide(f, sp);
            if (side > 0) { frontList.push_back(std::move(f)); continue; }
            if (side < 0) { backList.push_back(std::move(f)); continue; }
            Fragment fr, bk;
            if (splitFragment(f, split, planes, fr, bk)) {
                frontList.push_back(std::move(fr));
                backList.push_back(std::move(bk));
            } else {
                // Keep the sliver with the side that holds most of it.
                double lo = 0, hi = 0;
                for (const FragFace& ff : f.faces)
                    for (const Vec3& v : ff.winding) {
                        double d = sp.distanceTo(v);
                        lo = std::min(lo, d);
                        hi = std::max(hi, d);
                    }
                (hi > -lo ? frontList : backList).push_back(std::move(f));
            }
        }
        frags.clear();
        frags.shrink_to_fit();
        std::vector<SplitFace> frontFaces, backFaces;
        for (SplitFace& f : faces) {
            if ((f.plane >> 1) == (split >> 1)) continue;  // this node splits on it
            Winding fw, bw;
            splitWinding(f.winding, sp, kOnEpsilon, fw, bw);
            if (!fw.empty()) frontFaces.push_back({f.plane, std::move(fw), f.hint});
            if (!bw.empty()) backFaces.push_back({f.plane, std::move(bw), f.hint});
        }
        faces.clear();
        faces.shrink_to_fit();

        used[static_cast<size_t>(split >> 1)] = 1;
        int front = build(frontList, frontFaces, index, depth + 1);
        int back = build(backList, backFaces, index, depth + 1);
        used[static_cast<size_t>(split >> 1)] = 0;
        TreeNode& n = tree.nodes[static_cast<size_t>(index)];
        n.plane = split;
        n.children[0] = front;
        n.children[1] = back;
        return index;
    }

private:
    static long axialPenalty(const Plane& p)
    {
        bool axial = std::fabs(p.normal.x) == 1.0 || std::fabs(p.normal.y) == 1.0 || std::fabs(p.normal.z) == 1.0;
        return axial ? 0 : 8;
    }

    // Open space wider than a block is first cut on the block grid (the
    // grid line nearest the middle of the faces), so large open areas get
    // several clusters; -1 when the faces fit in one block.
    int blockSplit(const std::vector<SplitFace>& faces) const
    {
        if (!blocks || blocks->empty()) return -1;
        Bounds box;
        for (const SplitFace& f : faces)
            for (const Vec3& v : f.winding) box.add(v);
        int best = -1;
        double bestDistance = 1e30;
        for (int plane : *blocks) {
            const Plane& p = planes[plane];
            int axis = std::fabs(p.normal.x) == 1.0 ? 0 : std::fabs(p.normal.y) == 1.0 ? 1 : 2;
            double at = p.normal[axis] * p.dist;
            if (used[static_cast<size_t>(plane >> 1)] || at <= box.mins[axis] + 1.0 || at >= box.maxs[axis] - 1.0) continue;
            double distance = std::fabs(at - 0.5 * (box.mins[axis] + box.maxs[axis]));
            if (distance < bestDistance) {
                bestDistance = distance;
                best = plane;
            }
        }
        return best;
    }

    // The candidate with the lowest score (a sample of them when many).
    template <typename Score>
    static int lowestScore(const std::vector<int>& candidates, Score score)
    {
        size_t step = candidates.size() > kMaxCandidates ? candidates.size() / kMaxCandidates + 1 : 1;
        int best = candidates[0];
        long bestScore = 0x7fffffff;
        for (size_t c = 0; c < candidates.size(); c += step) {
            long value = score(candidates[c]);
            if (value < bestScore) {
                bestScore = value;
                best = candidates[c];
            }
        }
        return best;
    }

    int chooseSplit(const std::vector<Fragment>& frags, const std::vector<int>& candidates)
    {
        return lowestScore(candidates, [&](int plane) {
            const Plane& p = planes[plane];
            long front = 0, back = 0, splits = 0;
            for (const Fragment& f : frags) {
                int s = fragmentSide(f, p);
                if (s > 0) ++front;
                else if (s < 0) ++back;
                else ++splits;
            }
            return splits * 5 + std::labs(front - back) + axialPenalty(p);
        });
    }

    // Fewest faces cut, then the most even halves; the faces on the plane
    // are used up and count for it.
    int chooseFaceSplit(const std::vector<SplitFace>& faces, const std::vector<int>& candidates)
    {
        return lowestScore(candidates, [&](int plane) {
            const Plane& p = planes[plane];
            long front = 0, back = 0, splits = 0, on = 0;
            for (const SplitFace& f : faces) {
                if ((f.plane >> 1) == (plane >> 1)) {
                    ++on;
                    continue;
                }
                int s = faceSide(f, p);
                if (s > 0) ++front;
                else if (s < 0) ++back;
                else ++splits;
            }
            return splits * 5 + std::labs(front - back) - on * 5 + axialPenalty(p);
        });
    }

    const PlaneSet& planes;
    Tree& tree;
    const std::vector<int>* blocks;  // grid planes, may be null
    std::vector<char> used;
    int maxDepth;
};

// Front to back along a..b; stops at the first solid leaf.
bool firstSolidFrom(const Tree& tree, const PlaneSet& planes, int node, const Vec3& a, const Vec3& b, Vec3& hit,
                    int& lastOpen)
{
    for (;;) {
        const TreeNode& n = tree.nodes[static_cast<size_t>(node)];
        if (n.isLeaf()) {
            if (n.solid) {
                hit = a;
                return true;
            }
            lastOpen = node;
            return false;
        }
        const Plane& p = planes[n.plane];
        double da = p.distanceTo(a), db = p.distanceTo(b);
        if (da >= 0 && db >= 0) { node = n.children[0]; continue; }
        if (da < 0 && db < 0) { node = n.children[1]; continue; }
        Vec3 mid = a + (b - a) * (da / (da - db));
        int nearSide = da >= 0 ? 0 : 1;
        if (firstSolidFrom(tree, planes, n.children[nearSide], a, mid, hit, lastOpen)) return true;
        return firstSolidFrom(tree, planes, n.children[nearSide ^ 1], mid, b, hit, lastOpen);
    }
}

void insidePartsFrom(const Tree& tree, const PlaneSet& planes, int node, int plane, const Winding& w,
                     std::vector<std::pair<int, Winding>>& kept, bool& lost)
{
    const TreeNode& n = tree.nodes[static_cast<size_t>(node)];
    if (n.isLeaf()) {
        if (n.inside && !n.solid) kept.emplace_back(node, w);
        else lost = true;
        return;
    }
    if ((n.plane >> 1) == (plane >> 1)) {
        insidePartsFrom(tree, planes, n.children[n.plane == plane ? 0 : 1], plane, w, kept, lost);
        return;
    }
    Winding front, back;
    splitWinding(w, planes[n.plane], kOnEpsilon, front, back);
    if (front.empty() && back.empty()) {
        // Rounding put it on the plane: let its facing decide.
        bool sameFacing = planes[n.plane].normal.dot(planes[plane].normal) > 0;
        insidePartsFrom(tree, planes, n.children[sameFacing ? 0 : 1], plane, w, kept, lost);
        return;
    }
    if (!front.empty()) insidePartsFrom(tree, planes, n.children[0], plane, front, kept, lost);
    if (!back.empty()) insidePartsFrom(tree, planes, n.children[1], plane, back, kept, lost);
}

} // namespace

int Tree::leafAt(const Vec3& p, const PlaneSet& planes) const
{
    int node = 0;
    while (!nodes[static_cast<size_t>(node)].isLeaf()) {
        const TreeNode& n = nodes[static_cast<size_t>(node)];
        node = planes[n.plane].distanceTo(p) >= 0 ? n.children[0] : n.children[1];
    }
    return node;
}

bool buildTree(const BrushSet& brushes, const PlaneSet& planes, int maxDepth, Tree& tree,
               const std::vector<SplitFace>* hull, const std::vector<int>* blocks)
{
    tree.nodes.clear();
    std::vector<Fragment> frags;
    Bounds world;
    for (const Brush& b : brushes.brushes) {
        if (!b.structural) continue;
        Fragment f;
        for (const BrushSide& s : b.sides)
            if (!s.bevel) f.faces.push_back({s.plane, s.winding});
        refreshBounds(f);
        world.add(f.bounds);
        frags.push_back(std::move(f));
    }
    std::vector<SplitFace> faces;
    if (hull) faces = *hull;
    Builder builder(planes, tree, maxDepth, blocks);
    builder.build(frags, faces, -1, 1);
    tree.worldBounds = world;
    return !builder.tooDeep;
}

void insideParts(const Tree& tree, const PlaneSet& planes, int plane, const Winding& w,
                 std::vector<std::pair<int, Winding>>& kept, bool& lost)
{
    insidePartsFrom(tree, planes, 0, plane, w, kept, lost);
}

void visibleHull(const BrushSet& brushes, const PlaneSet& planes, const Tree& tree, std::vector<SplitFace>& out)
{
    out.clear();
    for (const Brush& b : brushes.brushes) {
        if (b.model != 0) continue;
        const bool portal = (b.contents & (kContentsAreaPortal | kContentsClusterPortal)) != 0;
        for (const BrushSide& s : b.sides) {
            if (s.bevel || s.winding.empty()) continue;
            const bool hint = (brushes.textures[static_cast<size_t>(s.texture)].flags & kSurfHint) != 0;
            if (!b.structural && !hint && !portal) continue;
            std::vector<std::pair<int, Winding>> kept;
            bool lost = false;
            insideParts(tree, planes, s.plane, s.winding, kept, lost);
            for (auto& k : kept) out.push_back({s.plane, std::move(k.second), hint});
        }
    }
}

bool firstSolidHit(const Tree& tree, const PlaneSet& planes, const Vec3& a, const Vec3& b, Vec3& hit, int& lastOpen)
{
    lastOpen = -1;
    if (tree.nodes.empty()) return false;
    return firstSolidFrom(tree, planes, 0, a, b, hit, lastOpen);
}

std::vector<int> blockPlanes(const Bounds& box, const Vec3& size, int mostBlocks, PlaneSet& planes)
{
    std::vector<int> out;
    if (!box.valid()) return out;
    for (int axis = 0; axis < 3; ++axis) {
        if (size[axis] <= 0.0) continue;
        const double extent = box.maxs[axis] - box.mins[axis];
        const double step = std::max(size[axis], std::ceil(extent / mostBlocks / size[axis]) * size[axis]);
        for (double at = std::ceil(box.mins[axis] / step) * step; at < box.maxs[axis]; at += step) {
            Plane p;
            p.normal[axis] = 1.0;
            p.dist = at;
            out.push_back(planes.find(p));
        }
    }
    return out;
}

bool segmentClear(const Tree& tree, const PlaneSet& planes, const Vec3& a, const Vec3& b)
{
    Vec3 hit;
    int lastOpen;
    return !firstSolidHit(tree, planes, a, b, hit, lastOpen);
}

} // namespace mapc
