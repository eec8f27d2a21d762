// Shadows of placed models and patches: their triangles in a bounding-volume
// tree and the test whether a segment of light passes through any.
#include "ModelShadows.h"
#include <algorithm>
#include "Patches.h"

namespace mapc {

namespace {

// Long triangles are cut for the tree only: their boxes would hold much
// empty space every passing line had to look into.
constexpr double kLongestEdge = 512.0;
constexpr int kCutDepth = 12;
constexpr size_t kMostCutTriangles = 2u << 20;  // past this, triangles stay whole
// A patch's triangles keep within a quarter unit of the curve, well inside
// the unit its luxels are lifted off it by, so a patch does not shade itself
// where the true curve would not.
constexpr double kPatchTolerance = 0.25;

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

ModelShadows::ModelShadows(const std::vector<Surface>& surfaces, bool worldOnly)
{
    for (const Surface& s : surfaces) {
        if (!s.castsShadows || (worldOnly && !s.shadesWorld)) continue;
        if (s.isPatch()) {
            std::vector<Vec3> corners;
            patchTriangles(s, kPatchTolerance, corners);
            for (size_t t = 0; t + 2 < corners.size(); t += 3)
                addCut(Triangle{{corners[t], corners[t + 1], corners[t + 2]}}, kCutDepth);
            continue;
        }
        for (size_t t = 0; t + 2 < s.meshIndices.size(); t += 3) {
            Triangle tri;
            for (int k = 0; k < 3; ++k)
                tri.corner[k] = s.meshPoints[static_cast<size_t>(s.meshIndices[t + static_cast<size_t>(k)])].position;
            addCut(tri, kCutDepth);
        }
    }
    std::vector<Bounds> boxes(triangles.size());
    std::vector<Vec3> centres(triangles.size());
    for (size_t i = 0; i < triangles.size(); ++i) {
        for (const Vec3& c : triangles[i].corner) boxes[i].add(c);
        centres[i] = centreOf(triangles[i].corner);
    }
    tree.build(boxes, centres, order);
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

bool ModelShadows::blocks(const Vec3& a, const Vec3& b) const
{
    const Vec3 d = b - a;
    const double length = d.length();
    if (tree.empty() || length <= 1.0) return false;
    const double t0 = 1.0 / length;
    return tree.search(a, b, t0, 1.0, [&](int slot, double&) {
        return segmentMeetsTriangle(a, d, t0, 1.0, triangles[static_cast<size_t>(order[static_cast<size_t>(slot)])].corner);
    });
}

} // namespace mapc
