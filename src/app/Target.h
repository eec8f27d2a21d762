#pragma once
// The interface of things a shot can hit (enemies).
#include "world/Vector3.h"

// Something a shot can hit. The TargetList refers to targets, never owns them.
class Target {
public:
    virtual ~Target() = default;
    // Fraction along start..end where the segment hits; 1.0 when missed.
    virtual float hitFraction(const Vector3& start, const Vector3& end) = 0;
    virtual void takeDamage(int amount) = 0;
    // Once per frame; false drops the target from the list.
    virtual bool update() = 0;
};
