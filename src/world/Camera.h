#pragma once
// The player's eye: position and orientation.
#include "platform/Published.h"
#include "world/Vector3.h"

// The player's eye: a free first-person camera, y-up. Its leaf fields are
// written only by Renderer::updateCameraLeaf.
class Camera : public Published<Camera> {
public:
    Camera();

    // Rotates forward by angle radians about the unit axis (right-handed).
    void turn(float angle, const Vector3& axis);
    void moveForward(float distance);
    void moveRight(float distance);
    void moveUp(float distance);  // along the world up, not the true up

    // Loads the view matrix into GL's model-view and translates by -position.
    void applyView() const;
    // Looks down the default axis again, as at construction.
    void resetOrientation();
    // Looks along the direction (any length); a zero or non-finite one is ignored.
    void lookAlong(const Vector3& direction);
    // Rebuilds right, true up and both matrices from forward.
    void recompute();

    // Right-handed rotation of v about the unit axis.
    static Vector3 rotate(const Vector3& v, const Vector3& axis, float angle);

    int leaf = 0;
    int cluster = 0;
    Vector3 leafPosition;          // where leaf and cluster were found
    float billboardMatrix[16];     // column-major; users fill the translation column
    Vector3 position;
    Vector3 forward{0.0f, 0.0f, 1.0f};
    Vector3 up{0.0f, 1.0f, 0.0f};  // world up, never changed
    Vector3 right;
    Vector3 trueUp;
    float viewMatrix[16];          // column-major; rows right, true up, -forward
};
