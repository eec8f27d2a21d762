// Turning model triangles into thin clip brushes.
#include "ModelClip.h"
#include <cmath>

namespace mapc {

namespace {

// Below this a triangle has no face to stand on.
constexpr double kMinDoubleArea = 1e-3;

void addSide(const Plane& plane, int texture, bool bevel, PlaneSet& planes, Brush& out)
{
    BrushSide side;
    side.plane = planes.find(plane);
    side.texture = texture;
    side.bevel = bevel;
    side.drawn = false;
    side.lightmapped = false;
    out.sides.push_back(side);
}

// The triangle's face, a back face kModelClipThickness behind, a side
// through each edge, and the six sides of its box so a sphere's reach past
// a sharp corner stays short.
bool clipBrushOf(const ClipTriangle& t, PlaneSet& planes, Brush& out)
{
    const Vec3& a = t.corner[0];
    Vec3 n = (t.corner[2] - a).cross(t.corner[1] - a);  // clockwise front
    if (n.length() < kMinDoubleArea) return false;
    n = n.normalized();
    out = Brush();
    out.texture = t.texture;
    out.contents = t.contents;
    out.opaque = false;
    out.structural = false;
    addSide({n, n.dot(a)}, t.texture, false, planes, out);
    addSide({-n, -n.dot(a) + kModelClipThickness}, t.texture, false, planes, out);
    for (int e = 0; e < 3; ++e) {
        const Vec3& p = t.corner[e];
        const Vec3& q = t.corner[(e + 1) % 3];
        Vec3 outward = (q - p).cross(n).normalized();
        if (outward.dot(t.corner[(e + 2) % 3] - p) > 0) outward = -outward;
        addSide({outward, outward.dot(p)}, t.texture, false, planes, out);
    }
    for (const Vec3& c : t.corner) {
        out.bounds.add(c);
        out.bounds.add(c - n * kModelClipThickness);
    }
    for (int axis = 0; axis < 3; ++axis) {
        if (std::fabs(n[axis]) > 0.999) continue;  // the face or back already
        Vec3 d;
        d[axis] = 1;
        addSide({d, out.bounds.maxs[axis]}, t.texture, true, planes, out);
        addSide({-d, -out.bounds.mins[axis]}, t.texture, true, planes, out);
    }
    return true;
}

} // namespace

int addModelClipBrushes(const std::vector<ClipTriangle>& triangles, PlaneSet& planes, BrushSet& brushes,
                        std::vector<Surface>& surfaces, Diagnostics& diag)
{
    std::vector<Brush> made;
    for (const ClipTriangle& t : triangles) {
        if (made.size() >= kMaxModelClipBrushes) {
            diag.warn(0, "solid models hold more than %zu triangles; the rest collide with nothing",
                      kMaxModelClipBrushes);
            break;
        }
        Brush b;
        if (clipBrushOf(t, planes, b)) made.push_back(std::move(b));
    }
    size_t worldEnd = 0;
    while (worldEnd < brushes.brushes.size() && brushes.brushes[worldEnd].model == 0) ++worldEnd;
    brushes.brushes.insert(brushes.brushes.begin() + static_cast<std::ptrdiff_t>(worldEnd), made.begin(), made.end());
    for (Surface& s : surfaces)
        if (s.brush >= static_cast<int>(worldEnd)) s.brush += static_cast<int>(made.size());
    return static_cast<int>(made.size());
}

} // namespace mapc
