// Finding the lit face a line meets and reading its stored light.
#include "BounceLight.h"
#include <algorithm>
#include <cmath>
#include "world/BspFormat.h"
#include "DetailShadows.h"

namespace mapc {

LitFaces::LitFaces(const std::vector<Surface>& surfaces_, const PlaneSet& planes_, const Tree& tree_,
                   const std::vector<uint8_t>& pages_, double overbright_, const DetailShadows* detail_)
    : surfaces(surfaces_), planes(planes_), tree(tree_), pages(pages_), overbright(overbright_), detail(detail_),
      far(2.0 * (tree_.worldBounds.maxs - tree_.worldBounds.mins).length()), litOfNode(tree_.nodes.size())
{
    for (size_t n = 0; n < tree.nodes.size(); ++n)
        for (int f : tree.nodes[n].faces) {
            if (f < 0 || static_cast<size_t>(f) >= surfaces.size()) continue;
            const Surface& s = surfaces[static_cast<size_t>(f)];
            if (s.lightmap >= 0 && !s.isPatch() && !s.isMesh() && s.plane >= 0) litOfNode[n].push_back(f);
        }
}

bool LitFaces::lightAlong(const Vec3& p, const Vec3& dir, Vec3& light) const
{
    Vec3 hit;
    int lastOpen = -1;
    if (!firstSolidHit(tree, planes, p, p + dir * far, hit, lastOpen) || lastOpen < 0) return false;
    // A detail brush on the way: its face there, filed in the leaf before it.
    double share = 1.0;
    if (detail && detail->firstHit(p, hit, share)) {
        hit = p + (hit - p) * share;
        lastOpen = tree.leafAt(hit - dir, planes);
        if (tree.nodes[static_cast<size_t>(lastOpen)].solid) return false;
    }
    // The face of the open leaf the line left by whose plane the hit lies
    // nearest; its luxel nearest the hit (faces touching there agree closely).
    const Surface* best = nullptr;
    double bestGap = 2.0;
    for (int f : litOfNode[static_cast<size_t>(lastOpen)]) {
        const Surface& s = surfaces[static_cast<size_t>(f)];
        const Plane& plane = planes[s.plane];
        if (plane.normal.dot(dir) >= 0.0) continue;
        const double gap = std::fabs(plane.distanceTo(hit));
        if (gap < bestGap) {
            bestGap = gap;
            best = &s;
        }
    }
    if (!best) return false;
    int at[2];
    for (int i = 0; i < 2; ++i)
        at[i] = std::clamp(static_cast<int>(std::lround((hit[best->axes[i]] - best->origin[i]) / best->luxel)), 0,
                           best->size[i] - 1);
    const size_t x = static_cast<size_t>(best->corner[0] + 1 + at[0]), y = static_cast<size_t>(best->corner[1] + 1 + at[1]);
    const size_t byte = static_cast<size_t>(best->lightmap) * bsp::kLightmapBytes + (y * bsp::kLightmapSize + x) * 3;
    if (byte + 2 >= pages.size()) return false;
    light = Vec3(pages[byte], pages[byte + 1], pages[byte + 2]) * overbright;
    return true;
}

} // namespace mapc
