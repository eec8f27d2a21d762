// Texture coordinates of points on brush sides, classic and brush-primitive.
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

// The two axes a brushDef texture matrix works in: turned with the normal's
// heading and pitch, so they stay on the plane.
void matrixAxes(const Vec3& normal, Vec3& s, Vec3& t)
{
    Vec3 n = normal;
    for (int i = 0; i < 3; ++i)
        if (std::fabs(n[i]) < 1e-6) n[i] = 0.0;
    double pitch = -std::atan2(n.z, std::sqrt(n.y * n.y + n.x * n.x));
    double heading = std::atan2(n.y, n.x);
    s = Vec3(-std::sin(heading), std::cos(heading), 0.0);
    t = Vec3(-std::sin(pitch) * std::cos(heading), -std::sin(pitch) * std::sin(heading), -std::cos(pitch));
}

} // namespace

void textureCoord(const BrushSide& side, const Vec3& normal, const Vec3& p, float out[2])
{
    if (side.worldTexture) {
        for (int i = 0; i < 2; ++i)
            out[i] = static_cast<float>(p.x * side.worldAxes[i][0] + p.y * side.worldAxes[i][1] + p.z * side.worldAxes[i][2]);
        return;
    }
    if (side.hasMatrix) {
        Vec3 s, t;
        matrixAxes(normal, s, t);
        double x = p.dot(s), y = p.dot(t);
        for (int i = 0; i < 2; ++i)
            out[i] = static_cast<float>(side.matrix[i][0] * x + side.matrix[i][1] * y + side.matrix[i][2]);
        return;
    }
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
        out[i] = static_cast<float>((p.dot(axes[i]) / side.scale[i] + side.offset[i]) / side.imageSize[i]);
}

} // namespace mapc
