// Cutting marked models into lightmap pieces and finding the point each of
// their luxels is lit from.
#include "ModelLightmaps.h"
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <limits>
#include <map>
#include <tuple>
#include <unordered_set>

namespace mapc {

namespace {

// Luxels this far (in luxels) from every triangle of the piece are not
// read by the game's filtering; they copy a neighbour.
constexpr double kLuxelReach = 1.5;

// Copies of a point (split at texture seams) share one spot.
std::vector<int> spotIds(const std::vector<PatchPoint>& points)
{
    std::map<std::tuple<long long, long long, long long>, int> ids;
    std::vector<int> out(points.size());
    for (size_t i = 0; i < points.size(); ++i) {
        const Vec3& p = points[i].position;
        const auto key = std::make_tuple(std::llround(p.x * 8), std::llround(p.y * 8), std::llround(p.z * 8));
        out[i] = ids.emplace(key, static_cast<int>(ids.size())).first->second;
    }
    return out;
}

const Vec3& corner(const std::vector<PatchPoint>& points, const std::vector<int>& triangles, size_t t, int k)
{
    return points[static_cast<size_t>(triangles[t * 3 + static_cast<size_t>(k)])].position;
}

// Front normal (clockwise front) as long as twice the triangle's area.
Vec3 areaNormal(const std::vector<PatchPoint>& points, const std::vector<int>& triangles, size_t t)
{
    const Vec3& a = corner(points, triangles, t, 0);
    return (corner(points, triangles, t, 2) - a).cross(corner(points, triangles, t, 1) - a);
}

int dominantAxis(const Vec3& n)
{
    int axis = 0;
    for (int i = 1; i < 3; ++i)
        if (std::fabs(n[i]) > std::fabs(n[axis])) axis = i;
    return axis;
}

// Which side of which axis a normal leans to most: 0..5.
int sideOf(const Vec3& n)
{
    const int axis = dominantAxis(n);
    return axis * 2 + (n[axis] < 0 ? 1 : 0);
}

void axesAlong(int axis, int axes[2])
{
    Vec3 n;
    n[axis] = 1.0;
    lightmapAxes(n, axes[0], axes[1]);
}

// Triangles sharing an edge with each chosen triangle.
std::vector<std::vector<int>> edgeNeighbours(const std::vector<int>& spot, const std::vector<int>& triangles,
                                             const std::vector<int>& chosen)
{
    std::vector<std::pair<uint64_t, int>> edges;
    for (int t : chosen)
        for (int k = 0; k < 3; ++k) {
            const uint32_t a = static_cast<uint32_t>(spot[static_cast<size_t>(triangles[static_cast<size_t>(t) * 3 + k])]);
            const uint32_t b = static_cast<uint32_t>(spot[static_cast<size_t>(triangles[static_cast<size_t>(t) * 3 + (k + 1) % 3])]);
            if (a != b) edges.emplace_back((static_cast<uint64_t>(std::min(a, b)) << 32) | std::max(a, b), t);
        }
    std::sort(edges.begin(), edges.end());
    std::vector<std::vector<int>> out(triangles.size() / 3);
    for (size_t i = 0; i < edges.size();) {
        size_t end = i;
        while (end < edges.size() && edges[end].first == edges[i].first) ++end;
        // A seam of many sheets links only its first few: enough to grow over.
        const size_t last = std::min(end, i + 4);
        for (size_t a = i; a < last; ++a)
            for (size_t b = i; b < last; ++b)
                if (a != b && edges[a].second != edges[b].second)
                    out[static_cast<size_t>(edges[a].second)].push_back(edges[b].second);
        i = end;
    }
    return out;
}

uint64_t luxelKey(long long i, long long j)
{
    return (static_cast<uint64_t>(static_cast<uint32_t>(static_cast<int32_t>(i))) << 32) |
           static_cast<uint32_t>(static_cast<int32_t>(j));
}

// Luxel centres of the grid of `luxel` units strictly inside the triangle's
// shadow along the axis: two triangles claiming one fold over each other.
void coveredLuxels(const Vec3 c[3], const int axes[2], double luxel, std::vector<uint64_t>& out)
{
    out.clear();
    double u[3], v[3];
    for (int k = 0; k < 3; ++k) {
        u[k] = c[k][axes[0]] / luxel;
        v[k] = c[k][axes[1]] / luxel;
    }
    const double area = (u[1] - u[0]) * (v[2] - v[0]) - (u[2] - u[0]) * (v[1] - v[0]);
    if (std::fabs(area) < 1e-9) return;
    const long long i0 = static_cast<long long>(std::ceil(std::min({u[0], u[1], u[2]})));
    const long long i1 = static_cast<long long>(std::floor(std::max({u[0], u[1], u[2]})));
    const long long j0 = static_cast<long long>(std::ceil(std::min({v[0], v[1], v[2]})));
    const long long j1 = static_cast<long long>(std::floor(std::max({v[0], v[1], v[2]})));
    for (long long j = j0; j <= j1; ++j)
        for (long long i = i0; i <= i1; ++i) {
            const double x = static_cast<double>(i), y = static_cast<double>(j);
            bool inside = true;
            for (int k = 0; k < 3 && inside; ++k) {
                const int a = (k + 1) % 3, b = (k + 2) % 3;
                inside = ((u[a] - x) * (v[b] - y) - (u[b] - x) * (v[a] - y)) / area > 1e-6;
            }
            if (inside) out.push_back(luxelKey(i, j));
        }
}

// A piece growing over its neighbours: its span in luxels and the luxel
// centres its triangles already cover.
class PieceGrower {
public:
    PieceGrower(int axis, double luxel, int maxLuxels) : luxel(luxel), most(maxLuxels - 2)
    {
        axesAlong(axis, axes);
    }

    // Takes the triangle when the piece stays within one block and no
    // luxel is claimed twice; the first triangle is always taken.
    bool take(const Vec3 c[3])
    {
        double lo2[2] = {lo[0], lo[1]}, hi2[2] = {hi[0], hi[1]};
        for (int k = 0; k < 3; ++k)
            for (int i = 0; i < 2; ++i) {
                lo2[i] = std::min(lo2[i], c[k][axes[i]] / luxel);
                hi2[i] = std::max(hi2[i], c[k][axes[i]] / luxel);
            }
        const bool first = lo[0] > hi[0];
        const bool tooLarge = hi2[0] - lo2[0] > most || hi2[1] - lo2[1] > most;
        if (!first && tooLarge) return false;
        // A first triangle too large for a block stays alone: its luxels need no count.
        if (!tooLarge) {
            coveredLuxels(c, axes, luxel, scratch);
            for (uint64_t key : scratch)
                if (taken.count(key)) return false;
            taken.insert(scratch.begin(), scratch.end());
        }
        for (int i = 0; i < 2; ++i) {
            lo[i] = lo2[i];
            hi[i] = hi2[i];
        }
        return true;
    }

private:
    int axes[2];
    double luxel;
    double most;
    double lo[2] = {1e30, 1e30}, hi[2] = {-1e30, -1e30};
    std::unordered_set<uint64_t> taken;
    std::vector<uint64_t> scratch;
};

// The point of the 2D triangle nearest (x, y) as weights of its corners,
// and its distance.
double nearestOnTriangle(const double u[3], const double v[3], double x, double y, double w[3])
{
    const double area = (u[1] - u[0]) * (v[2] - v[0]) - (u[2] - u[0]) * (v[1] - v[0]);
    if (std::fabs(area) > 1e-12) {
        bool inside = true;
        for (int k = 0; k < 3; ++k) {
            const int a = (k + 1) % 3, b = (k + 2) % 3;
            w[k] = ((u[a] - x) * (v[b] - y) - (u[b] - x) * (v[a] - y)) / area;
            inside = inside && w[k] >= 0.0;
        }
        if (inside) return 0.0;
    }
    double best = std::numeric_limits<double>::max();
    for (int k = 0; k < 3; ++k) {
        const int b = (k + 1) % 3;
        const double du = u[b] - u[k], dv = v[b] - v[k], len2 = du * du + dv * dv;
        const double f = len2 > 0.0 ? std::clamp(((x - u[k]) * du + (y - v[k]) * dv) / len2, 0.0, 1.0) : 0.0;
        const double ex = u[k] + du * f - x, ey = v[k] + dv * f - y, d = std::sqrt(ex * ex + ey * ey);
        if (d < best) {
            best = d;
            w[k] = 1.0 - f;
            w[b] = f;
            w[3 - k - b] = 0.0;
        }
    }
    return best;
}

// The triangle and the weights of its corners under one luxel.
struct LuxelSpot {
    double distance = std::numeric_limits<double>::max();
    int triangle = -1;
    double w[3] = {0, 0, 0};
};

// Luxels no triangle comes near take the spot of a neighbour that has one.
void fillFarLuxels(int width, int height, std::vector<LuxelSpot>& spots)
{
    for (int pass = 0; pass < width + height; ++pass) {
        bool missing = false;
        std::vector<LuxelSpot> next = spots;
        for (int j = 0; j < height; ++j)
            for (int i = 0; i < width; ++i) {
                LuxelSpot& s = next[static_cast<size_t>(j) * width + i];
                if (s.triangle >= 0) continue;
                missing = true;
                const int di[4] = {-1, 1, 0, 0}, dj[4] = {0, 0, -1, 1};
                for (int n = 0; n < 4 && s.triangle < 0; ++n) {
                    const int x = i + di[n], y = j + dj[n];
                    if (x >= 0 && y >= 0 && x < width && y < height && spots[static_cast<size_t>(y) * width + x].triangle >= 0)
                        s = spots[static_cast<size_t>(y) * width + x];
                }
            }
        spots.swap(next);
        if (!missing) return;
    }
}

} // namespace

std::vector<LightmapPiece> lightmapPieces(const std::vector<PatchPoint>& points, const std::vector<int>& triangles,
                                          const std::vector<int>& chosen, double luxel, int maxLuxels)
{
    const size_t count = triangles.size() / 3;
    const std::vector<int> spot = spotIds(points);
    const std::vector<std::vector<int>> near = edgeNeighbours(spot, triangles, chosen);
    std::vector<int> side(count, -1), piece(count, -1), seen(count, -1);
    for (int t : chosen) side[static_cast<size_t>(t)] = sideOf(areaNormal(points, triangles, static_cast<size_t>(t)));
    std::vector<LightmapPiece> out;
    for (int seed : chosen) {
        if (piece[static_cast<size_t>(seed)] >= 0) continue;
        const int index = static_cast<int>(out.size());
        LightmapPiece p;
        p.axis = side[static_cast<size_t>(seed)] / 2;
        PieceGrower grower(p.axis, luxel, maxLuxels);
        std::deque<int> queue{seed};
        seen[static_cast<size_t>(seed)] = index;
        while (!queue.empty()) {
            const size_t t = static_cast<size_t>(queue.front());
            queue.pop_front();
            const Vec3 c[3] = {corner(points, triangles, t, 0), corner(points, triangles, t, 1), corner(points, triangles, t, 2)};
            if (!grower.take(c)) continue;
            piece[t] = index;
            p.triangles.push_back(static_cast<int>(t));
            for (int n : near[t]) {
                const size_t u = static_cast<size_t>(n);
                if (piece[u] >= 0 || seen[u] == index || side[u] != side[t]) continue;
                seen[u] = index;
                queue.push_back(n);
            }
        }
        out.push_back(std::move(p));
    }
    return out;
}

std::vector<Vec3> cornerNormals(const std::vector<PatchPoint>& points, const std::vector<int>& triangles)
{
    const size_t count = triangles.size() / 3;
    const std::vector<int> spot = spotIds(points);
    std::vector<Vec3> weighted(count), unit(count);
    std::vector<std::vector<int>> around;
    for (size_t t = 0; t < count; ++t) {
        weighted[t] = areaNormal(points, triangles, t);
        unit[t] = weighted[t].normalized();
        for (int k = 0; k < 3; ++k) {
            const size_t s = static_cast<size_t>(spot[static_cast<size_t>(triangles[t * 3 + static_cast<size_t>(k)])]);
            if (s >= around.size()) around.resize(s + 1);
            around[s].push_back(static_cast<int>(t));
        }
    }
    std::vector<Vec3> out(count * 3);
    for (size_t t = 0; t < count; ++t)
        for (int k = 0; k < 3; ++k) {
            const size_t s = static_cast<size_t>(spot[static_cast<size_t>(triangles[t * 3 + static_cast<size_t>(k)])]);
            Vec3 sum = weighted[t];
            for (int other : around[s])
                if (static_cast<size_t>(other) != t && unit[static_cast<size_t>(other)].dot(unit[t]) > 0.5)
                    sum += weighted[static_cast<size_t>(other)];
            const Vec3 n = sum.normalized();
            out[t * 3 + static_cast<size_t>(k)] = n.length() > 0.0 ? n : Vec3(0, 0, 1);
        }
    return out;
}

namespace {

void meshSpan(const Surface& s, double lo[2], double hi[2])
{
    lo[0] = lo[1] = 1e30;
    hi[0] = hi[1] = -1e30;
    for (const PatchPoint& p : s.meshPoints)
        for (int i = 0; i < 2; ++i) {
            lo[i] = std::min(lo[i], p.position[s.axes[i]]);
            hi[i] = std::max(hi[i], p.position[s.axes[i]]);
        }
}

} // namespace

double meshBlockLuxels(const Surface& s, double luxel)
{
    double lo[2], hi[2];
    meshSpan(s, lo, hi);
    if (lo[0] > hi[0]) return 0.0;
    double luxels = 1.0;
    for (int i = 0; i < 2; ++i) luxels *= std::ceil((hi[i] - lo[i]) / (luxel * s.luxelScale)) + 4;
    return luxels;
}

void meshBlock(Surface& s, double luxel, int maxLuxels)
{
    double lo[2], hi[2];
    meshSpan(s, lo, hi);
    double L = luxel * s.luxelScale;
    for (int i = 0; i < 2; ++i) L = std::max(L, (hi[i] - lo[i]) / (maxLuxels - 2));
    s.luxel = L;
    for (int i = 0; i < 2; ++i) {
        s.origin[i] = std::floor(lo[i] / L) * L;
        s.size[i] = std::clamp(static_cast<int>(std::ceil((hi[i] - s.origin[i]) / L)) + 1, 1, maxLuxels);
    }
}

void meshLuxelPoints(const Surface& s, const Tree& tree, const PlaneSet& planes, std::vector<Vec3>& points,
                     std::vector<Vec3>& normals)
{
    const int width = s.size[0], height = s.size[1];
    std::vector<LuxelSpot> spots(static_cast<size_t>(width) * height);
    const size_t triangles = s.meshIndices.size() / 3;
    for (size_t t = 0; t < triangles; ++t) {
        double u[3], v[3];
        for (int k = 0; k < 3; ++k) {
            const Vec3& p = s.meshPoints[static_cast<size_t>(s.meshIndices[t * 3 + static_cast<size_t>(k)])].position;
            u[k] = (p[s.axes[0]] - s.origin[0]) / s.luxel;
            v[k] = (p[s.axes[1]] - s.origin[1]) / s.luxel;
        }
        const int i0 = std::max(0, static_cast<int>(std::ceil(std::min({u[0], u[1], u[2]}) - kLuxelReach)));
        const int i1 = std::min(width - 1, static_cast<int>(std::floor(std::max({u[0], u[1], u[2]}) + kLuxelReach)));
        const int j0 = std::max(0, static_cast<int>(std::ceil(std::min({v[0], v[1], v[2]}) - kLuxelReach)));
        const int j1 = std::min(height - 1, static_cast<int>(std::floor(std::max({v[0], v[1], v[2]}) + kLuxelReach)));
        for (int j = j0; j <= j1; ++j)
            for (int i = i0; i <= i1; ++i) {
                LuxelSpot& spot = spots[static_cast<size_t>(j) * width + i];
                double w[3];
                const double d = nearestOnTriangle(u, v, i, j, w);
                if (d > kLuxelReach || d >= spot.distance) continue;
                spot.distance = d;
                spot.triangle = static_cast<int>(t);
                std::copy(w, w + 3, spot.w);
            }
    }
    fillFarLuxels(width, height, spots);
    points.resize(spots.size());
    normals.resize(spots.size());
    for (size_t at = 0; at < spots.size(); ++at) {
        const LuxelSpot& spot = spots[at];
        const size_t t = static_cast<size_t>(std::max(spot.triangle, 0));
        Vec3 p, n, middle;
        for (int k = 0; k < 3; ++k) {
            const Vec3& c = s.meshPoints[static_cast<size_t>(s.meshIndices[t * 3 + static_cast<size_t>(k)])].position;
            p += c * spot.w[k];
            middle += c * (1.0 / 3.0);
            if (s.cornerNormals.size() == s.meshIndices.size()) n += s.cornerNormals[t * 3 + static_cast<size_t>(k)] * spot.w[k];
        }
        if (spot.triangle < 0) p = middle;  // no triangle at all: cannot happen with any point in the block
        if (n.length() == 0.0) n = areaNormal(s.meshPoints, s.meshIndices, t);
        n = n.normalized();
        if (n.length() == 0.0) n = Vec3(0, 0, 1);
        Vec3 sample = p + n;
        // A luxel whose point lies inside a brush borrows one nearer the triangle's middle.
        for (int k = 1; k <= 4 && tree.nodes[static_cast<size_t>(tree.leafAt(sample, planes))].solid; ++k)
            sample = p + (middle - p) * (0.25 * k) + n;
        points[at] = sample;
        normals[at] = n;
    }
}

} // namespace mapc
