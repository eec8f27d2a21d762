// The visible parts of brush sides, split to fit lightmap blocks.
#include "Surfaces.h"
#include <algorithm>

namespace mapc {

namespace {

// The parts of w outside brush b. Coplanar sides facing the same way keep
// the face of the earlier brush only, unless that one is not drawn (a
// caulked hull around a textured piece); sides pressed against b are covered.
void clipOutside(const Winding& w, int ownPlane, int ownBrush, int otherBrush, const Brush& b,
                 const PlaneSet& planes, std::vector<Winding>& out)
{
    Winding rest = w;
    for (const BrushSide& s : b.sides) {
        if (s.bevel) continue;
        if (s.plane == ownPlane) {
            if (otherBrush < ownBrush && s.drawn) continue;
            out.push_back(rest);
            return;
        }
        if (s.plane == (ownPlane ^ 1)) continue;
        Winding front, back;
        splitWinding(rest, planes[s.plane], kOnEpsilon, front, back);
        if (!front.empty()) out.push_back(front);
        if (back.empty()) {
            // Entirely in front, or lying on the plane facing away: outside.
            if (front.empty() && classifyWinding(rest, planes[s.plane]) != Side::Back) out.push_back(rest);
            return;
        }
        rest.swap(back);
    }
}

bool hasSide(const Brush& b, int plane)
{
    for (const BrushSide& s : b.sides)
        if (s.plane == plane && !s.bevel) return true;
    return false;
}

// A drawn side's surface, before its pieces and leaves are known.
Surface sideSurface(size_t brush, size_t side, const BrushSide& s)
{
    Surface surf;
    surf.brush = static_cast<int>(brush);
    surf.side = static_cast<int>(side);
    surf.plane = s.plane;
    surf.texture = s.texture;
    surf.lightmapped = s.lightmapped;
    return surf;
}

// The convex hull of the pieces, on their plane; empty when it has no area.
Winding hullOnPlane(const std::vector<Winding>& pieces, const Plane& plane)
{
    int a, b;
    lightmapAxes(plane.normal, a, b);
    const int c = 3 - a - b;
    std::vector<std::pair<double, double>> pts;
    for (const Winding& w : pieces)
        for (const Vec3& p : w) pts.emplace_back(p[a], p[b]);
    std::sort(pts.begin(), pts.end());
    pts.erase(std::unique(pts.begin(), pts.end()), pts.end());
    if (pts.size() < 3) return {};
    auto turn = [](const std::pair<double, double>& o, const std::pair<double, double>& p,
                   const std::pair<double, double>& q) {
        return (p.first - o.first) * (q.second - o.second) - (p.second - o.second) * (q.first - o.first);
    };
    // Monotone chain: lower then upper half, counter-clockwise in (a, b).
    std::vector<std::pair<double, double>> hull(pts.size() * 2);
    size_t k = 0;
    for (size_t i = 0; i < pts.size(); ++i) {
        while (k >= 2 && turn(hull[k - 2], hull[k - 1], pts[i]) <= 1e-9) --k;
        hull[k++] = pts[i];
    }
    for (size_t i = pts.size() - 1, low = k + 1; i-- > 0;) {
        while (k >= low && turn(hull[k - 2], hull[k - 1], pts[i]) <= 1e-9) --k;
        hull[k++] = pts[i];
    }
    hull.resize(k - 1);
    if (hull.size() < 3) return {};
    Winding out;
    for (const auto& h : hull) {
        Vec3 p;
        p[a] = h.first;
        p[b] = h.second;
        p[c] = (plane.dist - plane.normal[a] * h.first - plane.normal[b] * h.second) / plane.normal[c];
        out.push_back(p);
    }
    return windingArea(out) > 0.01 ? out : Winding();
}

} // namespace

void lightmapAxes(const Vec3& n, int& s, int& t)
{
    double ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
    if (az >= ax && az >= ay) { s = 0; t = 1; }
    else if (ax >= ay) { s = 1; t = 2; }
    else { s = 0; t = 2; }
}

void buildSurfaces(const BrushSet& brushes, const PlaneSet& planes, Tree& tree,
                   std::vector<Surface>& out)
{
    const std::vector<Brush>& list = brushes.brushes;
    for (size_t bi = 0; bi < list.size(); ++bi) {
        const Brush& b = list[bi];
        if (b.model != 0) continue;
        for (size_t si = 0; si < b.sides.size(); ++si) {
            const BrushSide& side = b.sides[si];
            if (side.bevel || !side.drawn || side.winding.empty()) continue;
            std::vector<Winding> pieces{side.winding};
            Bounds wb = windingBounds(side.winding);
            for (size_t oi = 0; oi < list.size() && !pieces.empty(); ++oi) {
                const Brush& o = list[oi];
                if (oi == bi || !o.opaque || !o.bounds.overlaps(wb, kOnEpsilon)) continue;
                // Detail brushes hide only a piece pressed wholly flat against
                // them (their inside is not cut away, as with structural ones).
                if (!o.structural && !hasSide(o, side.plane ^ 1)) continue;
                std::vector<Winding> next;
                for (const Winding& w : pieces) {
                    size_t before = next.size();
                    clipOutside(w, side.plane, static_cast<int>(bi), static_cast<int>(oi), o, planes, next);
                    if (!o.structural && next.size() > before) {
                        next.resize(before);
                        next.push_back(w);
                    }
                }
                pieces.swap(next);
            }
            Surface surf = sideSurface(bi, si, side);
            for (const Winding& w : pieces) {
                std::vector<std::pair<int, Winding>> kept;
                bool lost = false;
                insideParts(tree, planes, side.plane, w, kept, lost);
                if (kept.empty()) continue;
                if (!lost) surf.pieces.push_back(w);
                for (auto& k : kept) {
                    if (lost) surf.pieces.push_back(k.second);
                    surf.leaves.push_back(k.first);
                }
            }
            if (surf.pieces.empty()) continue;
            // A side is drawn as one polygon: the hull of its visible parts,
            // as the level makers' own compiler does (what lies between them
            // is covered, and one polygon is cheaper to draw than many).
            if (surf.pieces.size() > 1) {
                Winding hull = hullOnPlane(surf.pieces, planes[side.plane]);
                if (!hull.empty()) surf.pieces.assign(1, hull);
            }
            std::sort(surf.leaves.begin(), surf.leaves.end());
            surf.leaves.erase(std::unique(surf.leaves.begin(), surf.leaves.end()), surf.leaves.end());
            out.push_back(std::move(surf));
        }
    }
}

void buildModelSurfaces(const BrushSet& brushes, std::vector<Surface>& out)
{
    for (size_t bi = 0; bi < brushes.brushes.size(); ++bi) {
        const Brush& b = brushes.brushes[bi];
        if (b.model == 0) continue;
        for (size_t si = 0; si < b.sides.size(); ++si) {
            const BrushSide& side = b.sides[si];
            if (side.bevel || !side.drawn || side.winding.empty()) continue;
            Surface surf = sideSurface(bi, si, side);
            surf.model = b.model;
            surf.pieces.push_back(side.winding);
            out.push_back(std::move(surf));
        }
    }
}

void splitLargeSurfaces(std::vector<Surface>& surfaces, const PlaneSet& planes, double luxel,
                        int maxLuxels)
{
    const double chunk = luxel * (maxLuxels - 1);
    std::vector<Surface> result;
    for (Surface& surf : surfaces) {
        if (surf.isPatch() || surf.isMesh()) {
            result.push_back(std::move(surf));
            continue;
        }
        int axes[2];
        lightmapAxes(planes[surf.plane].normal, axes[0], axes[1]);
        std::vector<Surface> work{surf};
        for (int a = 0; a < 2; ++a) {
            std::vector<Surface> next;
            for (Surface& s : work) {
                double lo = 1e30, hi = -1e30;
                for (const Winding& w : s.pieces)
                    for (const Vec3& p : w) { lo = std::min(lo, p[axes[a]]); hi = std::max(hi, p[axes[a]]); }
                if (hi - lo <= chunk) { next.push_back(std::move(s)); continue; }
                for (double start = lo; start < hi; start += chunk) {
                    Surface part = s;
                    part.pieces.clear();
                    Plane lower, upper;
                    lower.normal[axes[a]] = 1.0;
                    lower.dist = start;
                    upper.normal[axes[a]] = -1.0;
                    upper.dist = -(start + chunk);
                    for (const Winding& w : s.pieces) {
                        Winding c = w;
                        clipWinding(c, lower, kOnEpsilon);
                        clipWinding(c, upper, kOnEpsilon);
                        if (!c.empty()) part.pieces.push_back(c);
                    }
                    if (!part.pieces.empty()) next.push_back(std::move(part));
                }
            }
            work.swap(next);
        }
        for (Surface& s : work) result.push_back(std::move(s));
    }
    surfaces.swap(result);
}

void surfaceBounds(const Surface& s, Bounds& box)
{
    for (const Winding& w : s.pieces)
        for (const Vec3& p : w) box.add(p);
    for (const PatchPoint& p : s.grid) box.add(p.position);
    for (const PatchPoint& p : s.meshPoints) box.add(p.position);
}

} // namespace mapc
