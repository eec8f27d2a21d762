#pragma once
// The view frustum used to cull the level.
#include "platform/Published.h"
#include "world/BoundingSphere.h"
#include "world/Vector3.h"

// The six clip planes of the view and a cone around them, used to cull the
// level. Rebuilt from the GL matrices when the camera moved or turned.
class Frustum : public Published<Frustum> {
public:
    enum Side { Inside = 0, Outside = 1, Intersecting = 2 };
    enum Plane { Near = 0, Far, Left, Right, Top, Bottom, PlaneCount };

    Frustum();

    // Window half sizes in pixels and the tangent of half the vertical field
    // of view; these set the cone's width.
    void setViewport(float halfWidthPixels, float halfHeightPixels, float fovTangent);

    // Reads GL's projection and model-view matrices; ignored while locked.
    void update(const Vector3& cameraPosition, const Vector3& cameraForward);
    // The same from given column-major matrices.
    void updateFromMatrices(const float projection[16], const float modelView[16],
                            const Vector3& cameraPosition, const Vector3& cameraForward);

    // False when the sphere lies wholly outside the view cone.
    bool coneTest(const BoundingSphere& sphere) const;
    // Inside, Outside or Intersecting against the six planes.
    int sphereTest(const BoundingSphere& sphere) const;
    // The box given by two opposite corners (in any order).
    int boxTest(const Vector3& cornerA, const Vector3& cornerB) const;

    // Freezes or thaws culling; returns the new state.
    bool toggleLock();

    Vector3 coneVertex;
    Vector3 coneAxis;
    float coneAngle = 0.0f;  // half-angle, radians
    float inverseSine = 0.0f, sine = 0.0f, sineSquared = 0.0f;
    float cosine = 0.0f, cosineSquared = 0.0f;
    float planes[PlaneCount][4] = {};  // a, b, c, d; inner side where a*x+b*y+c*z+d >= 0
    float halfWidth = 0.5f;
    float halfHeight = 0.5f;
    float tangent;
    bool locked = false;
};
