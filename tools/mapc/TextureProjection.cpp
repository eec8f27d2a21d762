#include "TextureProjection.h"

namespace mapc {

namespace {

// Face normal direction, then its s and t axes: floor, ceiling, then walls.
const Vec3 kBaseAxes[18] = {
    {0, 0, 1},  {1, 0, 0}, {0, -1, 0},
    {0, 0, -1}, {1, 0, 0}, {0, -1, 0},
    {1, 0, 0},  {0, 1, 0}, {0, 0, -1},
    {-1, 0, 0}, {0, 1, 0}, {0, 0, -1},
    {0, 1, 0},  {1, 0, 0}, {0, 0, -1},
    {0, -1, 0}, {1, 0, 0}, {0, 0, -1},
};

int nonZeroAxis(const Vec3& v) { return v.x != 0 ? 0 : (v.y != 0 ? 1 : 2); }

} // namespace

void textureCoord(const BrushSide& side, const Vec3& normal, const Vec3& p, float out[2])
{
    int best = 0;
    double bestDot = -2.0;
    for (int i = 0; i < 6; ++i) {
        double d = normal.dot(kBaseAxes[i * 3]);
        if (d > bestDot + 1e-9) { bestDot = d; best = i; }
    }
    Vec3 axes[2] = {kBaseAxes[best * 3 + 1], kBaseAxes[best * 3 + 2]};
    double angle = side.rotation * M_PI / 180.0;
    double sn = std::sin(angle), cs = std::cos(angle);
    int sv = nonZeroAxis(axes[0]), tv = nonZeroAxis(axes[1]);
    for (Vec3& a : axes) {
        double ns = cs * a[sv] - sn * a[tv];
        double nt = sn * a[sv] + cs * a[tv];
        a[sv] = ns;
        a[tv] = nt;
    }
    for (int i = 0; i < 2; ++i)
        out[i] = static_cast<float>((p.dot(axes[i]) / side.scale[i] + side.offset[i]) / kAssumedTextureSize);
}

} // namespace mapc
