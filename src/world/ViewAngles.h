#pragma once
// View directions from and to yaw and pitch in degrees.
#include "world/Vector3.h"

// View directions as level files and their users give them: yaw in degrees
// about the file's z (0 along +x, 90 along +y), pitch in degrees (positive
// looks up). Directions returned and taken are in the running program's
// y-up frame.

// Pitch is kept short of straight up or down, where the camera has no right.
constexpr float kMaxPitchDegrees = 89.9f;

// Unit direction for the angles; non-finite angles count as 0.
Vector3 forwardFromAngles(float yawDegrees, float pitchDegrees);
// The angles of a direction (need not be unit); yaw in (-180, 180].
void anglesOfForward(const Vector3& forward, float* yawDegrees, float* pitchDegrees);
