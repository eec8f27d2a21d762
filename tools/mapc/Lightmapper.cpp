// Packing surfaces into lightmap pages and lighting their luxels.
#include "Lightmapper.h"
#include "BounceLight.h"
#include "DetailShadows.h"
#include <algorithm>
#include "world/BspFormat.h"
#include "world/Overbright.h"
#include "Parallel.h"
#include "MiscModels.h"
#include "ModelLightmaps.h"
#include "ModelShadows.h"
#include "Patches.h"

namespace mapc {

namespace {

constexpr int kPage = bsp::kLightmapSize;

// Shelf packing of blocks into pages, row by row.
class PagePacker {
public:
    void place(int w, int h, int& page, int& x, int& y)
    {
        if (pages == 0 || cursorX + w > kPage) {
            cursorX = 0;
            shelfY += shelfHeight;
            shelfHeight = 0;
        }
        if (pages == 0 || shelfY + h > kPage) {
            ++pages;
            cursorX = 0;
            shelfY = 0;
            shelfHeight = 0;
        }
        page = pages - 1;
        x = cursorX;
        y = shelfY;
        cursorX += w;
        shelfHeight = std::max(shelfHeight, h);
    }
    int pages = 0;

private:
    int cursorX = 0, shelfY = 0, shelfHeight = 0;
};

Vec3 pointOnSurface(const Surface& s, const Plane& plane, double sCoord, double tCoord)
{
    int a = 3 - s.axes[0] - s.axes[1];
    Vec3 p;
    p[s.axes[0]] = sCoord;
    p[s.axes[1]] = tCoord;
    p[a] = (plane.dist - plane.normal[s.axes[0]] * sCoord - plane.normal[s.axes[1]] * tCoord) / plane.normal[a];
    return p;
}

// Span of a planar surface's pieces along its two lightmap axes; lo > hi
// when it has no points.
void planarExtent(const Surface& s, const int axes[2], double lo[2], double hi[2])
{
    lo[0] = lo[1] = 1e30;
    hi[0] = hi[1] = -1e30;
    for (const Winding& w : s.pieces)
        for (const Vec3& p : w)
            for (int i = 0; i < 2; ++i) {
                lo[i] = std::min(lo[i], p[axes[i]]);
                hi[i] = std::max(hi[i], p[axes[i]]);
            }
}

// Stored as the game reads the format: it brightens light by the overbright
// factor at load and when drawing, so the light seen is the light computed,
// and light past full (up to the factor times full) shows as overbright.
constexpr double kFullLight = 255.0;
constexpr double kTopLight = kFullLight * kDefaultOverbright;

void toBytes(const Vec3& light, uint8_t* rgb)
{
    float scaled[3];
    for (int i = 0; i < 3; ++i) scaled[i] = static_cast<float>(light[i] / kDefaultOverbright);
    clampColour(scaled, rgb);
}

// A sun's "intensity" in luxel units, straight on.
constexpr double kSunScale = 2.5;
// Glowing sky: a luxel under open sky gets its shader's value times this.
constexpr double kSkyScale = 2.64;
// The worldspawn's "_floodlight" intensity counts this much.
constexpr double kFloodScale = 0.52;
// Lines traced over the half sphere for sky and flood light, in rings.
constexpr int kDomeLines = 16;
constexpr int kDomeRings = 4;
constexpr int kDomeSpacing = 3;  // luxels between traced points

} // namespace

double fitLuxelSize(const std::vector<Surface>& surfaces, const PlaneSet& planes, double luxel,
                    Diagnostics& diag)
{
    const double asked = luxel;
    for (int attempt = 0; attempt < 64; ++attempt) {
        double total = 0.0;
        for (const Surface& s : surfaces) {
            if (s.isMesh() && s.lightmapped) total += meshBlockLuxels(s, luxel);
            if (s.isPatch() || s.isMesh() || !s.lightmapped) continue;
            int axes[2];
            lightmapAxes(planes[s.plane].normal, axes[0], axes[1]);
            double lo[2], hi[2];
            planarExtent(s, axes, lo, hi);
            if (lo[0] > hi[0]) continue;
            // Blocks of at most kMaxBlockLuxels, each with its border.
            double luxels = 1.0;
            for (int i = 0; i < 2; ++i) {
                double n = std::ceil((hi[i] - lo[i]) / luxel) + 2;
                double blocks = std::ceil(n / (kMaxBlockLuxels - 2));
                luxels *= n + blocks * 2;
            }
            total += luxels;
        }
        if (total <= kMaxLevelLuxels) break;
        luxel = std::ceil(luxel * std::max(1.1, std::sqrt(total / kMaxLevelLuxels)));
    }
    if (luxel != asked)
        diag.warn(0, "lightmaps at luxel_size %g would exceed %g pages; using luxel_size %g", asked,
                  kMaxLevelLuxels / (kPage * kPage), luxel);
    return luxel;
}

void lightmapCoord(const Surface& s, const Vec3& p, float out[2])
{
    for (int i = 0; i < 2; ++i) {
        double luxels = (p[s.axes[i]] - s.origin[i]) / s.luxel;
        out[i] = static_cast<float>((s.corner[i] + 1 + luxels + 0.5) / kPage);
    }
}

namespace {

// Block size of one surface; planar surfaces also get their projection origin.
void sizeBlock(Surface& s, const PlaneSet& planes, double L)
{
    s.luxel = L;
    if (s.isPatch()) {
        patchLightmapSize(s, L, kMaxBlockLuxels, s.size);
    } else if (s.isMesh()) {
        meshBlock(s, L, kMaxBlockLuxels);
    } else {
        const Plane& plane = planes[s.plane];
        lightmapAxes(plane.normal, s.axes[0], s.axes[1]);
        double lo[2], hi[2];
        planarExtent(s, s.axes, lo, hi);
        for (int i = 0; i < 2; ++i) {
            s.origin[i] = std::floor(lo[i] / L) * L;
            s.size[i] = std::min(kMaxBlockLuxels, static_cast<int>(std::ceil((hi[i] - s.origin[i]) / L)) + 1);
        }
    }
}

// Tallest blocks first, so each shelf holds blocks of near its height
// (stable: equal heights keep surface order and compiles repeat).
void placeBlocks(std::vector<Surface*> blocks, PagePacker& packer)
{
    std::stable_sort(blocks.begin(), blocks.end(),
                     [](const Surface* a, const Surface* b) { return a->size[1] > b->size[1]; });
    for (Surface* s : blocks) packer.place(s->size[0] + 2, s->size[1] + 2, s->lightmap, s->corner[0], s->corner[1]);
}

// The lights that can reach any part of the box.
std::vector<const PointLight*> lightsNear(const Bounds& box, const LightSettings& settings)
{
    std::vector<const PointLight*> near;
    for (const PointLight& l : settings.lights) {
        double d2 = 0;
        for (int i = 0; i < 3; ++i) {
            double d = std::max({box.mins[i] - l.origin[i], 0.0, l.origin[i] - box.maxs[i]});
            d2 += d * d;
        }
        if (d2 < l.reach * l.reach) near.push_back(&l);
    }
    return near;
}

// A sky face's piece, laid out for the test whether a point is on it.
struct SkyPiece {
    int surface = -1;
    Plane plane;
    std::vector<std::pair<Vec3, double>> edges;  // outward unit vector and its offset at the edge
};

// The sky pieces and, per tree node, the ones in that leaf.
struct SkyIndex {
    std::vector<SkyPiece> pieces;
    std::vector<std::vector<int>> ofLeaf;
};

SkyIndex buildSkyIndex(const Tree& tree, const std::vector<Surface>& surfaces, const LightSettings& settings)
{
    SkyIndex index;
    index.ofLeaf.resize(tree.nodes.size());
    std::vector<std::vector<int>> piecesOf(surfaces.size());
    for (size_t f = 0; f < surfaces.size() && f < settings.skySurface.size(); ++f) {
        if (!settings.skySurface[f]) continue;
        for (const Winding& w : surfaces[f].pieces) {
            if (w.size() < 3) continue;
            SkyPiece piece;
            piece.surface = static_cast<int>(f);
            piece.plane.normal = windingNormal(w);
            piece.plane.dist = piece.plane.normal.dot(w[0]);
            for (size_t i = 0; i < w.size(); ++i) {
                Vec3 out = (w[(i + 1) % w.size()] - w[i]).cross(piece.plane.normal).normalized();  // either winding order
                piece.edges.emplace_back(out, out.dot(w[i]));
            }
            piecesOf[f].push_back(static_cast<int>(index.pieces.size()));
            index.pieces.push_back(std::move(piece));
        }
    }
    for (size_t n = 0; n < tree.nodes.size(); ++n)
        for (int f : tree.nodes[n].faces)
            for (int piece : piecesOf[static_cast<size_t>(f)]) index.ofLeaf[n].push_back(piece);
    return index;
}

struct LightScene {
    const PlaneSet& planes;
    const Tree& tree;
    const LightSettings& settings;
    const SkyIndex& sky;
    const ModelShadows* models;  // null: placed models shade nothing here
};

bool modelsBlock(const LightScene& scene, const Vec3& a, const Vec3& b)
{
    return scene.models && scene.models->blocks(a, b);
}

// Sunlight and skylight are stopped by the opaque detail brushes too (the
// tree's solid leaves hold the structural ones only): roofs and ledges
// built as detail shade what lies under them.
bool detailBlocks(const LightScene& scene, const Vec3& a, const Vec3& b)
{
    return scene.settings.detailShadows && scene.settings.detailShadows->blocks(a, b);
}

// The point lies inside a brush: structural (a solid leaf) or detail.
bool inSolid(const LightScene& scene, const Vec3& p)
{
    return scene.tree.nodes[static_cast<size_t>(scene.tree.leafAt(p, scene.planes))].solid ||
           (scene.settings.detailShadows && scene.settings.detailShadows->inside(p));
}

// The sky face the line from p along `towards` first meets solid on, or
// -1 when it meets something else (or nothing) first.
int skyFaceAlong(const Vec3& p, const Vec3& towards, const LightScene& scene)
{
    const Tree& tree = scene.tree;
    const double far = 2.0 * (tree.worldBounds.maxs - tree.worldBounds.mins).length();
    Vec3 hit;
    int lastOpen = -1;
    if (!firstSolidHit(tree, scene.planes, p, p + towards * far, hit, lastOpen) || lastOpen < 0) return -1;
    for (int at : scene.sky.ofLeaf[static_cast<size_t>(lastOpen)]) {
        const SkyPiece& piece = scene.sky.pieces[static_cast<size_t>(at)];
        if (std::fabs(piece.plane.distanceTo(hit)) > 1.0) continue;
        bool inside = true;
        for (size_t i = 0; i < piece.edges.size() && inside; ++i)
            inside = piece.edges[i].first.dot(hit) - piece.edges[i].second <= 1.0;
        if (inside) return modelsBlock(scene, p, hit) || detailBlocks(scene, p, hit) ? -1 : piece.surface;
    }
    return -1;
}

// Directions over the half sphere around `normal`, denser towards it as
// light counts by the cosine (so each line weighs the same); turned about
// the normal by a different angle at each point, which trades bands for grain.
void domeDirections(const Vec3& normal, const Vec3& p, Vec3 out[kDomeLines])
{
    Vec3 side = std::fabs(normal.x) < 0.6 ? Vec3(1, 0, 0) : Vec3(0, 1, 0);
    Vec3 t = side.cross(normal).normalized(), b = normal.cross(t);
    double spin = std::sin(p.x * 12.9898 + p.y * 78.233 + p.z * 37.719) * 43758.5453;
    spin -= std::floor(spin);
    int k = 0;
    for (int ring = 0; ring < kDomeRings; ++ring)
        for (int step = 0; step < kDomeLines / kDomeRings; ++step, ++k) {
            double u = (ring + 0.5) / kDomeRings;
            double phi = 2.0 * M_PI * (step + spin) / (kDomeLines / kDomeRings) + ring * 0.7;
            double r = std::sqrt(u);
            out[k] = t * (r * std::cos(phi)) + b * (r * std::sin(phi)) + normal * std::sqrt(1.0 - u);
        }
}

// How closed in p is, 0 (open) to 1: over the half sphere, what lies within
// the worldspawn's dirt depth, nearer counting more. Walls are found where
// they are; detail brushes and models only as within half or all the depth.
Vec3 occlusionAt(const Vec3& p, const Vec3& normal, const LightScene& scene)
{
    const double depth = scene.settings.dirtDepth;
    Vec3 dirs[kDomeLines];
    domeDirections(normal, p, dirs);
    double sum = 0;
    for (const Vec3& d : dirs) {
        const Vec3 end = p + d * depth, half = p + d * (depth * 0.5);
        Vec3 hit;
        int lastOpen = -1;
        if (firstSolidHit(scene.tree, scene.planes, p, end, hit, lastOpen))
            sum += std::max(0.0, 1.0 - (hit - p).length() / depth);
        else if (modelsBlock(scene, p, half) || detailBlocks(scene, p, half))
            sum += 0.75;
        else if (modelsBlock(scene, p, end) || detailBlocks(scene, p, end))
            sum += 0.25;
    }
    const double o = sum / kDomeLines;
    return Vec3(o, o, o);
}

// Light of the sky dome (and of the worldspawn's flood light) at p: the
// share of the half sphere that ends on glowing sky (or on nothing near).
Vec3 domeLight(const Vec3& p, const Vec3& normal, const LightScene& scene)
{
    const LightSettings& settings = scene.settings;
    Vec3 sum;
    if (!settings.anySkyGlow && settings.floodLight <= 0.0) return sum;
    Vec3 dirs[kDomeLines];
    domeDirections(normal, p, dirs);
    for (const Vec3& d : dirs) {
        if (settings.anySkyGlow) {
            int f = skyFaceAlong(p, d, scene);
            if (f >= 0) sum += settings.skyGlow[static_cast<size_t>(f)] * (kSkyScale / kDomeLines);
        }
        if (settings.floodLight > 0.0 && segmentClear(scene.tree, scene.planes, p, p + d * settings.floodReach) &&
            !modelsBlock(scene, p, p + d * settings.floodReach))
            sum += settings.floodColor * (kFloodScale * settings.floodLight / kDomeLines);
    }
    return sum;
}

// Share of a light sent along -d (from the light to the point): all of it,
// for a spotlight its cone's share, for a glowing face the cosine off its normal.
double emitted(const PointLight& l, const Vec3& d, double dist)
{
    if (l.spotAxis.x != 0.0 || l.spotAxis.y != 0.0 || l.spotAxis.z != 0.0) {
        const double c = -l.spotAxis.dot(d) / dist;
        if (c <= l.spotCosNone) return 0.0;
        if (c >= l.spotCosFull) return 1.0;
        return (c - l.spotCosNone) / (l.spotCosFull - l.spotCosNone);
    }
    if (l.facing.x == 0.0 && l.facing.y == 0.0 && l.facing.z == 0.0) return 1.0;
    return std::max(0.0, -l.facing.dot(d) / dist);
}

// Ambient, sun and point lights at p; `glowing` (may be null) gets the
// part given off by glowing faces.
Vec3 directLight(const std::vector<const PointLight*>& lights, const Vec3& p, const Vec3& normal,
                 const LightScene& scene, bool shadows, Vec3* glowing = nullptr)
{
    const PlaneSet& planes = scene.planes;
    const Tree& tree = scene.tree;
    const LightSettings& settings = scene.settings;
    Vec3 sum = settings.ambientColor * settings.ambient;
    for (const SunLight& sun : settings.suns) {
        double facing = normal.dot(sun.towards);
        if (facing <= 0.0) continue;
        // Past the budget no line is traced: the sun is left out, not let in everywhere.
        if (!shadows || skyFaceAlong(p, sun.towards, scene) < 0) continue;
        sum += sun.color * (sun.intensity * kSunScale * facing);
    }
    for (const PointLight* l : lights) {
        // The brightest stored in every channel: more would change nothing.
        if (std::min(sum.x, std::min(sum.y, sum.z)) >= kTopLight) break;
        Vec3 d = l->origin - p;
        double dist = d.length();
        if (dist < 1.0) dist = 1.0;
        double facing = normal.dot(d) / dist;
        if (facing <= 0.0) continue;
        double value = dist < l->nearRange ? l->nearValueAt(p, normal) : l->valueAt(dist) * facing * emitted(*l, d, dist);
        if (value <= 0.0) continue;
        if (shadows && (!segmentClear(tree, planes, p, l->origin) || modelsBlock(scene, p, l->origin) ||
                        detailBlocks(scene, p, l->origin)))
            continue;
        sum += l->color * value;
        if (glowing && l->glowing) *glowing += l->color * value;
    }
    return sum;
}

Vec3 atLeastMinimum(Vec3 light, const LightSettings& settings)
{
    const Vec3 least = settings.ambientColor * settings.minLight;
    for (int i = 0; i < 3; ++i) light[i] = std::max(light[i], least[i]);
    return light;
}

// Where each luxel of a surface is lit from, and the normal there.
struct Luxels {
    std::vector<Vec3> points, normals;
    std::vector<char> buried;  // under a neighbouring brush however it is moved: sees no light of its own
};

Luxels luxelPoints(const Surface& s, const LightScene& scene)
{
    const size_t w = static_cast<size_t>(s.size[0]);
    Luxels luxels;
    std::vector<Vec3>& points = luxels.points;
    std::vector<Vec3>& normals = luxels.normals;
    points.resize(w * static_cast<size_t>(s.size[1]));
    normals.resize(points.size());
    luxels.buried.assign(points.size(), 0);
    if (s.isPatch()) {
        for (int j = 0; j < s.size[1]; ++j)
            for (int i = 0; i < s.size[0]; ++i) {
                Vec3 n;
                Vec3 p = patchPoint(s, static_cast<double>(i) / (s.size[0] - 1), static_cast<double>(j) / (s.size[1] - 1), &n);
                points[j * w + i] = p + n * 1.0;
                normals[j * w + i] = n;
            }
        return luxels;
    }
    if (s.isMesh()) {
        meshLuxelPoints(s, scene.tree, scene.planes, points, normals);
        return luxels;
    }
    const Plane& plane = scene.planes[s.plane];
    Vec3 centre;
    int count = 0;
    for (const Winding& piece : s.pieces)
        for (const Vec3& p : piece) {
            centre += p;
            ++count;
        }
    centre = centre * (1.0 / std::max(count, 1));
    for (int j = 0; j < s.size[1]; ++j)
        for (int i = 0; i < s.size[0]; ++i) {
            Vec3 p = pointOnSurface(s, plane, s.origin[0] + i * s.luxel, s.origin[1] + j * s.luxel);
            Vec3 sample = p + plane.normal * 0.5;
            // Luxels that fall under a neighbouring brush borrow a point
            // nearer the middle of the face.
            bool buried = inSolid(scene, sample);
            for (int k = 1; k <= 4 && buried; ++k) {
                sample = p + (centre - p) * (0.25 * k) + plane.normal * 0.5;
                buried = inSolid(scene, sample);
            }
            luxels.buried[j * w + i] = buried;
            points[j * w + i] = sample;
            normals[j * w + i] = plane.normal;
        }
    return luxels;
}

// The open luxel nearest (x, y) within `reach` luxels; (x, y) itself when none is.
size_t openLuxelNear(const Surface& s, const Luxels& luxels, int x, int y, int reach)
{
    const int w = s.size[0], h = s.size[1];
    size_t best = static_cast<size_t>(y) * w + x;
    int bestDistance = 1 << 30;
    for (int j = std::max(0, y - reach); j <= std::min(h - 1, y + reach); ++j)
        for (int i = std::max(0, x - reach); i <= std::min(w - 1, x + reach); ++i) {
            const size_t at = static_cast<size_t>(j) * w + i;
            const int distance = (i - x) * (i - x) + (j - y) * (j - y);
            if (!luxels.buried[at] && distance < bestDistance) {
                best = at;
                bestDistance = distance;
            }
        }
    return best;
}

// Light that changes slowly over a face (sky, flood, bounced, dirt): worked
// out every kDomeSpacing luxels (and on the last row and column), blended
// between. A buried node is worked out at the open luxel nearest it, so
// light seen from inside a wall never blends into its open neighbours.
template <class LightAt>
void addSparseLight(const Surface& s, const Luxels& luxels, std::vector<Vec3>& light, const LightAt& lightAt)
{
    const int w = s.size[0], h = s.size[1];
    auto nodes = [](int n) { return (n - 1 + kDomeSpacing - 1) / kDomeSpacing + 1; };
    auto luxelOf = [](int node, int n) { return std::min(node * kDomeSpacing, n - 1); };
    const int nw = nodes(w), nh = nodes(h);
    std::vector<Vec3> dome(static_cast<size_t>(nw) * nh);
    for (int b = 0; b < nh; ++b)
        for (int a = 0; a < nw; ++a) {
            const size_t at = openLuxelNear(s, luxels, luxelOf(a, w), luxelOf(b, h), kDomeSpacing);
            dome[static_cast<size_t>(b) * nw + a] = lightAt(luxels.points[at], luxels.normals[at]);
        }
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            int a = std::min(i / kDomeSpacing, nw - 2 < 0 ? 0 : nw - 2), b = std::min(j / kDomeSpacing, nh - 2 < 0 ? 0 : nh - 2);
            int a1 = std::min(a + 1, nw - 1), b1 = std::min(b + 1, nh - 1);
            double fx = a1 == a ? 0.0 : static_cast<double>(i - luxelOf(a, w)) / (luxelOf(a1, w) - luxelOf(a, w));
            double fy = b1 == b ? 0.0 : static_cast<double>(j - luxelOf(b, h)) / (luxelOf(b1, h) - luxelOf(b, h));
            auto at = [&](int x, int y) { return dome[static_cast<size_t>(y) * nw + x]; };
            Vec3 top = at(a, b) * (1 - fx) + at(a1, b) * fx, bottom = at(a, b1) * (1 - fx) + at(a1, b1) * fx;
            light[static_cast<size_t>(j) * w + i] += top * (1 - fy) + bottom * fy;
        }
}

// A luxel under a neighbouring brush sees no light of its own; it takes
// the mean of its open neighbours, spreading inwards, so the edge of a face
// that meets a wall is not darkened by filtering (nor a narrow lip made
// dark all over).
void fillBuried(const Surface& s, std::vector<char> buried, std::vector<Vec3>& light)
{
    const int w = s.size[0], h = s.size[1];
    for (bool changed = true; changed;) {
        changed = false;
        std::vector<char> next = buried;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) {
                const size_t at = static_cast<size_t>(j) * w + i;
                if (!buried[at]) continue;
                Vec3 sum;
                int open = 0;
                for (int dj = -1; dj <= 1; ++dj)
                    for (int di = -1; di <= 1; ++di) {
                        const int x = i + di, y = j + dj;
                        if (x < 0 || y < 0 || x >= w || y >= h || buried[static_cast<size_t>(y) * w + x]) continue;
                        sum += light[static_cast<size_t>(y) * w + x];
                        ++open;
                    }
                if (open == 0) continue;
                light[at] = sum * (1.0 / open);
                next[at] = 0;
                changed = true;
            }
        buried.swap(next);
    }
}

// Where luxel (i, j) of the surface's block starts in its page.
size_t texelOffset(const Surface& s, int i, int j)
{
    int x = s.corner[0] + 1 + i, y = s.corner[1] + 1 + j;
    return (static_cast<size_t>(y) * kPage + static_cast<size_t>(x)) * 3;
}

// The surface's light into its block; the border copies the edge so
// filtering never reads a neighbour.
void storeLight(const Surface& s, const std::vector<Vec3>& light, uint8_t* base)
{
    const size_t w = static_cast<size_t>(s.size[0]);
    for (int j = 0; j < s.size[1]; ++j)
        for (int i = 0; i < s.size[0]; ++i) {
            const Vec3& l = light[j * w + i];
            toBytes(l, base + texelOffset(s, i, j));
        }
    for (int j = -1; j <= s.size[1]; ++j)
        for (int i = -1; i <= s.size[0]; ++i) {
            if (i >= 0 && j >= 0 && i < s.size[0] && j < s.size[1]) continue;
            int ci = std::clamp(i, 0, s.size[0] - 1), cj = std::clamp(j, 0, s.size[1] - 1);
            const uint8_t* src = base + texelOffset(s, ci, cj);
            uint8_t* dst = base + texelOffset(s, i, j);
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
        }
}

// Corners and crevices darken ("dirt"): the light over the ambient times
// 1 - scale x occlusion. The ambient stays flat, as the level asks, and so
// does the `spared` part of each luxel's light.
void darkenCorners(const Surface& s, const Luxels& luxels, const LightScene& scene, const std::vector<Vec3>& spared,
                   std::vector<Vec3>& light)
{
    const LightSettings& settings = scene.settings;
    if (settings.dirtScale <= 0.0) return;
    std::vector<Vec3> occlusion(luxels.points.size());
    addSparseLight(s, luxels, occlusion, [&](const Vec3& p, const Vec3& n) { return occlusionAt(p, n, scene); });
    const Vec3 ambient = settings.ambientColor * settings.ambient;
    for (size_t k = 0; k < light.size(); ++k) {
        const double keep = std::clamp(1.0 - settings.dirtScale * occlusion[k].x, 0.0, 1.0);
        const Vec3 darkened = light[k] - spared[k];
        for (int c = 0; c < 3; ++c)
            light[k][c] = spared[k][c] + std::min(darkened[c], ambient[c]) + std::max(0.0, darkened[c] - ambient[c]) * keep;
    }
}

void lightSurface(const Surface& s, const LightScene& scene, LightBudget& budget, uint8_t* base)
{
    const LightSettings& settings = scene.settings;
    const Luxels luxels = luxelPoints(s, scene);
    Bounds box;
    for (const Vec3& p : luxels.points) box.add(p);
    std::vector<const PointLight*> lights = lightsNear(box, settings);
    if (!s.isPatch() && !s.isMesh()) {
        const Plane& plane = scene.planes[s.plane];
        lights.erase(std::remove_if(lights.begin(), lights.end(),
                                    [&](const PointLight* l) { return plane.distanceTo(l->origin) <= 0.0; }),
                     lights.end());
    }
    // Checked once a row of luxels: a huge face cannot overrun by much.
    bool shadows = budget.inTime();
    const size_t w = static_cast<size_t>(s.size[0]);
    std::vector<Vec3> light(luxels.points.size()), glow(luxels.points.size());
    for (int j = 0; j < s.size[1]; ++j, shadows = shadows && budget.inTime())
        for (size_t i = 0; i < w; ++i)
            light[j * w + i] = directLight(lights, luxels.points[j * w + i], luxels.normals[j * w + i], scene, shadows, &glow[j * w + i]);
    // Past the budget no line is traced: sky and flood light are left out, not let in everywhere.
    if (shadows && (settings.anySkyGlow || settings.floodLight > 0.0))
        addSparseLight(s, luxels, light, [&](const Vec3& p, const Vec3& n) { return domeLight(p, n, scene); });
    // A glowing fixture lights the crevice it sits in: its light is not darkened.
    if (shadows) darkenCorners(s, luxels, scene, glow, light);
    if (!shadows) budget.cut.fetch_add(1);
    fillBuried(s, luxels.buried, light);
    storeLight(s, light, base);
}

// Light reflected onto p off the faces around, from their stored light
// (less the ambient, which is everywhere already).
Vec3 bouncedLight(const Vec3& p, const Vec3& normal, const LitFaces& faces, const LightSettings& settings)
{
    Vec3 dirs[kDomeLines];
    domeDirections(normal, p, dirs);
    const Vec3 ambient = settings.ambientColor * settings.ambient;
    Vec3 sum;
    for (const Vec3& d : dirs) {
        Vec3 seen;
        if (!faces.lightAlong(p, d, seen)) continue;
        for (int c = 0; c < 3; ++c) sum[c] += std::max(0.0, seen[c] - ambient[c]);
    }
    return sum * (kBounceShare / kDomeLines);
}

// The surface's direct light (in `before`) plus, when `faces` is given,
// what its neighbours reflect onto it, raised to the minimum (a floor, not
// a light to reflect), times its shader's brightness (the reference
// compiles' terrain of brightness 0.5 holds half their "_minlight").
void finishSurface(const Surface& s, const LightScene& scene, const LitFaces* faces, double brightness,
                   const uint8_t* before, uint8_t* base)
{
    const size_t w = static_cast<size_t>(s.size[0]);
    std::vector<Vec3> light(w * static_cast<size_t>(s.size[1]));
    for (int j = 0; j < s.size[1]; ++j)
        for (int i = 0; i < s.size[0]; ++i) {
            const uint8_t* t = before + texelOffset(s, i, j);
            light[j * w + i] = Vec3(t[0], t[1], t[2]) * kDefaultOverbright;
        }
    if (faces) {
        const Luxels luxels = luxelPoints(s, scene);
        addSparseLight(s, luxels, light, [&](const Vec3& p, const Vec3& n) { return bouncedLight(p, n, *faces, scene.settings); });
        fillBuried(s, luxels.buried, light);
    }
    for (Vec3& l : light) l = atLeastMinimum(l, scene.settings) * brightness;
    storeLight(s, light, base);
}

} // namespace

void buildLightmaps(std::vector<Surface>& surfaces, const PlaneSet& planes, const Tree& tree,
                    const LightSettings& settings, int threads, LightBudget& budget, std::vector<uint8_t>& pages)
{
    PagePacker packer;
    std::vector<Surface*> lit;
    for (Surface& s : surfaces) {
        s.lightmap = -1;
        if (!s.lightmapped) continue;
        sizeBlock(s, planes, settings.luxel);
        lit.push_back(&s);
    }
    placeBlocks(lit, packer);
    pages.assign(static_cast<size_t>(packer.pages) * bsp::kLightmapBytes, 0);
    const SkyIndex sky = buildSkyIndex(tree, surfaces, settings);
    // Brush faces and patches are shaded by the brushes and by the models
    // built as architecture (lightmapped); decorations shade only models.
    const LightScene scene{planes, tree, settings, sky, settings.worldModelShadows};
    const LightScene modelScene{planes, tree, settings, sky, settings.modelShadows};
    // Blocks never overlap, so the surfaces are lit side by side.
    forEachIndex(lit.size(), threads, [&](size_t i) {
        const Surface& s = *lit[i];
        lightSurface(s, s.isMesh() ? modelScene : scene, budget,
                     pages.data() + static_cast<size_t>(s.lightmap) * bsp::kLightmapBytes);
        if (budget.progress) budget.progress->advance();
    });
    // One bounce, gathered from the direct light as stored; a surface
    // reached past the budget keeps its direct light.
    const std::vector<uint8_t> direct = pages;
    const LitFaces faces(surfaces, planes, tree, direct, kDefaultOverbright, settings.detailShadows);
    forEachIndex(lit.size(), threads, [&](size_t i) {
        const Surface& s = *lit[i];
        const bool bounce = budget.inTime();
        const size_t page = static_cast<size_t>(s.lightmap) * bsp::kLightmapBytes;
        const size_t index = static_cast<size_t>(&s - surfaces.data());
        const double brightness = index < settings.brightness.size() ? settings.brightness[index] : 1.0;
        finishSurface(s, s.isMesh() ? modelScene : scene, bounce ? &faces : nullptr, brightness, direct.data() + page,
                      pages.data() + page);
    });
}

void lightMeshes(std::vector<Surface>& surfaces, const PlaneSet& planes, const Tree& tree,
                 const LightSettings& settings, int threads, LightBudget& budget)
{
    const SkyIndex sky = buildSkyIndex(tree, surfaces, settings);
    const LightScene scene{planes, tree, settings, sky, settings.modelShadows};
    std::vector<Surface*> meshes;
    for (Surface& s : surfaces)
        if (s.isMesh() && !s.lightmapped) meshes.push_back(&s);
    forEachIndex(meshes.size(), threads, [&](size_t i) {
        Surface& s = *meshes[i];
        Bounds box;
        for (const PatchPoint& p : s.meshPoints) box.add(p.position);
        const std::vector<const PointLight*> lights = lightsNear(box, settings);
        const std::vector<Vec3> normals = meshNormals(s);
        const bool shadows = budget.inTime();
        if (!shadows) budget.cut.fetch_add(1);
        s.meshLight.resize(s.meshPoints.size() * 3);
        for (size_t k = 0; k < s.meshPoints.size(); ++k) {
            const Vec3 p = s.meshPoints[k].position + normals[k];
            Vec3 c = directLight(lights, p, normals[k], scene, shadows);
            if (shadows) c += domeLight(p, normals[k], scene);
            c = atLeastMinimum(c, settings);
            toBytes(c, &s.meshLight[k * 3]);
        }
    });
}

} // namespace mapc
