// Converting between yaw/pitch in degrees and view directions.
#include "world/ViewAngles.h"

#include <algorithm>
#include <cmath>

namespace {

const float kDegrees = 57.29577951308232f;

float finiteOrZero(float value) { return std::isfinite(value) ? value : 0.0f; }

} // namespace

Vector3 forwardFromAngles(float yawDegrees, float pitchDegrees)
{
    float yaw = finiteOrZero(yawDegrees) / kDegrees;
    float pitch = std::clamp(finiteOrZero(pitchDegrees), -kMaxPitchDegrees, kMaxPitchDegrees) / kDegrees;
    float flat = std::cos(pitch);
    return fromFileFrame(flat * std::cos(yaw), flat * std::sin(yaw), std::sin(pitch));
}

void anglesOfForward(const Vector3& forward, float* yawDegrees, float* pitchDegrees)
{
    Vector3 file = toFileFrame(forward);
    float flat = std::sqrt(file.x * file.x + file.y * file.y);
    *yawDegrees = std::atan2(file.y, file.x) * kDegrees;
    *pitchDegrees = std::atan2(file.z, flat) * kDegrees;
}
