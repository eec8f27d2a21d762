#pragma once
#include "BrushSet.h"
#include "MapMath.h"

namespace mapc {

// Texture size assumed for every texture: the compiler does not read images,
// so one repeat of a texture spans this many units at scale 1.
constexpr double kAssumedTextureSize = 128.0;

// Texture coordinate of a point on a side: the point is projected on the
// world plane closest to the side, then rotated, scaled and offset as written.
void textureCoord(const BrushSide& side, const Vec3& normal, const Vec3& p, float out[2]);

} // namespace mapc
