// Shadows of placed models: their triangles in a bounding-volume tree and
// the test whether a segment of light passes through any.
#include "ModelShadows.h"
#include <algorithm>

namespace mapc {

namespace {

constexpr int kLeafTriangles = 4;
constexpr int kMaxDepth = 48;  // the query's stack holds two nodes a level

// Whether the segment a + d * t, t in [t0, t1], meets the box.
bool segmentMeetsBox(const Vec3& a, const Vec3& inverse, double t0, double t1, const Bounds& box)
{
    for (int i = 0; i < 3; ++i) {
        double lo = (box.mins[i] - a[i]) * inverse[i], hi = (box.maxs[i] - a[i]) * inverse[i];
        if (lo > hi) std::swap(lo, hi);
        t0 = std::max(t0, lo);
        t1 = std::min(t1, hi);
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
            triangles.push_back(tri);
        }
    }
    if (triangles.empty()) return;
    nodes.reserve(triangles.size() / kLeafTriangles * 2 + 1);
    nodes.emplace_back();
    build(0, 0, static_cast<int>(triangles.size()), 0);
}

void ModelShadows::build(int node, int first, int count, int depth)
{
    Bounds box, centres;
    for (int i = first; i < first + count; ++i) {
        const Triangle& t = triangles[static_cast<size_t>(i)];
        for (const Vec3& c : t.corner) box.add(c);
        centres.add(centreOf(t.corner));
    }
    nodes[static_cast<size_t>(node)].box = box;
    if (count <= kLeafTriangles || depth >= kMaxDepth) {
        nodes[static_cast<size_t>(node)].first = first;
        nodes[static_cast<size_t>(node)].count = count;
        return;
    }
    int axis = 0;
    for (int i = 1; i < 3; ++i)
        if (centres.maxs[i] - centres.mins[i] > centres.maxs[axis] - centres.mins[axis]) axis = i;
    const int half = count / 2;
    std::nth_element(triangles.begin() + first, triangles.begin() + first + half, triangles.begin() + first + count,
                     [axis](const Triangle& x, const Triangle& y) {
                         return centreOf(x.corner)[axis] < centreOf(y.corner)[axis];
                     });
    const int children = static_cast<int>(nodes.size());
    nodes.resize(nodes.size() + 2);
    nodes[static_cast<size_t>(node)].first = children;
    nodes[static_cast<size_t>(node)].count = 0;
    build(children, first, half, depth + 1);
    build(children + 1, first + half, count - half, depth + 1);
}

bool ModelShadows::blocks(const Vec3& a, const Vec3& b) const
{
    if (nodes.empty()) return false;
    const Vec3 d = b - a;
    const double length = d.length();
    if (length <= 1.0) return false;
    const double t0 = 1.0 / length, t1 = 1.0;
    Vec3 inverse;
    for (int i = 0; i < 3; ++i) inverse[i] = d[i] != 0.0 ? 1.0 / d[i] : 1e300;
    int stack[2 * kMaxDepth + 2];
    int depth = 0;
    stack[depth++] = 0;
    while (depth > 0) {
        const Node& n = nodes[static_cast<size_t>(stack[--depth])];
        if (!segmentMeetsBox(a, inverse, t0, t1, n.box)) continue;
        if (n.count > 0) {
            for (int i = n.first; i < n.first + n.count; ++i)
                if (segmentMeetsTriangle(a, d, t0, t1, triangles[static_cast<size_t>(i)].corner)) return true;
            continue;
        }
        stack[depth++] = n.first;
        stack[depth++] = n.first + 1;
    }
    return false;
}

} // namespace mapc
