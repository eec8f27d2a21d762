#pragma once
#include "world/Vector3.h"

// Culling volume of a node or leaf box; the squared radius saves a multiply
// in the view-cone test.
struct BoundingSphere {
    Vector3 centre;
    float radius = 0.0f;
    float radiusSquared = 0.0f;
};
