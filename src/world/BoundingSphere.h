#pragma once
// The bounding sphere of a node or leaf, used by frustum culling.
#include "world/Vector3.h"

// Sphere around a node's or leaf's box; the frustum culls with it.
struct BoundingSphere {
    Vector3 center;
    float radius = 0.0f;
    float radiusSquared = 0.0f;
};
