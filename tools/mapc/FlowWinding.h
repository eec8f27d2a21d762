#pragma once
// Portal polygons on the visibility flow's hot path: fixed room, no
// allocation. A clip that would need more room keeps the polygon whole,
// which only widens what is seen.
#include <algorithm>
#include <cmath>
#include <vector>
#include "MapMath.h"

namespace mapc {

constexpr int kMaxFlowPoints = 48;
// Polygons thinner than this are numerical slivers, not openings.
constexpr double kFlowSliverArea = 0.001;

struct FlowWinding {
    int count = 0;
    Vec3 points[kMaxFlowPoints];

    bool empty() const { return count < 3; }
    bool assign(const Winding& w)
    {
        if (w.size() > static_cast<size_t>(kMaxFlowPoints)) return false;
        count = static_cast<int>(w.size());
        std::copy(w.begin(), w.end(), points);
        return true;
    }
    void copyFrom(const FlowWinding& o)
    {
        count = o.count;
        std::copy(o.points, o.points + o.count, points);
    }
    Vec3 centre() const { return polygonCenter(points, static_cast<size_t>(count)); }
    double area() const { return polygonArea(points, static_cast<size_t>(count)); }
};

enum class FlowClip { Gone, Cut, Whole };

// The part of `in` in front of the plane: Gone when nothing (or a sliver)
// is left, Cut with the part in `out`, Whole when all of `in` is in front
// (`out` untouched).
inline FlowClip clipFlowInto(const FlowWinding& in, const Plane& plane, FlowWinding& out)
{
    double dists[kMaxFlowPoints];
    int sides[kMaxFlowPoints];
    int front = 0, back = 0;
    for (int i = 0; i < in.count; ++i) {
        double d = plane.distanceTo(in.points[i]);
        dists[i] = d;
        sides[i] = d > 0.0 ? 0 : (d < 0.0 ? 1 : 2);
        front += sides[i] == 0;
        back += sides[i] == 1;
    }
    if (front == 0) return FlowClip::Gone;
    if (back == 0) return FlowClip::Whole;
    int n = 0;
    for (int i = 0; i < in.count; ++i) {
        if (n + 2 > kMaxFlowPoints) return FlowClip::Whole;
        const Vec3& p = in.points[i];
        if (sides[i] != 1) out.points[n++] = p;
        if (sides[i] == 2) continue;
        int j = (i + 1) % in.count;
        if (sides[j] == 2 || sides[j] == sides[i]) continue;
        double t = dists[i] / (dists[i] - dists[j]);
        out.points[n++] = p + (in.points[j] - p) * t;
    }
    out.count = n;
    if (n < 3 || out.area() < kFlowSliverArea) return FlowClip::Gone;
    return FlowClip::Cut;
}

// The part of `in` in front of the plane, into `out`; false when nothing
// (or a sliver) is left.
inline bool clipFlow(const FlowWinding& in, const Plane& plane, FlowWinding& out)
{
    switch (clipFlowInto(in, plane, out)) {
    case FlowClip::Gone: out.count = 0; return false;
    case FlowClip::Whole: out.copyFrom(in); return true;
    default: return true;
    }
}

// True when every point of `inner` lies within `outer` (both flat and convex
// on the plane with `normal`), give or take `slack`.
inline bool flowContains(const FlowWinding& outer, const FlowWinding& inner, const Vec3& normal, double slack)
{
    if (outer.empty()) return inner.empty();
    const Vec3 centre = outer.centre();
    for (int i = 0; i < outer.count; ++i) {
        const Vec3& a = outer.points[i];
        Vec3 across = (outer.points[(i + 1) % outer.count] - a).cross(normal);
        double len = across.length();
        if (len < 1e-9) continue;
        Plane edge{across * (1.0 / len), 0.0};
        edge.dist = edge.normal.dot(a);
        if (edge.distanceTo(centre) < 0) edge = edge.flipped();
        for (int k = 0; k < inner.count; ++k)
            if (edge.distanceTo(inner.points[k]) < -slack) return false;
    }
    return true;
}

// The convex hull of two polygons on one plane (with `normal`) into `out`;
// false when it has more corners than a FlowWinding holds.
inline bool flowHull(const FlowWinding& a, const FlowWinding& b, const Vec3& normal, FlowWinding& out)
{
    // Plane axes for a 2D hull (monotone chain).
    Vec3 u = std::fabs(normal.x) < 0.6 ? Vec3(1, 0, 0) : Vec3(0, 1, 0);
    u = normal.cross(u).normalized();
    const Vec3 v = normal.cross(u);
    struct P2 { double x, y; const Vec3* p; };
    P2 pts[2 * kMaxFlowPoints];
    int n = 0;
    for (const FlowWinding* w : {&a, &b})
        for (int i = 0; i < w->count; ++i) pts[n++] = {w->points[i].dot(u), w->points[i].dot(v), &w->points[i]};
    if (n < 3) {
        out.count = 0;
        return true;
    }
    std::sort(pts, pts + n, [](const P2& l, const P2& r) { return l.x < r.x || (l.x == r.x && l.y < r.y); });
    P2 hull[4 * kMaxFlowPoints];
    int h = 0;
    auto turn = [](const P2& o, const P2& p, const P2& q) { return (p.x - o.x) * (q.y - o.y) - (p.y - o.y) * (q.x - o.x); };
    for (int pass = 0; pass < 2; ++pass) {
        const int start = h;
        for (int k = 0; k < n; ++k) {
            const P2& p = pass == 0 ? pts[k] : pts[n - 1 - k];
            while (h >= start + 2 && turn(hull[h - 2], hull[h - 1], p) <= 1e-9) --h;
            hull[h++] = p;
        }
        --h;  // the last point starts the other chain
    }
    if (h > kMaxFlowPoints) return false;
    out.count = h;
    for (int i = 0; i < h; ++i) out.points[i] = *hull[i].p;
    return true;
}

// Clips w by each plane in turn, `scratch` holding the intermediate.
inline bool clipFlowAll(FlowWinding& w, const std::vector<Plane>& keeps, FlowWinding& scratch)
{
    FlowWinding* at = &w;
    FlowWinding* spare = &scratch;
    for (const Plane& keep : keeps) {
        FlowClip c = clipFlowInto(*at, keep, *spare);
        if (c == FlowClip::Gone) {
            w.count = 0;
            return false;
        }
        if (c == FlowClip::Cut) std::swap(at, spare);
    }
    if (at != &w) w.copyFrom(*at);
    return true;
}

} // namespace mapc
