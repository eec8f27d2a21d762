#pragma once
// Every plane of the level, deduplicated and paired with its opposite.
#include <unordered_map>
#include <vector>
#include "MapMath.h"

namespace mapc {

// Every plane of the level, stored in opposite pairs: plane i ^ 1 is plane i
// turned around, so "same plane, either facing" is (i >> 1) equality.
class PlaneSet {
public:
    // Index of the plane (snapped to axial / whole units when close), added
    // with its opposite when new.
    int find(const Plane& p);

    const Plane& operator[](int i) const { return planes[static_cast<size_t>(i)]; }
    int size() const { return static_cast<int>(planes.size()); }
    const std::vector<Plane>& all() const { return planes; }

private:
    static Plane snap(const Plane& p);
    int lookup(const Plane& p) const;

    std::vector<Plane> planes;
    std::unordered_multimap<long long, int> byDistance;
};

} // namespace mapc
