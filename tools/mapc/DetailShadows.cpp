// Shadows of the opaque detail brushes: their volumes in a bounding-box
// tree and the test whether a segment of light passes through one.
#include "DetailShadows.h"
#include <algorithm>
#include <cmath>
#include "ContentFlags.h"

namespace mapc {

namespace {

constexpr int kLeafBrushes = 4;
constexpr int kMaxDepth = 40;
// Brushes count as this much smaller: lines grazing a side, and luxels
// lying on one, are not shaded by it.
constexpr double kMargin = 0.125;

// The part [t0, t1] of a + (b - a) t inside the box; false when none.
bool clipToBox(const Vec3& a, const Vec3& d, const Bounds& box, double& t0, double& t1)
{
    for (int i = 0; i < 3; ++i) {
        if (std::fabs(d[i]) < 1e-12) {
            if (a[i] < box.mins[i] || a[i] > box.maxs[i]) return false;
            continue;
        }
        double near = (box.mins[i] - a[i]) / d[i], far = (box.maxs[i] - a[i]) / d[i];
        if (near > far) std::swap(near, far);
        t0 = std::max(t0, near);
        t1 = std::min(t1, far);
        if (t0 > t1) return false;
    }
    return true;
}

bool hasSkySide(const Brush& b, const BrushSet& set)
{
    for (const BrushSide& s : b.sides)
        if (set.textures[static_cast<size_t>(s.texture)].flags & kSurfSky) return true;
    return false;
}

} // namespace

DetailShadows::DetailShadows(const BrushSet& set, const PlaneSet& planes)
{
    for (const Brush& b : set.brushes) {
        if (b.model != 0 || !b.opaque || b.structural || !b.bounds.valid() || hasSkySide(b, set)) continue;
        Solid s;
        for (const BrushSide& side : b.sides) s.sides.push_back(planes[side.plane]);
        s.bounds = b.bounds;
        brushes.push_back(std::move(s));
    }
    if (brushes.empty()) return;
    nodes.reserve(brushes.size() / kLeafBrushes * 2 + 2);
    nodes.emplace_back();
    build(0, 0, static_cast<int>(brushes.size()), 0);
}

void DetailShadows::build(int node, int first, int count, int depth)
{
    Bounds box, centres;
    for (int i = first; i < first + count; ++i) {
        const Bounds& b = brushes[static_cast<size_t>(i)].bounds;
        box.add(b);
        centres.add((b.mins + b.maxs) * 0.5);
    }
    nodes[static_cast<size_t>(node)].bounds = box;
    if (count <= kLeafBrushes || depth >= kMaxDepth) {
        nodes[static_cast<size_t>(node)].first = first;
        nodes[static_cast<size_t>(node)].count = count;
        return;
    }
    // Halved at the middle brush along the centres' longest axis.
    const Vec3 span = centres.maxs - centres.mins;
    const int axis = span.x >= span.y && span.x >= span.z ? 0 : (span.y >= span.z ? 1 : 2);
    const int half = count / 2;
    std::nth_element(brushes.begin() + first, brushes.begin() + first + half, brushes.begin() + first + count,
                     [axis](const Solid& a, const Solid& b) {
                         return a.bounds.mins[axis] + a.bounds.maxs[axis] < b.bounds.mins[axis] + b.bounds.maxs[axis];
                     });
    const int child = static_cast<int>(nodes.size());
    nodes[static_cast<size_t>(node)].first = child;
    nodes.emplace_back();
    nodes.emplace_back();
    build(child, first, half, depth + 1);
    build(child + 1, first + half, count - half, depth + 1);
}

// Whether the segment enters the brush (or starts inside it), and the
// share of the way where it does.
bool DetailShadows::enters(const Solid& s, const Vec3& a, const Vec3& b, double& share) const
{
    double t0 = 0.0, t1 = 1.0;
    for (const Plane& p : s.sides) {
        const double da = p.distanceTo(a) + kMargin, db = p.distanceTo(b) + kMargin;
        if (da > 0.0 && db > 0.0) return false;
        if (da > 0.0) t0 = std::max(t0, da / (da - db));
        else if (db > 0.0) t1 = std::min(t1, da / (da - db));
        if (t0 >= t1) return false;
    }
    share = t0;
    return true;
}

bool DetailShadows::search(const Vec3& a, const Vec3& b, bool anyHit, double& share) const
{
    share = 1.0;
    if (nodes.empty()) return false;
    const Vec3 d = b - a;
    bool found = false;
    int stack[2 * kMaxDepth + 2];
    int top = 0;
    stack[top++] = 0;
    while (top > 0) {
        const Node& n = nodes[static_cast<size_t>(stack[--top])];
        double t0 = 0.0, t1 = share;
        if (!clipToBox(a, d, n.bounds, t0, t1)) continue;
        if (n.count == 0) {
            stack[top++] = n.first;
            stack[top++] = n.first + 1;
            continue;
        }
        for (int i = n.first; i < n.first + n.count; ++i) {
            double at = 1.0;
            if (!enters(brushes[static_cast<size_t>(i)], a, b, at) || at > share) continue;
            if (anyHit) return true;
            share = at;
            found = true;
        }
    }
    return found;
}

bool DetailShadows::blocks(const Vec3& a, const Vec3& b) const
{
    double share = 1.0;
    return search(a, b, true, share);
}

bool DetailShadows::firstHit(const Vec3& a, const Vec3& b, double& share) const
{
    return search(a, b, false, share);
}

bool DetailShadows::inside(const Vec3& p) const { return blocks(p, p); }

} // namespace mapc
