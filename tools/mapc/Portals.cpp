// Cutting the portals between leaves and flooding over them to find leaks and the inside.
#include "Portals.h"
#include <algorithm>
#include <cmath>
#include <deque>
#include <unordered_set>

namespace mapc {

namespace {

constexpr double kHeadMargin = 64.0;
// Openings narrower than this (seams of brushes that almost meet) do not
// connect the leaves for the leak and inside floods.
constexpr double kMinOpening = 0.25;

// Width across the longest edge: twice the area over that edge's length.
bool isNarrow(const Winding& w)
{
    double longest = 0.0;
    for (size_t i = 0; i < w.size(); ++i) longest = std::max(longest, (w[(i + 1) % w.size()] - w[i]).length());
    return longest <= 0.0 || 2.0 * windingArea(w) / longest < kMinOpening;
}

void attach(Tree& tree, PortalSet& set, int index)
{
    const Portal& p = set.portals[static_cast<size_t>(index)];
    tree.nodes[static_cast<size_t>(p.leaves[0])].portals.push_back(index);
    tree.nodes[static_cast<size_t>(p.leaves[1])].portals.push_back(index);
}

void detach(Tree& tree, const PortalSet& set, int index, int node)
{
    std::vector<int>& list = tree.nodes[static_cast<size_t>(node)].portals;
    list.erase(std::remove(list.begin(), list.end(), index), list.end());
    (void)set;
}

void makeHeadPortals(Tree& tree, const PlaneSet& planes, PortalSet& set)
{
    Bounds box = tree.worldBounds;
    // Inward-facing planes of the box; the root lies in front of each.
    Plane sides[6];
    for (int axis = 0; axis < 3; ++axis) {
        sides[axis * 2].normal[axis] = 1.0;
        sides[axis * 2].dist = box.mins[axis];
        sides[axis * 2 + 1].normal[axis] = -1.0;
        sides[axis * 2 + 1].dist = -box.maxs[axis];
    }
    for (int i = 0; i < 6; ++i) {
        Portal p;
        p.plane = -1 - i;  // box planes are not level planes
        p.winding = baseWinding(sides[i]);
        for (int j = 0; j < 6; ++j)
            if (j != i && (j >> 1) != (i >> 1)) clipWinding(p.winding, sides[j], 0.0);
        p.leaves[0] = 0;
        p.leaves[1] = tree.outsideNode;
        set.portals.push_back(p);
        attach(tree, set, static_cast<int>(set.portals.size()) - 1);
    }
    (void)planes;
}

Plane portalPlane(const Portal& p, const PlaneSet& planes, const Bounds& box)
{
    if (p.plane >= 0) return planes[p.plane];
    int i = -1 - p.plane;
    Plane s;
    int axis = i >> 1;
    if ((i & 1) == 0) { s.normal[axis] = 1.0; s.dist = box.mins[axis]; }
    else { s.normal[axis] = -1.0; s.dist = -box.maxs[axis]; }
    return s;
}

void portalize(Tree& tree, const PlaneSet& planes, PortalSet& set, int node)
{
    if (tree.nodes[static_cast<size_t>(node)].isLeaf()) return;
    const int planeIndex = tree.nodes[static_cast<size_t>(node)].plane;
    const int front = tree.nodes[static_cast<size_t>(node)].children[0];
    const int back = tree.nodes[static_cast<size_t>(node)].children[1];
    const Plane& split = planes[planeIndex];

    // The new portal: the node plane cut down to the node's volume.
    Portal np;
    np.plane = planeIndex;
    np.winding = baseWinding(split);
    std::vector<int> existing = tree.nodes[static_cast<size_t>(node)].portals;
    for (int pi : existing) {
        const Portal& p = set.portals[static_cast<size_t>(pi)];
        Plane pp = portalPlane(p, planes, tree.worldBounds);
        clipWinding(np.winding, p.leaves[0] == node ? pp : pp.flipped(), 0.001);
        if (np.winding.empty()) break;
    }

    // Hand each of the node's portals to the child (or both) it borders.
    for (int pi : existing) {
        Portal p = set.portals[static_cast<size_t>(pi)];
        int side = p.leaves[0] == node ? 0 : 1;
        int other = p.leaves[side ^ 1];
        detach(tree, set, pi, node);
        detach(tree, set, pi, other);
        Winding fw, bw;
        splitWinding(p.winding, split, kOnEpsilon, fw, bw);
        if (fw.empty() && bw.empty()) {
            // Lies on the split plane (rounding): keep it with the front child.
            Portal& keep = set.portals[static_cast<size_t>(pi)];
            keep.leaves[side] = front;
            attach(tree, set, pi);
            continue;
        }
        if (!fw.empty() && !bw.empty()) {
            Portal& keep = set.portals[static_cast<size_t>(pi)];
            keep.winding = fw;
            keep.leaves[side] = front;
            attach(tree, set, pi);
            Portal extra = p;
            extra.winding = bw;
            extra.leaves[side] = back;
            set.portals.push_back(extra);
            attach(tree, set, static_cast<int>(set.portals.size()) - 1);
        } else {
            Portal& keep = set.portals[static_cast<size_t>(pi)];
            keep.leaves[side] = fw.empty() ? back : front;
            attach(tree, set, pi);
        }
    }
    if (!np.winding.empty()) {
        np.leaves[0] = front;
        np.leaves[1] = back;
        set.portals.push_back(np);
        attach(tree, set, static_cast<int>(set.portals.size()) - 1);
    }
    portalize(tree, planes, set, front);
    portalize(tree, planes, set, back);
}

bool passable(const Tree& tree, const Portal& p, int a, int b)
{
    return !p.narrow && !tree.nodes[static_cast<size_t>(a)].solid && !tree.nodes[static_cast<size_t>(b)].solid;
}

// Sets `across` for the portals of leaves thinner than kMinOpening, measured
// along the normal of their largest portal.
void classifyThinLeaves(const Tree& tree, const PlaneSet& planes, PortalSet& set)
{
    for (size_t li = 0; li < tree.nodes.size(); ++li) {
        const TreeNode& leaf = tree.nodes[li];
        if (!leaf.isLeaf() || leaf.solid || static_cast<int>(li) == tree.outsideNode) continue;
        const Portal* largest = nullptr;
        double largestArea = 0.0;
        for (int pi : leaf.portals) {
            const Portal& p = set.portals[static_cast<size_t>(pi)];
            double area = p.plane >= 0 ? windingArea(p.winding) : 0.0;
            if (area > largestArea) { largestArea = area; largest = &p; }
        }
        if (!largest) continue;
        const Vec3 n = planes[largest->plane].normal;
        double lo = 1e30, hi = -1e30;
        for (int pi : leaf.portals)
            for (const Vec3& v : set.portals[static_cast<size_t>(pi)].winding) {
                lo = std::min(lo, n.dot(v));
                hi = std::max(hi, n.dot(v));
            }
        if (hi - lo >= kMinOpening) continue;
        for (int pi : leaf.portals) {
            Portal& p = set.portals[static_cast<size_t>(pi)];
            int s = p.leaves[0] == static_cast<int>(li) ? 0 : 1;
            if (p.plane < 0 || std::fabs(planes[p.plane].normal.dot(n)) < 0.99) {
                p.across[s] = 2;
                continue;
            }
            double d = n.dot(windingCenter(p.winding));
            p.across[s] = static_cast<int8_t>(d - lo < hi - d ? -1 : 1);
        }
    }
}

struct FloodStep {
    int leaf;
    int8_t in;  // how it was entered: the `across` of that portal on its side
};

// Breadth first from the queued leaves through the portals `open` allows;
// `enter(leaf, portal)` is called each time a leaf is reached a new way.
template <typename Open, typename Enter>
void flood(const Tree& tree, const PortalSet& set, std::deque<FloodStep> queue, Open open, Enter enter)
{
    std::vector<uint8_t> reached(tree.nodes.size(), 0);
    for (const FloodStep& s : queue) reached[static_cast<size_t>(s.leaf)] = 0xff;
    while (!queue.empty()) {
        FloodStep at = queue.front();
        queue.pop_front();
        for (int pi : tree.nodes[static_cast<size_t>(at.leaf)].portals) {
            const Portal& p = set.portals[static_cast<size_t>(pi)];
            int side = p.leaves[0] == at.leaf ? 0 : 1;
            int other = p.leaves[side ^ 1];
            if (at.in != 0 && p.across[side] != -at.in) continue;  // along a thin leaf
            if (!open(p, at.leaf, other)) continue;
            int8_t in = p.across[side ^ 1];
            uint8_t bit = static_cast<uint8_t>(1u << (in + 1));
            if (reached[static_cast<size_t>(other)] & bit) continue;
            reached[static_cast<size_t>(other)] |= bit;
            enter(other, pi);
            if (in != 2) queue.push_back({other, in});
        }
    }
}

} // namespace

void buildPortals(Tree& tree, const PlaneSet& planes, PortalSet& out)
{
    out.portals.clear();
    Bounds box = tree.worldBounds;
    if (!box.valid()) box.add(Vec3(0, 0, 0));
    box.mins = box.mins - Vec3(kHeadMargin, kHeadMargin, kHeadMargin);
    box.maxs = box.maxs + Vec3(kHeadMargin, kHeadMargin, kHeadMargin);
    tree.worldBounds = box;
    tree.outsideNode = static_cast<int>(tree.nodes.size());
    tree.nodes.emplace_back();
    tree.nodes.back().outside = true;

    makeHeadPortals(tree, planes, out);
    portalize(tree, planes, out, 0);
    for (Portal& p : out.portals) p.narrow = p.plane >= 0 && isNarrow(p.winding);

    for (const Portal& p : out.portals)
        for (int s = 0; s < 2; ++s)
            for (const Vec3& v : p.winding) tree.nodes[static_cast<size_t>(p.leaves[s])].bounds.add(v);

    classifyThinLeaves(tree, planes, out);

    // Flood from beyond the box through open portals.
    flood(tree, out, {{tree.outsideNode, 0}},
          [&](const Portal& p, int from, int to) { return passable(tree, p, from, to); },
          [&](int leaf, int portal) {
              TreeNode& n = tree.nodes[static_cast<size_t>(leaf)];
              if (n.outside) return;
              n.outside = true;
              n.wayOut = portal;
          });
}

bool markInside(Tree& tree, const PlaneSet& planes, const PortalSet& portals, const MapFile& map,
                Diagnostics& diag)
{
    std::deque<FloodStep> queue;
    bool leaked = false;
    for (const MapEntity& e : map.entities) {
        Vec3 origin;
        if (!e.vector("origin", origin)) continue;
        const char* cls = e.value("classname");
        int leaf = tree.leafAt(origin, planes);
        TreeNode& n = tree.nodes[static_cast<size_t>(leaf)];
        if (n.solid) {
            diag.warn(e.line, "entity '%s' at (%g %g %g) is inside a brush", cls ? cls : "?", origin.x,
                      origin.y, origin.z);
            continue;
        }
        if (n.outside && !leaked) {
            // The last opening on the way out: near where the hull is open.
            int at = leaf;
            Vec3 hole = origin;
            for (int guard = 0; guard < 100000 && at != tree.outsideNode && tree.nodes[static_cast<size_t>(at)].wayOut >= 0; ++guard) {
                const Portal& p = portals.portals[static_cast<size_t>(tree.nodes[static_cast<size_t>(at)].wayOut)];
                if (p.plane >= 0) hole = windingCenter(p.winding);
                at = p.leaves[0] == at ? p.leaves[1] : p.leaves[0];
            }
            diag.warn(e.line,
                      "leak: the level is open to the outside near entity '%s' at (%g %g %g), through (%g %g %g); "
                      "every cluster is left visible",
                      cls ? cls : "?", origin.x, origin.y, origin.z, hole.x, hole.y, hole.z);
            leaked = true;
        }
        if (!n.inside) {
            n.inside = true;
            queue.push_back({leaf, 0});
        }
    }
    if (queue.empty()) {
        // Nothing to flood from: everything enclosed counts as inside.
        for (TreeNode& n : tree.nodes)
            if (n.isLeaf() && !n.solid && !n.outside) n.inside = true;
    }
    flood(tree, portals, std::move(queue),
          [&](const Portal& p, int, int to) {
              return !p.narrow && !tree.nodes[static_cast<size_t>(to)].solid && to != tree.outsideNode;
          },
          [&](int leaf, int) { tree.nodes[static_cast<size_t>(leaf)].inside = true; });
    int cluster = 0;
    for (size_t i = 0; i < tree.nodes.size(); ++i) {
        TreeNode& n = tree.nodes[i];
        if (n.isLeaf() && n.inside && static_cast<int>(i) != tree.outsideNode) n.cluster = cluster++;
    }
    return !leaked;
}

namespace {

// Past this many clusters, or openings between them (portals between two
// clusters on one plane), the flow would not finish in its time.
constexpr int kMostClusters = 4096;
constexpr size_t kMostOpenings = 1500;

template <typename Find>
int countClusters(const Tree& tree, Find& find)
{
    int clusters = 0;
    for (size_t i = 0; i < tree.nodes.size(); ++i)
        clusters += tree.nodes[i].cluster >= 0 && find(static_cast<int>(i)) == static_cast<int>(i);
    return clusters;
}

template <typename Find>
size_t countOpenings(const Tree& tree, const PortalSet& portals, Find& find)
{
    std::unordered_set<long long> seen;
    for (const Portal& p : portals.portals) {
        if (p.plane < 0) continue;
        const TreeNode& a = tree.nodes[static_cast<size_t>(p.leaves[0])];
        const TreeNode& b = tree.nodes[static_cast<size_t>(p.leaves[1])];
        if (a.cluster < 0 || b.cluster < 0 || a.solid || b.solid) continue;
        const long long ra = find(p.leaves[0]), rb = find(p.leaves[1]);
        if (ra != rb) seen.insert((ra * static_cast<long long>(tree.nodes.size()) + rb) * 4194304 + p.plane);
    }
    return seen.size();
}

} // namespace

void joinOpenLeaves(Tree& tree, const PortalSet& portals, const std::vector<char>& border, const Vec3& most)
{
    // A portal at least this share of the wider of its leaves' largest
    // portals joins them.
    constexpr double kWideShare = 0.8;
    const size_t count = tree.nodes.size();
    std::vector<double> widest(count, 0.0), area(portals.portals.size(), 0.0);
    for (size_t i = 0; i < portals.portals.size(); ++i) {
        const Portal& p = portals.portals[i];
        if (p.plane < 0) continue;
        area[i] = windingArea(p.winding);
        for (int leaf : p.leaves) widest[static_cast<size_t>(leaf)] = std::max(widest[static_cast<size_t>(leaf)], area[i]);
    }
    // Open on both sides and not on a border plane.
    auto joinable = [&](const Portal& p) {
        if (p.plane < 0 || p.narrow || (static_cast<size_t>(p.plane >> 1) < border.size() && border[static_cast<size_t>(p.plane >> 1)]))
            return false;
        const TreeNode& a = tree.nodes[static_cast<size_t>(p.leaves[0])];
        const TreeNode& b = tree.nodes[static_cast<size_t>(p.leaves[1])];
        return a.cluster >= 0 && b.cluster >= 0 && !a.solid && !b.solid;
    };
    std::vector<int> order;
    for (size_t i = 0; i < portals.portals.size(); ++i) {
        const Portal& p = portals.portals[i];
        if (!joinable(p)) continue;
        if (area[i] < kWideShare * std::max(widest[static_cast<size_t>(p.leaves[0])], widest[static_cast<size_t>(p.leaves[1])]))
            continue;
        order.push_back(static_cast<int>(i));
    }
    std::sort(order.begin(), order.end(), [&](int x, int y) { return area[static_cast<size_t>(x)] > area[static_cast<size_t>(y)]; });

    std::vector<int> root(count);
    std::vector<Bounds> box(count);
    for (size_t i = 0; i < count; ++i) {
        root[i] = static_cast<int>(i);
        box[i] = tree.nodes[i].bounds;
    }
    auto find = [&](int x) {
        while (root[static_cast<size_t>(x)] != x) x = root[static_cast<size_t>(x)] = root[static_cast<size_t>(root[static_cast<size_t>(x)])];
        return x;
    };
    for (int pi : order) {
        const Portal& p = portals.portals[static_cast<size_t>(pi)];
        const int a = find(p.leaves[0]), b = find(p.leaves[1]);
        if (a == b) continue;
        Bounds joined = box[static_cast<size_t>(a)];
        joined.add(box[static_cast<size_t>(b)]);
        bool fits = joined.valid();
        for (int axis = 0; axis < 3 && fits; ++axis) fits = joined.maxs[axis] - joined.mins[axis] <= most[axis] + 1.0;
        if (!fits) continue;
        root[static_cast<size_t>(b)] = a;
        box[static_cast<size_t>(a)] = joined;
    }
    // Too many clusters for the flow to finish: leaves open to each other
    // with their middles in one cell of a grid join too, on a coarser grid
    // until the openings between clusters are few enough.
    if (countClusters(tree, find) > kMostClusters) {
        const std::vector<int> joinedRoot = root;
        for (double scale = 1.0; scale <= 16.0; scale *= 2.0) {
            root = joinedRoot;
            auto cellOf = [&](int leaf) {
                const Bounds& b = tree.nodes[static_cast<size_t>(leaf)].bounds;
                long long key = 0;
                for (int axis = 0; axis < 3; ++axis)
                    key = key * 1048576 + 524288 +
                          static_cast<long long>(std::floor(0.5 * (b.mins[axis] + b.maxs[axis]) / (most[axis] * scale)));
                return key;
            };
            for (const Portal& p : portals.portals)
                if (joinable(p) && cellOf(p.leaves[0]) == cellOf(p.leaves[1]))
                    root[static_cast<size_t>(find(p.leaves[1]))] = find(p.leaves[0]);
            if (countOpenings(tree, portals, find) <= kMostOpenings) break;
        }
    }
    std::vector<int> numberOf(count, -1);
    int clusters = 0;
    for (size_t i = 0; i < count; ++i) {
        TreeNode& n = tree.nodes[i];
        if (n.cluster < 0) continue;
        int& number = numberOf[static_cast<size_t>(find(static_cast<int>(i)))];
        if (number < 0) number = clusters++;
        n.cluster = number;
    }
}

} // namespace mapc
