// Shadows of the opaque detail brushes: their volumes in a bounding-box
// tree and the test whether a segment of light passes through one.
#include "DetailShadows.h"
#include <algorithm>
#include <cmath>
#include "ContentFlags.h"
#include "TextureProjection.h"

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

// The mask of the side's texture when it casts a holed shadow, else null.
const AlphaMask* maskOf(const BrushSide& side, const BrushSet& set, const std::vector<AlphaMask>* masks)
{
    if (!masks || side.texture < 0 || static_cast<size_t>(side.texture) >= masks->size()) return nullptr;
    const AlphaMask& mask = (*masks)[static_cast<size_t>(side.texture)];
    const bool alphaShadow = set.textures[static_cast<size_t>(side.texture)].flags & kSurfAlphaShadow;
    return alphaShadow && mask.width > 0 && mask.height > 0 ? &mask : nullptr;
}

} // namespace

DetailShadows::DetailShadows(const BrushSet& set, const PlaneSet& planes, const std::vector<AlphaMask>* masks)
{
    for (const Brush& b : set.brushes) {
        if (b.model != 0 || b.structural || !b.bounds.valid() || hasSkySide(b, set)) continue;
        Solid s;
        s.opaque = b.opaque;
        const bool holed = std::any_of(b.sides.begin(), b.sides.end(),
                                       [&](const BrushSide& side) { return maskOf(side, set, masks) != nullptr; });
        if (!holed && !b.opaque) continue;
        if (holed)
            for (const BrushSide& side : b.sides) {
                s.faces.push_back(&side);
                s.masks.push_back(maskOf(side, set, masks));
            }
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

// Whether the segment passes through the brush (or starts or ends inside
// it): where it enters and leaves it, as shares of the way, and the sides
// it enters and leaves by (-1: it starts, or ends, inside).
bool DetailShadows::crosses(const Solid& s, const Vec3& a, const Vec3& b, Crossing& c) const
{
    c = Crossing{};
    for (size_t i = 0; i < s.sides.size(); ++i) {
        const Plane& p = s.sides[i];
        const double da = p.distanceTo(a) + kMargin, db = p.distanceTo(b) + kMargin;
        if (da > 0.0 && db > 0.0) return false;
        if (da > 0.0 && da / (da - db) > c.in) {
            c.in = da / (da - db);
            c.inSide = static_cast<int>(i);
        } else if (da <= 0.0 && db > 0.0 && da / (da - db) < c.out) {
            c.out = da / (da - db);
            c.outSide = static_cast<int>(i);
        }
        if (c.in >= c.out) return false;
    }
    return true;
}

// Whether light gets through a side of the brush at share t of the way: by
// a hole of a holed face, or by any point of a see-through brush's other
// faces (side -1: the segment starts or ends inside).
bool DetailShadows::passes(const Solid& s, const Vec3& a, const Vec3& b, int side, double t) const
{
    const AlphaMask* mask = side >= 0 ? s.masks[static_cast<size_t>(side)] : nullptr;
    if (!mask) return !s.opaque;
    float st[2];
    textureCoord(*s.faces[static_cast<size_t>(side)], s.sides[static_cast<size_t>(side)].normal, a + (b - a) * t, st);
    return mask->passesAt(st);
}

// Where the brush stops a line crossing it (a share of the way), or -1: a
// brush with holed faces lets it through when it gets in and out again.
double DetailShadows::stopsAt(const Solid& s, const Vec3& a, const Vec3& b, const Crossing& c) const
{
    if (s.masks.empty() || !passes(s, a, b, c.inSide, c.in)) return c.in;
    return passes(s, a, b, c.outSide, c.out) ? -1.0 : c.out;
}

bool DetailShadows::search(const Vec3& a, const Vec3& b, bool anyHit, double& share) const
{
    share = 1.0;
    bool found = false;
    const bool stopped = tree.search(a, b, 0.0, 1.0, [&](int slot, double& nearest) {
        Crossing c;
        const Solid& s = brushes[static_cast<size_t>(order[static_cast<size_t>(slot)])];
        if (!crosses(s, a, b, c) || c.in > nearest) return false;
        const double at = stopsAt(s, a, b, c);
        if (at < 0.0 || at > nearest) return false;
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
