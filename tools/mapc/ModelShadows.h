#pragma once
// The triangles of placed models and curved patches that cast shadows, in a
// bounding-volume tree so the lighting can ask whether a line passes through
// any of them.
#include <vector>
#include "BoxTree.h"
#include "MapMath.h"
#include "Surfaces.h"

namespace mapc {

class ModelShadows {
public:
    // The triangles of every mesh and patch marked as casting shadows (with
    // `worldOnly`, of those that shade brush faces and patches too).
    explicit ModelShadows(const std::vector<Surface>& surfaces, bool worldOnly = false);

    bool empty() const { return triangles.empty(); }

    // True when a triangle crosses the segment from a to b, leaving out its
    // first unit (a luxel's own surface).
    bool blocks(const Vec3& a, const Vec3& b) const;

private:
    struct Triangle {
        Vec3 corner[3];
    };
    void addCut(const Triangle& t, int depth);

    std::vector<Triangle> triangles;
    BoxTree tree;
    std::vector<int> order;  // the triangle in each slot of the tree
};

} // namespace mapc
