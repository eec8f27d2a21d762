#pragma once
// The triangles of placed models that cast shadows, in a bounding-volume
// tree so the lighting can ask whether a line passes through any of them.
#include <vector>
#include "MapMath.h"
#include "Surfaces.h"

namespace mapc {

class ModelShadows {
public:
    // The triangles of every mesh surface marked as casting shadows.
    explicit ModelShadows(const std::vector<Surface>& surfaces);

    bool empty() const { return triangles.empty(); }

    // True when a triangle crosses the segment from a to b, leaving out its
    // first unit (a luxel's own surface).
    bool blocks(const Vec3& a, const Vec3& b) const;

private:
    struct Triangle {
        Vec3 corner[3];
    };
    struct Node {
        float lo[3], hi[3];
        int first = 0;  // leaf: first triangle; inner: first child (second follows)
        int count = 0;  // triangles of a leaf; 0 for an inner node
        int axis = 0;   // inner: the first child holds the lower centres along it
    };
    static constexpr int kCutBins = 12;
    void addCut(const Triangle& t, int depth);
    void build(int node, int first, int count, int depth);
    bool bestCut(int first, int count, const Bounds& box, const Bounds& centres, int& axis, double& cut) const;

    std::vector<Triangle> triangles;
    std::vector<Node> nodes;
};

} // namespace mapc
