// Building the view frustum from the GL matrices and testing spheres against it.
#include "world/Frustum.h"

#include <GL/gl.h>

Frustum::Frustum()
{
    tangent = std::tan(3.14159265f / 180.0f);
}

void Frustum::setViewport(float halfWidthPixels, float halfHeightPixels, float fovTangent)
{
    halfWidth = halfWidthPixels;
    halfHeight = halfHeightPixels;
    tangent = fovTangent;
}

void Frustum::update(const Vector3& cameraPosition, const Vector3& cameraForward)
{
    if (locked)
        return;
    float projection[16];
    float modelView[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
    updateFromMatrices(projection, modelView, cameraPosition, cameraForward);
}

void Frustum::updateFromMatrices(const float projection[16], const float modelView[16],
                                 const Vector3& cameraPosition, const Vector3& cameraForward)
{
    if (locked)
        return;

    // clip = projection * modelView, all column-major.
    float clip[16];
    for (int col = 0; col < 4; col++) {
        for (int row = 0; row < 4; row++) {
            float sum = 0.0f;
            for (int k = 0; k < 4; k++)
                sum += projection[k * 4 + row] * modelView[col * 4 + k];
            clip[col * 4 + row] = sum;
        }
    }

    // Each plane is row 3 plus or minus another row of clip.
    static const int kRow[PlaneCount] = {2, 2, 0, 0, 1, 1};
    static const float kSign[PlaneCount] = {1.0f, -1.0f, 1.0f, -1.0f, -1.0f, 1.0f};
    for (int p = 0; p < PlaneCount; p++) {
        float* plane = planes[p];
        for (int k = 0; k < 4; k++)
            plane[k] = clip[k * 4 + 3] + kSign[p] * clip[k * 4 + kRow[p]];
        float length = std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]);
        if (length > 0.0f) {
            for (int k = 0; k < 4; k++)
                plane[k] /= length;
        }
    }

    coneVertex = cameraPosition;
    coneAxis = cameraForward;
    coneAngle = std::atan(std::sqrt(halfWidth * halfWidth + halfHeight * halfHeight) * tangent /
                          halfHeight);
    sine = std::sin(coneAngle);
    cosine = std::cos(coneAngle);
    inverseSine = sine != 0.0f ? 1.0f / sine : 0.0f;
    sineSquared = sine * sine;
    cosineSquared = cosine * cosine;
}

bool Frustum::coneTest(const BoundingSphere& sphere) const
{
    // Move the vertex back so the cone grown by the radius still has a
    // sharp tip; the sphere must lie inside that cone.
    Vector3 u = coneVertex - coneAxis * (sphere.radius * inverseSine);
    Vector3 d = sphere.center - u;
    float e = coneAxis.dot(d);
    if (e <= 0.0f || e * e < d.lengthSquared() * cosineSquared)
        return false;

    // Near the real vertex the sphere must touch the vertex itself.
    d = sphere.center - coneVertex;
    e = -coneAxis.dot(d);
    if (e > 0.0f && e * e >= d.lengthSquared() * sineSquared)
        return d.lengthSquared() <= sphere.radiusSquared;
    return true;
}

int Frustum::sphereTest(const BoundingSphere& sphere) const
{
    const Vector3& s = sphere.center;
    for (int p = 0; p < PlaneCount; p++) {
        const float* plane = planes[p];
        float distance = plane[0] * s.x + plane[1] * s.y + plane[2] * s.z + plane[3];
        if (distance < -sphere.radius)
            return Outside;
        if (std::fabs(distance) < sphere.radius)
            return Intersecting;
    }
    return Inside;
}

int Frustum::boxTest(const Vector3& a, const Vector3& b) const
{
    for (int p = 0; p < PlaneCount; p++) {
        const float* plane = planes[p];
        int behind = 0;
        for (int corner = 0; corner < 8; corner++) {
            float x = (corner & 1) ? b.x : a.x;
            float y = (corner & 2) ? b.y : a.y;
            float z = (corner & 4) ? b.z : a.z;
            if (plane[0] * x + plane[1] * y + plane[2] * z + plane[3] < 0.0f)
                behind++;
        }
        if (behind == 8)
            return Outside;
        if (behind > 0)
            return Intersecting;
    }
    return Inside;
}

bool Frustum::toggleLock()
{
    locked = !locked;
    return locked;
}
