#pragma once
// Portal polygons on the visibility flow's hot path: fixed room, no
// allocation. A clip that would need more room keeps the polygon whole,
// which only widens what is seen.
#include <algorithm>
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
    Vec3 centre() const
    {
        Vec3 c;
        for (int i = 0; i < count; ++i) c += points[i];
        return count > 0 ? c * (1.0 / count) : c;
    }
    double area() const
    {
        Vec3 sum;
        for (int i = 1; i + 1 < count; ++i) sum += (points[i] - points[0]).cross(points[i + 1] - points[0]);
        return 0.5 * sum.length();
    }
};

// The part of `in` in front of the plane, into `out`; false when nothing
// (or a sliver) is left.
inline bool clipFlow(const FlowWinding& in, const Plane& plane, FlowWinding& out)
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
    if (front == 0) {
        out.count = 0;
        return false;
    }
    if (back == 0) {
        out.copyFrom(in);
        return true;
    }
    int n = 0;
    for (int i = 0; i < in.count; ++i) {
        if (n + 2 > kMaxFlowPoints) {
            out.copyFrom(in);
            return true;
        }
        const Vec3& p = in.points[i];
        if (sides[i] != 1) out.points[n++] = p;
        if (sides[i] == 2) continue;
        int j = (i + 1) % in.count;
        if (sides[j] == 2 || sides[j] == sides[i]) continue;
        double t = dists[i] / (dists[i] - dists[j]);
        out.points[n++] = p + (in.points[j] - p) * t;
    }
    out.count = n;
    if (n < 3 || out.area() < kFlowSliverArea) {
        out.count = 0;
        return false;
    }
    return true;
}

// Clips w by each plane in turn, `scratch` holding the intermediate.
inline bool clipFlowAll(FlowWinding& w, const std::vector<Plane>& keeps, FlowWinding& scratch)
{
    for (const Plane& keep : keeps) {
        if (!clipFlow(w, keep, scratch)) {
            w.count = 0;
            return false;
        }
        w.copyFrom(scratch);
    }
    return true;
}

} // namespace mapc
