// Stepping a sphere through the level: gravity, friction, sliding and bouncing.
#include "world/PhysicsBody.h"

#include <cmath>

#include "app/FrameTimer.h"
#include "world/Collision.h"
#include "world/Renderer.h"

namespace {

// A retrace that gets no farther than this is stuck: the frame ends there.
constexpr float kStuckFraction = 0.0001f;

// The motion d mirrored across the plane with normal n, as a unit vector;
// n itself when d is parallel to it.
Vector3 bounceDirection(const Vector3& d, const Vector3& n)
{
    Vector3 axis = d.cross(n);
    if (axis.x == 0.0f && axis.y == 0.0f && axis.z == 0.0f)
        return n;
    // Rotating d by twice its angle to n about d x n is the reflection
    // 2 (n . d) n - d; computed directly, without acos.
    float length = d.length();
    Vector3 unit = d * (1.0f / length);
    Vector3 mirrored = n * (2.0f * n.dot(unit) / n.lengthSquared()) - unit;
    float mirroredLength = mirrored.length();
    if (!(mirroredLength > 0.0f))
        return n;
    return mirrored * (1.0f / mirroredLength);
}

} // namespace

float frictionLoss(float friction, float dt)
{
    // Friction is the share lost in a sixtieth of a second. Taken per unit
    // of time, so speeds and drift do not depend on the frame rate.
    float sixtieths = dt * 60.0f;
    if (sixtieths == 1.0f)
        return friction;  // exactly the loss of one such frame
    if (!(sixtieths > 0.0f))
        return 0.0f;
    float kept = 1.0f - friction;
    if (!(kept > 0.0f))
        return 1.0f;
    return 1.0f - std::pow(kept, sixtieths);
}

PhysicsBody::PhysicsBody(float radius_, float friction_, bool frictionOn_, const Vector3& gravity_)
    : timer(FrameTimer::instance),
      renderer(Renderer::instance),
      friction(friction_),
      radius(radius_),
      gravity(gravity_),
      frictionOn(frictionOn_)
{
}

void PhysicsBody::impulse(float scale, const Vector3& direction)
{
    velocity += direction * scale;
}

void PhysicsBody::step(Vector3& position)
{
    if (timer)
        stepBy(position, timer->frameTime);
}

void PhysicsBody::stepBy(Vector3& position, float dt)
{
    // Nothing sensible follows from a broken state: stop the body where it is.
    if (!position.isFinite() || !velocity.isFinite() || !std::isfinite(dt)) {
        velocity = Vector3();
        return;
    }

    float t = dt;
    Vector3 target = position + velocity * t;
    if (!target.isFinite()) {
        velocity = Vector3();
        return;
    }

    if (renderer) {
        trace.hit = false;
        sphereTrace(*renderer, trace, position, target, radius);
        if (!trace.hit) {
            position = target;
        } else {
            for (int bounce = 0; bounce < kMaxBounces; bounce++) {
                Vector3 n = trace.normal;
                Vector3 direction = bounceDirection(position - target, n);
                velocity = direction * velocity.length();
                t *= 1.0f - trace.fraction;
                position = trace.endPosition + n * kSurfaceEpsilon;
                target = position + velocity * t;
                sphereTrace(*renderer, trace, position, target, radius);
                // After a bounce the rest of the frame's motion is dropped.
                if (!trace.hit || trace.fraction <= kStuckFraction)
                    break;
            }
        }
    } else {
        position = target;
    }

    if (frictionOn)
        velocity = velocity + gravity * dt - velocity * frictionLoss(friction, dt);
    else
        velocity = velocity + gravity * dt;
    if (!velocity.isFinite())
        velocity = Vector3();
}
