#pragma once
// Shadows of the opaque detail brushes. They make no solid leaves in the
// tree (only structural brushes split it), so the lighting asks here
// whether a line of light passes through one. Faces with "surfaceparm
// alphashadow" (grates) are holed: a line entering or leaving a brush by
// one is stopped only where its picture is opaque, and see-through brushes
// with such a face shade that way too.
#include <vector>
#include "AlphaMask.h"
#include "BoxTree.h"
#include "BrushSet.h"
#include "MapMath.h"
#include "PlaneSet.h"

namespace mapc {

class DetailShadows {
public:
    // The world's opaque brushes that are not structural; brushes with a
    // sky side are left out (the sun shines through those). With `masks`
    // (per texture record; an empty mask: none), faces whose texture has
    // "alphashadow" are holed, and see-through brushes with such a face
    // shade too.
    DetailShadows(const BrushSet& brushes, const PlaneSet& planes, const std::vector<AlphaMask>* masks = nullptr);

    // True when the segment from a to b passes through (or starts in) a brush.
    bool blocks(const Vec3& a, const Vec3& b) const;
    // The share of the way from a to b where the segment first enters a
    // brush (0 when a is inside one); false when it enters none.
    bool firstHit(const Vec3& a, const Vec3& b, double& share) const;

    // True when p lies inside a brush, deeper than a small margin.
    bool inside(const Vec3& p) const;

private:
    struct Solid {
        std::vector<Plane> sides;
        Bounds bounds;
        bool opaque = true;
        // Brushes with holed faces: each side and its mask (null: not holed).
        std::vector<const BrushSide*> faces;
        std::vector<const AlphaMask*> masks;
    };
    struct Crossing {
        double in = 0.0, out = 1.0;  // shares of the way
        int inSide = -1, outSide = -1;
    };
    bool crosses(const Solid& s, const Vec3& a, const Vec3& b, Crossing& c) const;
    bool passes(const Solid& s, const Vec3& a, const Vec3& b, int side, double t) const;
    double stopsAt(const Solid& s, const Vec3& a, const Vec3& b, const Crossing& c) const;
    bool search(const Vec3& a, const Vec3& b, bool anyHit, double& share) const;

    std::vector<Solid> brushes;
    BoxTree tree;
    std::vector<int> order;  // the brush in each slot of the tree
};

} // namespace mapc
