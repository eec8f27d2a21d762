// Camera vectors and matrices, frustum planes from given matrices, the view
// cone and the sphere/box/cone rules. Plain maths: no GL context.
#include <gtest/gtest.h>

#include <cmath>

#include "world/Camera.h"
#include "world/Frustum.h"

namespace {

// gluPerspective(fovy, aspect, near, far), column-major, worked by hand.
void perspective(float fovyDegrees, float aspect, float n, float f, float m[16])
{
    float c = 1.0f / std::tan(fovyDegrees * 3.14159265f / 360.0f);
    for (int i = 0; i < 16; i++)
        m[i] = 0.0f;
    m[0] = c / aspect;
    m[5] = c;
    m[10] = (f + n) / (n - f);
    m[11] = -1.0f;
    m[14] = 2.0f * f * n / (n - f);
}

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

BoundingSphere sphere(float x, float y, float z, float r)
{
    BoundingSphere s;
    s.center = Vector3(x, y, z);
    s.radius = r;
    s.radiusSquared = r * r;
    return s;
}

void expectPlane(const float* p, float a, float b, float c, float d)
{
    EXPECT_NEAR(p[0], a, 1e-5);
    EXPECT_NEAR(p[1], b, 1e-5);
    EXPECT_NEAR(p[2], c, 1e-5);
    EXPECT_NEAR(p[3], d, 1e-3);
}

// 90 degrees vertical at 4:3, near 1, far 1000, camera at the origin
// looking down -z (the model-view is the identity).
class View : public ::testing::Test {
protected:
    void SetUp() override
    {
        frustum.setViewport(400.0f, 300.0f, std::tan(0.7853981635f));
        perspective(90.0f, 4.0f / 3.0f, 1.0f, 1000.0f, projection);
        frustum.updateFromMatrices(projection, kIdentity, Vector3(0, 0, 0), Vector3(0, 0, -1));
    }
    Frustum frustum;
    float projection[16];
};

TEST_F(View, PlanesMatchTheHandComputedPerspective)
{
    const float s2 = std::sqrt(0.5f);
    // Horizontal half-angle: atan(4/3), so the side planes lean by it.
    float h = 1.0f / std::sqrt(1.0f + (4.0f / 3.0f) * (4.0f / 3.0f));  // cos of atan(4/3)
    float hs = (4.0f / 3.0f) * h;                                        // sin
    expectPlane(frustum.planes[Frustum::Near], 0, 0, -1, -1);
    expectPlane(frustum.planes[Frustum::Far], 0, 0, 1, 1000);
    expectPlane(frustum.planes[Frustum::Left], h, 0, -hs, 0);
    expectPlane(frustum.planes[Frustum::Right], -h, 0, -hs, 0);
    expectPlane(frustum.planes[Frustum::Top], 0, -s2, -s2, 0);
    expectPlane(frustum.planes[Frustum::Bottom], 0, s2, -s2, 0);
}

TEST_F(View, ConeHalfAngleAt800x600IsAtanFiveThirds)
{
    EXPECT_NEAR(frustum.coneAngle, std::atan(5.0f / 3.0f), 1e-6);
    EXPECT_NEAR(frustum.coneAngle * 180.0 / 3.14159265, 59.036, 1e-3);
    EXPECT_NEAR(frustum.sine, 5.0f / std::sqrt(34.0f), 1e-6);
    EXPECT_NEAR(frustum.cosineSquared, 9.0f / 34.0f, 1e-6);
    EXPECT_NEAR(frustum.inverseSine * frustum.sine, 1.0f, 1e-6);
}

TEST_F(View, ConeTest)
{
    EXPECT_TRUE(frustum.coneTest(sphere(0, 0, -100, 1)));
    EXPECT_FALSE(frustum.coneTest(sphere(0, 0, 100, 10)));    // behind
    EXPECT_FALSE(frustum.coneTest(sphere(300, 0, -100, 10)));  // beyond 59 degrees
    EXPECT_TRUE(frustum.coneTest(sphere(300, 0, -100, 150)));  // but big enough to reach in
    // Behind the vertex the sphere must contain the vertex itself.
    EXPECT_TRUE(frustum.coneTest(sphere(0, 0, 5, 6)));
    EXPECT_FALSE(frustum.coneTest(sphere(0, 0, 5, 4.9f)));

    Frustum fresh;  // never updated: everything is rejected
    EXPECT_FALSE(fresh.coneTest(sphere(0, 0, -100, 50)));
}

TEST_F(View, SphereTest)
{
    EXPECT_EQ(frustum.sphereTest(sphere(0, 0, -100, 10)), Frustum::Inside);
    EXPECT_EQ(frustum.sphereTest(sphere(0, 0, 100, 10)), Frustum::Outside);
    EXPECT_EQ(frustum.sphereTest(sphere(0, 0, -1000, 10)), Frustum::Intersecting);
    // Straddling the near plane yet wholly outside the left plane: the near
    // plane answers first.
    EXPECT_EQ(frustum.sphereTest(sphere(-50, 0, -1, 2)), Frustum::Intersecting);
}

TEST_F(View, BoxTest)
{
    EXPECT_EQ(frustum.boxTest({-10, -10, -110}, {10, 10, -90}), Frustum::Inside);
    // Corners in either order.
    EXPECT_EQ(frustum.boxTest({10, 10, -90}, {-10, -10, -110}), Frustum::Inside);
    EXPECT_EQ(frustum.boxTest({-10, -10, 90}, {10, 10, 110}), Frustum::Outside);
    EXPECT_EQ(frustum.boxTest({-10, -10, -1010}, {10, 10, -990}), Frustum::Intersecting);
    // Partly behind the near plane, wholly behind the far plane: the near
    // plane decides first.
    EXPECT_EQ(frustum.boxTest({-10, -10, 5}, {10, 10, -2000}), Frustum::Intersecting);
}

TEST_F(View, LockKeepsThePlanes)
{
    EXPECT_TRUE(frustum.toggleLock());
    frustum.updateFromMatrices(projection, kIdentity, Vector3(5, 5, 5), Vector3(1, 0, 0));
    EXPECT_EQ(frustum.coneAxis.z, -1.0f);
    EXPECT_EQ(frustum.coneVertex.x, 0.0f);
    EXPECT_FALSE(frustum.toggleLock());
    frustum.updateFromMatrices(projection, kIdentity, Vector3(5, 5, 5), Vector3(1, 0, 0));
    EXPECT_EQ(frustum.coneAxis.x, 1.0f);
}

TEST(CameraMaths, StartsLookingDownPlusZ)
{
    Camera camera;
    EXPECT_EQ(camera.forward.z, 1.0f);
    EXPECT_NEAR(camera.right.x, -1.0f, 1e-6);  // forward x up
    EXPECT_NEAR(camera.trueUp.y, 1.0f, 1e-6);
    // View rows: right, true up, -forward.
    EXPECT_NEAR(camera.viewMatrix[0], -1.0f, 1e-6);
    EXPECT_NEAR(camera.viewMatrix[5], 1.0f, 1e-6);
    EXPECT_NEAR(camera.viewMatrix[10], -1.0f, 1e-6);
    EXPECT_EQ(camera.viewMatrix[15], 1.0f);
    // Billboard columns: right, -true up, -forward.
    EXPECT_NEAR(camera.billboardMatrix[0], -1.0f, 1e-6);
    EXPECT_NEAR(camera.billboardMatrix[5], -1.0f, 1e-6);
    EXPECT_NEAR(camera.billboardMatrix[10], -1.0f, 1e-6);
    EXPECT_EQ(Camera::instance, &camera);
}

TEST(CameraMaths, TurnIsRightHandedAndMovesFollowTheAxes)
{
    Camera camera;
    camera.turn(3.14159265f / 2.0f, Vector3(0, 1, 0));  // +z turns to +x
    EXPECT_NEAR(camera.forward.x, 1.0f, 1e-6);
    EXPECT_NEAR(camera.forward.z, 0.0f, 1e-6);
    EXPECT_NEAR(camera.forward.length(), 1.0f, 1e-6);
    camera.moveForward(10.0f);
    camera.moveRight(2.0f);   // right is now +z
    camera.moveUp(3.0f);
    EXPECT_NEAR(camera.position.x, 10.0f, 1e-5);
    EXPECT_NEAR(camera.position.z, 2.0f, 1e-5);
    EXPECT_NEAR(camera.position.y, 3.0f, 1e-5);

    // Pitch past straight up: right stays zero while forward is vertical.
    Camera pitch;
    pitch.turn(3.14159265f / 2.0f, Vector3(-1, 0, 0));
    EXPECT_NEAR(pitch.forward.y, 1.0f, 1e-6);
    pitch.forward = Vector3(0, 1, 0);
    pitch.recompute();
    EXPECT_EQ(pitch.right.length(), 0.0f);
    pitch.turn(0.1f, Vector3(1, 0, 0));
    EXPECT_GT(pitch.right.length(), 0.99f);
}

} // namespace
