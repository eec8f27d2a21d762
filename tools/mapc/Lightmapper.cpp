// Packing surfaces into lightmap pages and lighting their luxels.
#include "Lightmapper.h"
#include <algorithm>
#include "world/BspFormat.h"
#include "world/Overbright.h"
#include "Parallel.h"
#include "MiscModels.h"
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
// factor at load, so the light seen is the light computed.
void toBytes(const Vec3& light, uint8_t* rgb)
{
    // Each channel is cut at full light before the division: the game then
    // shows exactly the light levels were lit for (hot spots white as ever)
    // and its hue-keeping clamp never has to act on our levels.
    for (int i = 0; i < 3; ++i) {
        double c = std::min(255.0, std::max(0.0, light[i])) / kDefaultOverbright;
        rgb[i] = static_cast<uint8_t>(c + 0.5);
    }
}

// Point lights fall off with the square of the distance, as the editors'
// users expect of "light"; this many units squared make one unit of light.
constexpr double kPointScale = 12000.0;
// Closer than this a light counts as this far (no burnt-out spots).
constexpr double kNearest = 16.0;
// A sun's "intensity" in luxel units, straight on.
constexpr double kSunScale = 3.0;

} // namespace

// Farther than this a point light adds less than two units: left out.
void PointLight::setReach() { reach = linear ? intensity : std::sqrt(intensity * kPointScale / 2.0); }

double PointLight::valueAt(double dist) const
{
    if (linear) return intensity - dist;
    double d = std::max(dist, kNearest);
    return intensity * kPointScale / (d * d);
}

LightSettings readLightSettings(const MapFile& map, Diagnostics& diag)
{
    LightSettings settings;
    for (const MapEntity& e : map.entities) {
        const char* cls = e.value("classname");
        if (!cls) continue;
        std::string name = cls;
        if (name == "worldspawn") {
            double luxel = e.number("luxel_size", settings.luxel);
            if (luxel < 1.0 || luxel > 256.0) {
                diag.warn(e.line, "luxel_size %g out of range 1-256; using 16", luxel);
                luxel = 16.0;
            }
            settings.luxel = luxel;
            settings.ambient = std::clamp(e.number("ambient", settings.ambient), 0.0, 255.0);
        } else if (name == "light") {
            PointLight l;
            if (!e.vector("origin", l.origin)) {
                diag.warn(e.line, "light without an origin ignored");
                continue;
            }
            l.intensity = std::clamp(e.number("light", 300.0), 0.0, 100000.0);
            l.linear = (static_cast<int>(e.number("spawnflags", 0)) & 1) != 0;
            l.setReach();
            Vec3 c;
            if (e.vector("_color", c)) {
                double m = std::max(c.x, std::max(c.y, c.z));
                if (m > 0.0) l.color = Vec3(std::max(c.x, 0.0), std::max(c.y, 0.0), std::max(c.z, 0.0)) * (1.0 / m);
            }
            settings.lights.push_back(l);
        }
    }
    return settings;
}

double fitLuxelSize(const std::vector<Surface>& surfaces, const PlaneSet& planes, double luxel,
                    Diagnostics& diag)
{
    const double asked = luxel;
    for (int attempt = 0; attempt < 64; ++attempt) {
        double total = 0.0;
        for (const Surface& s : surfaces) {
            if (s.isPatch() || !s.lightmapped) continue;
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

// Block size and place of one surface; planar surfaces also get their
// projection origin.
void placeBlock(Surface& s, const PlaneSet& planes, double L, PagePacker& packer)
{
    s.luxel = L;
    if (s.isPatch()) {
        patchLightmapSize(s, L, kMaxBlockLuxels, s.size);
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
    packer.place(s.size[0] + 2, s.size[1] + 2, s.lightmap, s.corner[0], s.corner[1]);
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

// True when the line from p towards the sun first meets solid on a sky face.
bool seesSky(const Vec3& p, const Vec3& towards, const PlaneSet& planes, const Tree& tree,
             const LightSettings& settings, const std::vector<Surface>& surfaces)
{
    const double far = 2.0 * (tree.worldBounds.maxs - tree.worldBounds.mins).length();
    Vec3 hit;
    int lastOpen = -1;
    if (!firstSolidHit(tree, planes, p, p + towards * far, hit, lastOpen) || lastOpen < 0) return false;
    for (int f : tree.nodes[static_cast<size_t>(lastOpen)].faces) {
        if (!settings.skySurface[static_cast<size_t>(f)]) continue;
        const Surface& s = surfaces[static_cast<size_t>(f)];
        const Plane& plane = planes[s.plane];
        if (std::fabs(plane.distanceTo(hit)) > 1.0) continue;
        for (const Winding& w : s.pieces) {
            const Vec3 normal = windingNormal(w);
            bool inside = true;
            for (size_t i = 0; i < w.size() && inside; ++i) {
                Vec3 edge = w[(i + 1) % w.size()] - w[i];
                Vec3 out = edge.cross(normal).normalized();  // outwards for either winding order
                inside = std::fabs(out.dot(hit - w[i])) <= 1.0 || out.dot(hit - w[i]) <= 0.0;
            }
            if (inside) return true;
        }
    }
    return false;
}

struct LightScene {
    const PlaneSet& planes;
    const Tree& tree;
    const LightSettings& settings;
    const std::vector<Surface>& surfaces;
};

Vec3 lightFrom(const std::vector<const PointLight*>& lights, const Vec3& p, const Vec3& normal,
               const LightScene& scene, bool shadows)
{
    const PlaneSet& planes = scene.planes;
    const Tree& tree = scene.tree;
    const double ambient = scene.settings.ambient;
    Vec3 sum(ambient, ambient, ambient);
    for (const SunLight& sun : scene.settings.suns) {
        double facing = normal.dot(sun.towards);
        if (facing <= 0.0) continue;
        // Past the budget no line is traced: the sun is left out, not let in everywhere.
        if (!shadows || !seesSky(p, sun.towards, planes, tree, scene.settings, scene.surfaces)) continue;
        sum += sun.color * (sun.intensity * kSunScale * facing);
    }
    for (const PointLight* l : lights) {
        Vec3 d = l->origin - p;
        double dist = d.length();
        if (dist < 1.0) dist = 1.0;
        double facing = normal.dot(d) / dist;
        if (facing <= 0.0) continue;
        double value = l->valueAt(dist) * facing;
        if (value <= 0.0) continue;
        if (shadows && !segmentClear(tree, planes, p, l->origin)) continue;
        sum += l->color * value;
    }
    return sum;
}

void lightSurface(const Surface& s, const LightScene& scene, LightBudget& budget, uint8_t* base)
{
    const PlaneSet& planes = scene.planes;
    const Tree& tree = scene.tree;
    const LightSettings& settings = scene.settings;
    // Checked once a row of luxels: a huge face cannot overrun by much.
    bool shadows = budget.inTime();
    auto texel = [&](int i, int j) -> uint8_t* {
        int x = s.corner[0] + 1 + i, y = s.corner[1] + 1 + j;
        return base + (static_cast<size_t>(y) * kPage + static_cast<size_t>(x)) * 3;
    };
    auto put = [&](int i, int j, const Vec3& c) {
        toBytes(c, texel(i, j));
    };
    const double L = s.luxel;
    if (s.isPatch()) {
        Bounds box;
        for (const PatchPoint& p : s.grid) box.add(p.position);
        std::vector<const PointLight*> lights = lightsNear(box, settings);
        for (int j = 0; j < s.size[1]; ++j, shadows = shadows && budget.inTime())
            for (int i = 0; i < s.size[0]; ++i) {
                Vec3 n;
                Vec3 p = patchPoint(s, static_cast<double>(i) / (s.size[0] - 1), static_cast<double>(j) / (s.size[1] - 1), &n);
                put(i, j, lightFrom(lights, p + n * 1.0, n, scene, shadows));
            }
    } else {
        const Plane& plane = planes[s.plane];
        Bounds box;
        Vec3 centre;
        int count = 0;
        for (const Winding& w : s.pieces)
            for (const Vec3& p : w) {
                box.add(p);
                centre += p;
                ++count;
            }
        centre = centre * (1.0 / std::max(count, 1));
        std::vector<const PointLight*> lights = lightsNear(box, settings);
        lights.erase(std::remove_if(lights.begin(), lights.end(),
                                    [&](const PointLight* l) { return plane.distanceTo(l->origin) <= 0.0; }),
                     lights.end());
        for (int j = 0; j < s.size[1]; ++j, shadows = shadows && budget.inTime())
            for (int i = 0; i < s.size[0]; ++i) {
                Vec3 p = pointOnSurface(s, plane, s.origin[0] + i * L, s.origin[1] + j * L);
                Vec3 sample = p + plane.normal * 0.5;
                // Luxels that fall under a neighbouring brush borrow a point
                // nearer the middle of the face.
                for (int k = 1; k <= 4 && tree.nodes[static_cast<size_t>(tree.leafAt(sample, planes))].solid; ++k)
                    sample = p + (centre - p) * (0.25 * k) + plane.normal * 0.5;
                put(i, j, lightFrom(lights, sample, plane.normal, scene, shadows));
            }
    }
    if (!shadows) budget.cut.fetch_add(1);
    // Border copies the edge so filtering never reads a neighbour.
    for (int j = -1; j <= s.size[1]; ++j)
        for (int i = -1; i <= s.size[0]; ++i) {
            if (i >= 0 && j >= 0 && i < s.size[0] && j < s.size[1]) continue;
            int ci = std::clamp(i, 0, s.size[0] - 1), cj = std::clamp(j, 0, s.size[1] - 1);
            const uint8_t* src = texel(ci, cj);
            uint8_t* dst = texel(i, j);
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
        }
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
        placeBlock(s, planes, settings.luxel, packer);
        lit.push_back(&s);
    }
    pages.assign(static_cast<size_t>(packer.pages) * bsp::kLightmapBytes, 0);
    const LightScene scene{planes, tree, settings, surfaces};
    // Blocks never overlap, so the surfaces are lit side by side.
    forEachIndex(lit.size(), threads, [&](size_t i) {
        const Surface& s = *lit[i];
        lightSurface(s, scene, budget, pages.data() + static_cast<size_t>(s.lightmap) * bsp::kLightmapBytes);
        if (budget.progress) budget.progress->advance();
    });
}

void lightMeshes(std::vector<Surface>& surfaces, const PlaneSet& planes, const Tree& tree,
                 const LightSettings& settings, int threads, LightBudget& budget)
{
    const LightScene scene{planes, tree, settings, surfaces};
    std::vector<Surface*> meshes;
    for (Surface& s : surfaces)
        if (s.isMesh()) meshes.push_back(&s);
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
            Vec3 c = lightFrom(lights, s.meshPoints[k].position + normals[k], normals[k], scene, shadows);
            toBytes(c, &s.meshLight[k * 3]);
        }
    });
}

} // namespace mapc
