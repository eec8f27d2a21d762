// Convex polygon operations: base windings, splits, clips, area and bounds.
#include "MapMath.h"

namespace mapc {

namespace {

// Polygons thinner than this are numerical slivers, not geometry.
constexpr double kTinyArea = 0.001;

void dropSliver(Winding& w)
{
    if (w.size() < 3 || windingArea(w) < kTinyArea) w.clear();
}

} // namespace

Winding baseWinding(const Plane& plane)
{
    const Vec3& n = plane.normal;
    double ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
    Vec3 up = (az >= ax && az >= ay) ? Vec3(1, 0, 0) : Vec3(0, 0, 1);
    up = (up - n * up.dot(n)).normalized();
    Vec3 right = up.cross(n);
    Vec3 origin = n * plane.dist;
    up = up * kWorldExtent;
    right = right * kWorldExtent;
    // Counter-clockwise seen from the front: right-handed normal equals n.
    return {origin - right - up, origin + right - up, origin + right + up, origin - right + up};
}

void splitWinding(const Winding& w, const Plane& plane, double epsilon, Winding& front,
                  Winding& back)
{
    front.clear();
    back.clear();
    size_t n = w.size();
    if (n < 3) return;
    std::vector<double> dists(n);
    std::vector<int> sides(n);
    int counts[3] = {0, 0, 0};
    for (size_t i = 0; i < n; ++i) {
        double d = plane.distanceTo(w[i]);
        dists[i] = d;
        sides[i] = d > epsilon ? 0 : (d < -epsilon ? 1 : 2);
        counts[sides[i]]++;
    }
    if (counts[0] == 0 && counts[1] == 0) return;  // on the plane
    if (counts[1] == 0) { front = w; return; }
    if (counts[0] == 0) { back = w; return; }
    for (size_t i = 0; i < n; ++i) {
        const Vec3& p = w[i];
        if (sides[i] == 2) {
            front.push_back(p);
            back.push_back(p);
            continue;
        }
        (sides[i] == 0 ? front : back).push_back(p);
        size_t j = (i + 1) % n;
        if (sides[j] == 2 || sides[j] == sides[i]) continue;
        double t = dists[i] / (dists[i] - dists[j]);
        Vec3 mid = p + (w[j] - p) * t;
        // Keep exact coordinates on axial planes so neighbours line up.
        for (int k = 0; k < 3; ++k) {
            if (plane.normal[k] == 1.0) mid[k] = plane.dist;
            else if (plane.normal[k] == -1.0) mid[k] = -plane.dist;
        }
        front.push_back(mid);
        back.push_back(mid);
    }
    dropSliver(front);
    dropSliver(back);
}

void clipWinding(Winding& w, const Plane& plane, double epsilon)
{
    if (w.empty()) return;
    bool anyBehind = false, anyFront = false;
    for (const Vec3& p : w) {
        double d = plane.distanceTo(p);
        if (d < -epsilon) anyBehind = true;
        if (d > epsilon) anyFront = true;
    }
    if (!anyBehind) {
        if (!anyFront) w.clear();  // on the plane: nothing in front
        return;
    }
    if (!anyFront) { w.clear(); return; }
    Winding front, back;
    splitWinding(w, plane, epsilon, front, back);
    w.swap(front);
}

Side classifyWinding(const Winding& w, const Plane& plane, double epsilon)
{
    bool front = false, back = false;
    for (const Vec3& p : w) {
        double d = plane.distanceTo(p);
        if (d > epsilon) front = true;
        else if (d < -epsilon) back = true;
    }
    if (front && back) return Side::Cross;
    if (front) return Side::Front;
    if (back) return Side::Back;
    return Side::On;
}

Vec3 windingNormal(const Winding& w)
{
    Vec3 sum;
    for (size_t i = 0; i < w.size(); ++i) sum += w[i].cross(w[(i + 1) % w.size()]);
    return sum.normalized();
}

double polygonArea(const Vec3* points, size_t count)
{
    Vec3 sum;
    for (size_t i = 2; i < count; ++i) sum += (points[i - 1] - points[0]).cross(points[i] - points[0]);
    return 0.5 * sum.length();
}

Vec3 polygonCenter(const Vec3* points, size_t count)
{
    Vec3 c;
    if (count == 0) return c;
    for (size_t i = 0; i < count; ++i) c += points[i];
    return c * (1.0 / count);
}

double windingArea(const Winding& w)
{
    return polygonArea(w.data(), w.size());
}

Vec3 windingCenter(const Winding& w)
{
    return polygonCenter(w.data(), w.size());
}

Bounds windingBounds(const Winding& w)
{
    Bounds b;
    for (const Vec3& p : w) b.add(p);
    return b;
}

} // namespace mapc
