// Shadows of the opaque detail brushes: their volumes in a bounding-box
// tree and the test whether a segment of light passes through one.
#include "DetailShadows.h"
#include <algorithm>
#include <cmath>
#include "ContentFlags.h"

namespace mapc {

namespace {

// Brushes count as this much smaller: lines grazing a side, and luxels
// lying on one, are not shaded by it.
constexpr double kMargin = 0.125;

bool hasSkySide(const Brush& b, const BrushSet& set)
{
    for (const BrushSide& s : b.sides)
        if (s.texture >= 0 && static_cast<size_t>(s.texture) < set.textures.size() &&
            (set.textures[static_cast<size_t>(s.texture)].flags & kSurfSky))
            return true;
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
    std::vector<Bounds> boxes;
    std::vector<Vec3> centres;
    for (const Solid& s : brushes) {
        boxes.push_back(s.bounds);
        centres.push_back((s.bounds.mins + s.bounds.maxs) * 0.5);
    }
    tree.build(boxes, centres, order);
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
    bool found = false;
    const bool stopped = tree.search(a, b, 0.0, 1.0, [&](int slot, double& nearest) {
        double at = 1.0;
        if (!enters(brushes[static_cast<size_t>(order[static_cast<size_t>(slot)])], a, b, at) || at > nearest)
            return false;
        nearest = share = at;
        found = true;
        return anyHit;
    });
    return stopped || found;
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
