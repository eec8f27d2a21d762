// The free first-person camera: turning, moving and loading its view transform.
#include "world/Camera.h"

#include <GL/gl.h>

Camera::Camera()
{
    recompute();
}

Vector3 Camera::rotate(const Vector3& v, const Vector3& axis, float angle)
{
    // cos*v + sin*(axis x v) + (1 - cos)*(axis . v)*axis
    float c = std::cos(angle);
    float s = std::sin(angle);
    return v * c + axis.cross(v) * s + axis * ((1.0f - c) * axis.dot(v));
}

void Camera::turn(float angle, const Vector3& axis)
{
    Vector3 turned = rotate(forward, axis, angle);
    float length = turned.length();
    // A zero or non-finite result would poison every later frame.
    if (length > 0.0f && std::isfinite(length))
        forward = turned * (1.0f / length);
    recompute();
}

void Camera::resetOrientation()
{
    forward = Vector3(0.0f, 0.0f, 1.0f);
    recompute();
}

void Camera::lookAlong(const Vector3& direction)
{
    float length = direction.length();
    if (!(length > 0.0f) || !std::isfinite(length))
        return;
    forward = direction * (1.0f / length);
    recompute();
}

void Camera::moveForward(float distance)
{
    position += forward * distance;
}

void Camera::moveRight(float distance)
{
    position += right * distance;
}

void Camera::moveUp(float distance)
{
    position += up * distance;
}

void Camera::applyView() const
{
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(viewMatrix);
    glTranslatef(-position.x, -position.y, -position.z);
}

void Camera::recompute()
{
    right = forward.cross(up);
    float length = right.length();
    // Looking straight up or down leaves right at zero until forward moves on.
    if (length != 0.0f)
        right *= 1.0f / length;
    trueUp = right.cross(forward);

    const Vector3 columns[3] = {right, -trueUp, -forward};
    for (int c = 0; c < 3; c++) {
        billboardMatrix[c * 4 + 0] = columns[c].x;
        billboardMatrix[c * 4 + 1] = columns[c].y;
        billboardMatrix[c * 4 + 2] = columns[c].z;
        billboardMatrix[c * 4 + 3] = 0.0f;
    }
    billboardMatrix[12] = billboardMatrix[13] = billboardMatrix[14] = 0.0f;
    billboardMatrix[15] = 1.0f;

    const Vector3 rows[3] = {right, trueUp, -forward};
    for (int r = 0; r < 3; r++) {
        viewMatrix[0 + r] = rows[r].x;
        viewMatrix[4 + r] = rows[r].y;
        viewMatrix[8 + r] = rows[r].z;
        viewMatrix[12 + r] = 0.0f;
    }
    viewMatrix[3] = viewMatrix[7] = viewMatrix[11] = 0.0f;
    viewMatrix[15] = 1.0f;
}
