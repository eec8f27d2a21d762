// Finding and snapping planes, stored in opposite pairs.
#include "PlaneSet.h"

namespace mapc {

namespace {
constexpr double kNormalEpsilon = 1e-5;
constexpr double kDistEpsilon = 0.01;

long long bucket(double dist) { return static_cast<long long>(std::floor(dist)); }
} // namespace

Plane PlaneSet::snap(const Plane& p)
{
    Plane s = p;
    for (int i = 0; i < 3; ++i) {
        if (std::fabs(s.normal[i] - 1.0) < kNormalEpsilon) { s.normal = Vec3(); s.normal[i] = 1.0; break; }
        if (std::fabs(s.normal[i] + 1.0) < kNormalEpsilon) { s.normal = Vec3(); s.normal[i] = -1.0; break; }
    }
    double r = std::round(s.dist);
    if (std::fabs(s.dist - r) < kDistEpsilon) s.dist = r;
    return s;
}

int PlaneSet::lookup(const Plane& p) const
{
    long long b = bucket(p.dist);
    for (long long k = b - 1; k <= b + 1; ++k) {
        auto range = byDistance.equal_range(k);
        for (auto it = range.first; it != range.second; ++it) {
            const Plane& q = planes[static_cast<size_t>(it->second)];
            if (std::fabs(q.dist - p.dist) < kDistEpsilon &&
                std::fabs(q.normal.x - p.normal.x) < kNormalEpsilon &&
                std::fabs(q.normal.y - p.normal.y) < kNormalEpsilon &&
                std::fabs(q.normal.z - p.normal.z) < kNormalEpsilon)
                return it->second;
        }
    }
    return -1;
}

int PlaneSet::find(const Plane& raw)
{
    Plane p = snap(raw);
    int i = lookup(p);
    if (i >= 0) return i;
    i = static_cast<int>(planes.size());
    planes.push_back(p);
    planes.push_back(p.flipped());
    byDistance.emplace(bucket(p.dist), i);
    byDistance.emplace(bucket(-p.dist), i + 1);
    return i;
}

} // namespace mapc
