#pragma once
// Double-precision vectors, planes and bounds for the level compiler.
#include <cmath>
#include <vector>

// Double-precision geometry for the level compiler. The file stores floats,
// but every cut and clip here is done in doubles so splits stay consistent.
namespace mapc {

struct Vec3 {
    double x = 0.0, y = 0.0, z = 0.0;

    Vec3() = default;
    Vec3(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}

    Vec3 operator+(const Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    Vec3 operator-(const Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    Vec3 operator*(double s) const { return {x * s, y * s, z * s}; }
    Vec3 operator-() const { return {-x, -y, -z}; }
    Vec3& operator+=(const Vec3& o) { x += o.x; y += o.y; z += o.z; return *this; }
    double operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
    double& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }

    double dot(const Vec3& o) const { return x * o.x + y * o.y + z * o.z; }
    Vec3 cross(const Vec3& o) const { return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x}; }
    double length() const { return std::sqrt(dot(*this)); }
    Vec3 normalized() const
    {
        double l = length();
        return l > 0.0 ? *this * (1.0 / l) : Vec3();
    }
};

// Points p with normal . p - dist >= 0 are in front.
struct Plane {
    Vec3 normal;
    double dist = 0.0;
    double distanceTo(const Vec3& p) const { return normal.dot(p) - dist; }
    Plane flipped() const { return {-normal, -dist}; }
};

struct Bounds {
    Vec3 mins{1e30, 1e30, 1e30};
    Vec3 maxs{-1e30, -1e30, -1e30};

    bool valid() const { return mins.x <= maxs.x; }
    void add(const Vec3& p)
    {
        for (int i = 0; i < 3; ++i) {
            if (p[i] < mins[i]) mins[i] = p[i];
            if (p[i] > maxs[i]) maxs[i] = p[i];
        }
    }
    void add(const Bounds& b)
    {
        if (b.valid()) { add(b.mins); add(b.maxs); }
    }
    bool overlaps(const Bounds& o, double slack) const
    {
        for (int i = 0; i < 3; ++i)
            if (mins[i] > o.maxs[i] + slack || maxs[i] < o.mins[i] - slack) return false;
        return true;
    }
    bool contains(const Vec3& p, double slack) const
    {
        for (int i = 0; i < 3; ++i)
            if (p[i] < mins[i] - slack || p[i] > maxs[i] + slack) return false;
        return true;
    }
};

// A convex polygon; points in order around it.
using Winding = std::vector<Vec3>;

constexpr double kOnEpsilon = 0.01;     // points this close to a plane lie on it
constexpr double kWorldExtent = 131072; // half size of a plane's starting polygon

enum class Side { Front, Back, On, Cross };

// A square on the plane, far larger than any level.
Winding baseWinding(const Plane& plane);

// Keeps the part in front of the plane; the winding becomes empty when
// nothing (or only a sliver) is left.
void clipWinding(Winding& w, const Plane& plane, double epsilon = kOnEpsilon);

// Cuts into the parts in front of and behind the plane; a winding lying on
// the plane goes to neither.
void splitWinding(const Winding& w, const Plane& plane, double epsilon, Winding& front,
                  Winding& back);

Side classifyWinding(const Winding& w, const Plane& plane, double epsilon = kOnEpsilon);

double windingArea(const Winding& w);
Vec3 windingCenter(const Winding& w);
// The same for points held elsewhere (the flow's fixed-size polygons).
double polygonArea(const Vec3* points, size_t count);
Vec3 polygonCenter(const Vec3* points, size_t count);
Bounds windingBounds(const Winding& w);
// Normal from the point order (right-handed), unit length or zero.
Vec3 windingNormal(const Winding& w);

} // namespace mapc
