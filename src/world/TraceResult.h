#pragma once
// The result of a trace through the level.
#include "world/Vector3.h"

// What a ray or sphere trace through the level found.
struct TraceResult {
    bool startsOut = true;    // false when the start lies inside a brush
    bool allSolid = false;    // start and end both inside one brush
    bool hit = false;         // the segment was cut short
    float fraction = 1.0f;    // part of the segment travelled
    float radius = 0.0f;      // distance kept from brush planes
    Vector3 endPosition;
    Vector3 normal;           // plane last struck; kept across traces
};
