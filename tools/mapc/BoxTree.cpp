// Building the bounding-volume tree: cuts chosen by the surface of the
// boxes on either side.
#include "BoxTree.h"
#include <algorithm>
#include <cmath>

namespace mapc {

void BoxTree::build(const std::vector<Bounds>& boxes, const std::vector<Vec3>& centres, std::vector<int>& order)
{
    nodes.clear();
    order.clear();
    for (size_t i = 0; i < boxes.size() && i < centres.size(); ++i) order.push_back(static_cast<int>(i));
    if (order.empty()) return;
    nodes.reserve(order.size() / kLeafItems * 2 + 1);
    nodes.emplace_back();
    build(Items{boxes, centres, order}, 0, 0, static_cast<int>(order.size()), 0);
}

void BoxTree::build(const Items& items, int node, int first, int count, int depth)
{
    Bounds box, centres;
    for (int i = first; i < first + count; ++i) {
        const size_t item = static_cast<size_t>(items.order[static_cast<size_t>(i)]);
        box.add(items.boxes[item]);
        centres.add(items.centres[item]);
    }
    for (int i = 0; i < 3; ++i) {
        const double pad = 0.01 + 1e-6 * std::max(std::fabs(box.mins[i]), std::fabs(box.maxs[i]));
        nodes[static_cast<size_t>(node)].lo[i] = static_cast<float>(box.mins[i] - pad);
        nodes[static_cast<size_t>(node)].hi[i] = static_cast<float>(box.maxs[i] + pad);
    }
    int axis = 0;
    double cut = 0.0;
    if (count <= kLeafItems || depth >= kMaxDepth || !bestCut(items, first, count, box, centres, axis, cut)) {
        nodes[static_cast<size_t>(node)].first = first;
        nodes[static_cast<size_t>(node)].count = count;
        return;
    }
    auto along = [&](int item) { return items.centres[static_cast<size_t>(item)][axis]; };
    auto begin = items.order.begin() + first, end = begin + count;
    int half = static_cast<int>(std::partition(begin, end, [&](int item) { return along(item) < cut; }) - begin);
    if (half == 0 || half == count) {  // every centre on one spot: halves by order
        half = count / 2;
        std::nth_element(begin, begin + half, end, [&](int x, int y) { return along(x) < along(y); });
    }
    const int children = static_cast<int>(nodes.size());
    nodes.resize(nodes.size() + 2);
    nodes[static_cast<size_t>(node)].first = children;
    nodes[static_cast<size_t>(node)].count = 0;
    nodes[static_cast<size_t>(node)].axis = axis;
    build(items, children, first, half, depth + 1);
    build(items, children + 1, first + half, count - half, depth + 1);
}

// The cut (axis and place) that makes the smallest sum of box surfaces
// times items on either side, among a few places per axis; false when
// keeping the items together is as cheap. Large items beside small ones
// make halving by count leave boxes that overlap widely.
bool BoxTree::bestCut(const Items& items, int first, int count, const Bounds& box, const Bounds& centres, int& axis,
                      double& cut) const
{
    auto surface = [](const Bounds& b) {
        if (!b.valid()) return 0.0;
        const Vec3 d = b.maxs - b.mins;
        return d.x * d.y + d.y * d.z + d.z * d.x;
    };
    double best = surface(box) * (count - 1);
    bool found = false;
    for (int a = 0; a < 3; ++a) {
        const double lo = centres.mins[a], width = centres.maxs[a] - lo;
        if (width <= 0.0) continue;
        Bounds bins[kCutBins];
        int counts[kCutBins] = {};
        for (int i = first; i < first + count; ++i) {
            const size_t item = static_cast<size_t>(items.order[static_cast<size_t>(i)]);
            // Clamped in doubles: a centre that is not a number lands in the first bin.
            const double at = (items.centres[item][a] - lo) / width * kCutBins;
            const int b = at > 0.0 ? static_cast<int>(std::min(at, kCutBins - 1.0)) : 0;
            ++counts[b];
            bins[b].add(items.boxes[item]);
        }
        double rightCost[kCutBins] = {};
        Bounds right;
        int rightCount = 0;
        for (int b = kCutBins - 1; b > 0; --b) {
            right.add(bins[b]);
            rightCount += counts[b];
            rightCost[b] = surface(right) * rightCount;
        }
        Bounds left;
        int leftCount = 0;
        for (int b = 0; b + 1 < kCutBins; ++b) {
            left.add(bins[b]);
            leftCount += counts[b];
            const double cost = surface(left) * leftCount + rightCost[b + 1];
            if (leftCount > 0 && leftCount < count && cost < best) {
                best = cost;
                axis = a;
                cut = lo + width * (b + 1) / kCutBins;
                found = true;
            }
        }
    }
    return found;
}

} // namespace mapc
