// Shadows of placed models: their triangles in a bounding-volume tree and
// the test whether a segment of light passes through any.
#include "ModelShadows.h"
#include <algorithm>

namespace mapc {

namespace {

constexpr int kLeafTriangles = 2;
constexpr int kMaxDepth = 48;  // the query's stack holds two nodes a level
// Long triangles are cut for the tree only: their boxes would hold much
// empty space every passing line had to look into.
constexpr double kLongestEdge = 512.0;
constexpr int kCutDepth = 12;
constexpr size_t kMostCutTriangles = 2u << 20;  // past this, triangles stay whole

// Whether the segment a + d * t, t in [t0, t1], meets the box (single
// precision: the boxes are widened to hold their triangles still).
bool segmentMeetsBox(const float a[3], const float inverse[3], float t0, float t1, const float lo[3], const float hi[3])
{
    for (int i = 0; i < 3; ++i) {
        float near = (lo[i] - a[i]) * inverse[i], far = (hi[i] - a[i]) * inverse[i];
        if (near > far) std::swap(near, far);
        t0 = std::max(t0, near);
        t1 = std::min(t1, far);
        if (t0 > t1) return false;
    }
    return true;
}

// Either side of the triangle, t strictly inside (t0, t1).
bool segmentMeetsTriangle(const Vec3& a, const Vec3& d, double t0, double t1, const Vec3 c[3])
{
    const Vec3 e1 = c[1] - c[0], e2 = c[2] - c[0];
    const Vec3 p = d.cross(e2);
    const double det = e1.dot(p);
    if (std::fabs(det) < 1e-12) return false;
    const double inv = 1.0 / det;
    const Vec3 s = a - c[0];
    const double u = s.dot(p) * inv;
    if (u < 0.0 || u > 1.0) return false;
    const Vec3 q = s.cross(e1);
    const double v = d.dot(q) * inv;
    if (v < 0.0 || u + v > 1.0) return false;
    const double t = e2.dot(q) * inv;
    return t > t0 && t < t1;
}

Vec3 centreOf(const Vec3 c[3]) { return (c[0] + c[1] + c[2]) * (1.0 / 3.0); }

} // namespace

ModelShadows::ModelShadows(const std::vector<Surface>& surfaces)
{
    for (const Surface& s : surfaces) {
        if (!s.isMesh() || !s.castsShadows) continue;
        for (size_t t = 0; t + 2 < s.meshIndices.size(); t += 3) {
            Triangle tri;
            for (int k = 0; k < 3; ++k)
                tri.corner[k] = s.meshPoints[static_cast<size_t>(s.meshIndices[t + static_cast<size_t>(k)])].position;
            addCut(tri, kCutDepth);
        }
    }
    if (triangles.empty()) return;
    nodes.reserve(triangles.size() / kLeafTriangles * 2 + 1);
    nodes.emplace_back();
    build(0, 0, static_cast<int>(triangles.size()), 0);
}

void ModelShadows::addCut(const Triangle& t, int depth)
{
    int longest = 0;
    double most = 0.0;
    for (int k = 0; k < 3; ++k) {
        const double length = (t.corner[(k + 1) % 3] - t.corner[k]).length();
        if (length > most) {
            most = length;
            longest = k;
        }
    }
    if (most <= kLongestEdge || depth <= 0 || triangles.size() >= kMostCutTriangles) {
        triangles.push_back(t);
        return;
    }
    const int a = longest, b = (longest + 1) % 3;
    const Vec3 middle = (t.corner[a] + t.corner[b]) * 0.5;
    Triangle first = t, second = t;
    first.corner[b] = middle;
    second.corner[a] = middle;
    addCut(first, depth - 1);
    addCut(second, depth - 1);
}

void ModelShadows::build(int node, int first, int count, int depth)
{
    Bounds box, centres;
    for (int i = first; i < first + count; ++i) {
        const Triangle& t = triangles[static_cast<size_t>(i)];
        for (const Vec3& c : t.corner) box.add(c);
        centres.add(centreOf(t.corner));
    }
    for (int i = 0; i < 3; ++i) {
        const double pad = 0.01 + 1e-6 * std::max(std::fabs(box.mins[i]), std::fabs(box.maxs[i]));
        nodes[static_cast<size_t>(node)].lo[i] = static_cast<float>(box.mins[i] - pad);
        nodes[static_cast<size_t>(node)].hi[i] = static_cast<float>(box.maxs[i] + pad);
    }
    int axis = 0;
    double cut = 0.0;
    if (count <= kLeafTriangles || depth >= kMaxDepth || !bestCut(first, count, box, centres, axis, cut)) {
        nodes[static_cast<size_t>(node)].first = first;
        nodes[static_cast<size_t>(node)].count = count;
        return;
    }
    auto begin = triangles.begin() + first, end = begin + count;
    int half = static_cast<int>(std::partition(begin, end, [&](const Triangle& t) { return centreOf(t.corner)[axis] < cut; }) - begin);
    if (half == 0 || half == count) {  // every centre on one spot: halves by order
        half = count / 2;
        std::nth_element(begin, begin + half, end, [axis](const Triangle& x, const Triangle& y) {
            return centreOf(x.corner)[axis] < centreOf(y.corner)[axis];
        });
    }
    const int children = static_cast<int>(nodes.size());
    nodes.resize(nodes.size() + 2);
    nodes[static_cast<size_t>(node)].first = children;
    nodes[static_cast<size_t>(node)].count = 0;
    nodes[static_cast<size_t>(node)].axis = axis;
    build(children, first, half, depth + 1);
    build(children + 1, first + half, count - half, depth + 1);
}

// The cut (axis and place) that makes the smallest sum of box surfaces
// times triangles on either side, among a few places per axis; false when
// keeping the triangles together is as cheap. Large triangles of a model
// beside small ones make halving by count leave boxes that overlap widely.
bool ModelShadows::bestCut(int first, int count, const Bounds& box, const Bounds& centres, int& axis, double& cut) const
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
            const Triangle& t = triangles[static_cast<size_t>(i)];
            const int b = std::min(kCutBins - 1, static_cast<int>((centreOf(t.corner)[a] - lo) / width * kCutBins));
            ++counts[b];
            for (const Vec3& c : t.corner) bins[b].add(c);
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

bool ModelShadows::blocks(const Vec3& a, const Vec3& b) const
{
    if (nodes.empty()) return false;
    const Vec3 d = b - a;
    const double length = d.length();
    if (length <= 1.0) return false;
    const double t0 = 1.0 / length;
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
        if (!segmentMeetsBox(from, inverse, static_cast<float>(t0), 1.0f, n.lo, n.hi)) continue;
        if (n.count > 0) {
            for (int i = n.first; i < n.first + n.count; ++i)
                if (segmentMeetsTriangle(a, d, t0, 1.0, triangles[static_cast<size_t>(i)].corner)) return true;
            continue;
        }
        // The nearer half first: a line that is blocked is mostly blocked early.
        const int nearer = d[n.axis] >= 0.0 ? 0 : 1;
        stack[depth++] = n.first + 1 - nearer;
        stack[depth++] = n.first + nearer;
    }
    return false;
}

} // namespace mapc
