#pragma once
// A bounding-volume tree over numbered boxes (placed models' triangles,
// detail brushes): which of them may a segment of light pass through.
#include <algorithm>
#include <vector>
#include "MapMath.h"

namespace mapc {

class BoxTree {
public:
    // Builds over the items' boxes, cut by their centres. `order` receives
    // the items in leaf order: the caller keeps its items in that order, so
    // slot i of the tree is item order[i].
    void build(const std::vector<Bounds>& boxes, const std::vector<Vec3>& centres, std::vector<int>& order);

    bool empty() const { return nodes.empty(); }

    // Calls visit(slot, t1) for each slot in a leaf whose box the segment
    // a + (b - a) t, t in [t0, t1], meets, nearer half first; visit may lower
    // t1 (a nearer hit) and returns true to stop, which this then returns.
    template <class Visit>
    bool search(const Vec3& a, const Vec3& b, double t0, double t1, const Visit& visit) const
    {
        if (nodes.empty()) return false;
        const Vec3 d = b - a;
        float from[3], inverse[3];
        for (int i = 0; i < 3; ++i) {
            from[i] = static_cast<float>(a[i]);
            inverse[i] = d[i] != 0.0 ? static_cast<float>(1.0 / d[i]) : 1e30f;
        }
        int stack[2 * kMaxDepth + 2];
        int depth = 0;
        stack[depth++] = 0;
        while (depth > 0) {
            const Node& n = nodes[static_cast<size_t>(stack[--depth])];
            if (!meetsBox(from, inverse, static_cast<float>(t0), static_cast<float>(t1), n)) continue;
            if (n.count > 0) {
                for (int i = n.first; i < n.first + n.count; ++i)
                    if (visit(i, t1)) return true;
                continue;
            }
            // The nearer half first: a line that is blocked is mostly blocked early.
            const int nearer = d[n.axis] >= 0.0 ? 0 : 1;
            stack[depth++] = n.first + 1 - nearer;
            stack[depth++] = n.first + nearer;
        }
        return false;
    }

private:
    static constexpr int kMaxDepth = 48;  // the search's stack holds two nodes a level
    static constexpr int kLeafItems = 2;
    static constexpr int kCutBins = 12;
    struct Node {
        float lo[3], hi[3];
        int first = 0;  // leaf: first slot; inner: first child (second follows)
        int count = 0;  // slots of a leaf; 0 for an inner node
        int axis = 0;   // inner: the first child holds the lower centres along it
    };
    // The items being built over; `order` is cut in place.
    struct Items {
        const std::vector<Bounds>& boxes;
        const std::vector<Vec3>& centres;
        std::vector<int>& order;
    };

    // Single precision: the boxes are widened to hold their items still.
    static bool meetsBox(const float a[3], const float inverse[3], float t0, float t1, const Node& n)
    {
        for (int i = 0; i < 3; ++i) {
            float near = (n.lo[i] - a[i]) * inverse[i], far = (n.hi[i] - a[i]) * inverse[i];
            if (near > far) std::swap(near, far);
            t0 = std::max(t0, near);
            t1 = std::min(t1, far);
            if (t0 > t1) return false;
        }
        return true;
    }
    void build(const Items& items, int node, int first, int count, int depth);
    bool bestCut(const Items& items, int first, int count, const Bounds& box, const Bounds& centres, int& axis,
                 double& cut) const;

    std::vector<Node> nodes;
};

} // namespace mapc
