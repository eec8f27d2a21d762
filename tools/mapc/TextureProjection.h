#pragma once
// Projecting textures onto brush sides.
#include "BrushSet.h"
#include "MapMath.h"

namespace mapc {

// Texture coordinate of a point on a side. Classic sides project the point
// on the world plane closest to the side, then rotate, scale and offset it
// as written and divide by the image size; brushDef sides apply their
// texture matrix to the point's coordinates in the side's own plane axes.
void textureCoord(const BrushSide& side, const Vec3& normal, const Vec3& p, float out[2]);

} // namespace mapc
