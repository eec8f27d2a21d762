#pragma once
// The sphere body that moves the camera and the enemies through the level.
#include "world/TraceResult.h"
#include "world/Vector3.h"

class FrameTimer;
class Renderer;

// Share of the speed friction takes in dt seconds, for a friction that is
// the share taken in 1/60 s.
float frictionLoss(float friction, float dt);

// A sphere that moves through the level: velocity, gravity and friction,
// stepped once per frame with a sphere trace. Moves the camera and enemies.
class PhysicsBody {
public:
    // A step never retraces more often than this; corners that keep the
    // sphere bouncing end the frame where the last bounce left it.
    static constexpr int kMaxBounces = 8;

    // Takes the process-wide FrameTimer and Renderer.
    PhysicsBody(float radius, float friction, bool frictionOn, const Vector3& gravity);

    // velocity += scale * direction
    void impulse(float scale, const Vector3& direction);
    // Moves position by one frame of the FrameTimer's frameTime.
    void step(Vector3& position);
    // The same for a given frame time.
    void stepBy(Vector3& position, float dt);

    FrameTimer* timer = nullptr;
    Renderer* renderer = nullptr;
    float friction;  // share of the speed lost per 1/60 s
    float radius;
    Vector3 velocity;
    Vector3 gravity;
    bool frictionOn;
    TraceResult trace;
};
