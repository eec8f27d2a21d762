// Gathering a level's lights: entities, worldspawn keys, sky and glowing shaders.
#include "LightSources.h"
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include "world/Overbright.h"
#include "Patches.h"

namespace mapc {

namespace {

// Point lights fall off with the square of the distance, as the editors'
// users expect of "light"; this many units squared make one unit of light
// (fitted over the development levels, with detail shadows, dirt, and
// covered luxels taking their neighbours' light).
constexpr double kPointScale = 21300.0;
// Closer than this a light counts as this far (no burnt-out spots).
constexpr double kNearest = 16.0;
// A light aimed at a target is a spotlight: a cone whose edge passes
// "radius" (default 64) from the target, full to this share of its half
// angle and gone past the second (the soft edge the reference compiles show).
constexpr double kDefaultSpotRadius = 64.0;
constexpr double kSpotFull = 0.85;
constexpr double kSpotNone = 1.15;
// ... and gives this many times its "light" in the cone: the reference
// compiles light the rooms around a spot well beyond it (fitted).
constexpr double kAimedScale = 2.0;
// Glowing faces: square units of face per unit of a point light's "light".
constexpr double kAreaPerUnit = 34000.0;
// A glowing face shines from cells of at most this size, one light each.
constexpr double kGlowCell = 128.0;

// Scaled so the largest channel is 1; white when none is positive.
Vec3 tint(const Vec3& c)
{
    Vec3 v(std::max(c.x, 0.0), std::max(c.y, 0.0), std::max(c.z, 0.0));
    double m = std::max(v.x, std::max(v.y, v.z));
    return m > 0.0 ? v * (1.0 / m) : Vec3(1, 1, 1);
}

// As given, unless a channel passes 1 (a 0-255 colour): then as a tint.
Vec3 asGiven(const Vec3& c)
{
    const Vec3 v(std::max(c.x, 0.0), std::max(c.y, 0.0), std::max(c.z, 0.0));
    return std::max(v.x, std::max(v.y, v.z)) > 1.0 ? tint(v) : v;
}

// "nan" and "inf" parse as numbers; a light made of them would poison every luxel.
bool allFinite(const double* v, int n)
{
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(v[i])) return false;
    return true;
}

// The colour a glowing or sky shader's light has.
Vec3 lightColorOf(const TextureTraits& traits)
{
    return Vec3(traits.lightColor[0], traits.lightColor[1], traits.lightColor[2]);
}

// "light" or "_light": its first number. Quake 3 light compilers read
// "255 255 128 50" (another tool family's "r g b intensity") as 255, white
// unless "_color" says otherwise, and the levels were made looking at that.
double lightValue(const MapEntity& e, Diagnostics& diag)
{
    const char* text = e.value("light");
    if (!text) text = e.value("_light");
    if (!text) return 300.0;
    double v[2];
    int n = std::sscanf(text, "%lf %lf", &v[0], &v[1]);
    if (n < 1 || !allFinite(v, 1)) return 300.0;
    if (n == 2) diag.warn(e.line, "light \"%s\": only its first number is its brightness; \"_color\" gives a colour", text);
    return v[0];
}

void readWorldspawn(const MapEntity& e, LightSettings& settings, Diagnostics& diag)
{
    double luxel = e.number("luxel_size", settings.luxel);
    if (luxel < 1.0 || luxel > 256.0) {
        diag.warn(e.line, "luxel_size %g out of range 1-256; using 16", luxel);
        luxel = 16.0;
    }
    settings.luxel = luxel;
    // As the reference compiles store them: "ambient" 20 is byte 20 on the
    // darkest luxels, "_color" 0.1 0.05 0 makes ambient 60 bytes 6 3 0, and
    // "_ambient" and the worldspawn's "light" add nothing.
    settings.ambient = std::clamp(e.number("ambient", 0.0), 0.0, 255.0) * kDefaultOverbright;
    settings.minLight = std::clamp(e.number("_minlight", 0.0), 0.0, 255.0) * kDefaultOverbright;
    const double dirtScale = e.number("_dirtscale", settings.dirtScale), dirtDepth = e.number("_dirtdepth", settings.dirtDepth);
    settings.dirtScale = std::isfinite(dirtScale) ? std::clamp(dirtScale, 0.0, 10.0) : settings.dirtScale;
    settings.dirtDepth = std::isfinite(dirtDepth) ? std::clamp(dirtDepth, 8.0, 1024.0) : 128.0;
    Vec3 c;
    if (e.vector("_color", c)) settings.ambientColor = asGiven(c);
    if (const char* flood = e.value("_floodlight")) {
        double v[5] = {255, 255, 255, 1024, 128};
        int n = std::sscanf(flood, "%lf %lf %lf %lf %lf", &v[0], &v[1], &v[2], &v[3], &v[4]);
        if (n == 5 && allFinite(v, n) && v[3] > 0.0 && v[4] > 0.0) {
            settings.floodColor = tint(Vec3(v[0], v[1], v[2]));
            settings.floodReach = std::min(v[3], 65536.0);
            settings.floodLight = std::min(v[4], 255.0);
        } else {
            diag.warn(e.line, "_floodlight wants \"r g b distance intensity\"; ignored");
        }
    }
}

// The cone stays under a right angle either side, so a light never shines backwards.
void aimAt(const Vec3& axis, double distance, double radius, PointLight& l)
{
    if (!std::isfinite(radius) || radius <= 0.0) radius = kDefaultSpotRadius;
    const double half = std::atan(radius / distance);
    l.spotAxis = axis;
    l.spotCosFull = std::cos(half * kSpotFull);
    l.spotCosNone = std::cos(std::min(half * kSpotNone, M_PI / 2));
    l.intensity = std::min(l.intensity * kAimedScale, 100000.0);
}

} // namespace

// Farther than this a point light adds less than four units, one step as
// stored: left out.
void PointLight::setReach() { reach = linear ? intensity / fade : std::sqrt(intensity * kPointScale / 4.0); }

double PointLight::valueAt(double dist) const
{
    if (linear) return intensity - dist * fade;
    double d = std::max(dist, kNearest);
    return intensity * kPointScale / (d * d);
}

double PointLight::nearValueAt(const Vec3& p, const Vec3& n) const
{
    if (cell.size() < 3 || cellArea <= 0.0 || facing.dot(p - cell[0]) <= 0.0) return 0.0;
    Winding seen = cell;
    clipWinding(seen, Plane{n, n.dot(p)}, 0.0);
    // Lambert's sum over the edges: the share of the hemisphere the piece covers.
    double sum = 0.0;
    for (size_t i = 0; i < seen.size(); ++i) {
        const Vec3 a = (seen[i] - p).normalized(), b = (seen[(i + 1) % seen.size()] - p).normalized();
        const Vec3 across = a.cross(b);
        const double length = across.length();
        if (length < 1e-12) continue;
        sum += std::acos(std::clamp(a.dot(b), -1.0, 1.0)) * n.dot(across) / length;
    }
    const double formFactor = std::min(std::fabs(sum) / (2.0 * M_PI), 1.0);
    // Far off this is the point light's intensity x scale x cosines / d^2.
    return intensity * kPointScale * M_PI / cellArea * formFactor;
}

LightSettings readLightSettings(const MapFile& map, Diagnostics& diag, double dirtScale)
{
    LightSettings settings;
    if (std::isfinite(dirtScale) && dirtScale >= 0.0) settings.dirtScale = std::min(dirtScale, 10.0);
    std::map<std::string, Vec3> targets;
    for (const MapEntity& e : map.entities) {
        const char* name = e.value("targetname");
        Vec3 o;
        if (name && e.vector("origin", o)) targets.emplace(name, o);
    }
    for (const MapEntity& e : map.entities) {
        const char* cls = e.value("classname");
        if (!cls) continue;
        if (std::strcmp(cls, "worldspawn") == 0) {
            readWorldspawn(e, settings, diag);
            continue;
        }
        if (std::strcmp(cls, "light") != 0) continue;
        PointLight l;
        if (!e.vector("origin", l.origin)) {
            diag.warn(e.line, "light without an origin ignored");
            continue;
        }
        l.intensity = std::clamp(lightValue(e, diag), 0.0, 100000.0);
        Vec3 c;
        if (e.vector("_color", c)) l.color = tint(c);
        const char* target = e.value("target");
        auto aim = target ? targets.find(target) : targets.end();
        Vec3 towards = aim != targets.end() ? aim->second - l.origin : Vec3();
        const double reachTarget = towards.length();
        if (reachTarget > 0.0 && e.number("_sun", 0.0) != 0.0) {
            // A sun shining from the light's side of its target.
            SunLight sun;
            sun.towards = towards * (-1.0 / reachTarget);
            sun.color = l.color;
            sun.intensity = l.intensity;
            settings.suns.push_back(sun);
            continue;
        }
        if (reachTarget > 0.0) aimAt(towards * (1.0 / reachTarget), reachTarget, e.number("radius", kDefaultSpotRadius), l);
        l.linear = (static_cast<int>(e.number("spawnflags", 0)) & 1) != 0;
        const double fade = e.number("_fade", 1.0);
        l.fade = std::isfinite(fade) ? std::clamp(fade, 0.01, 100.0) : 1.0;
        l.setReach();
        settings.lights.push_back(l);
    }
    return settings;
}

void addSkyLights(const std::vector<Surface>& surfaces, const BrushSet& brushes, TextureLibrary& library,
                  Diagnostics& diag, LightSettings& light)
{
    std::vector<std::string> seen;
    for (const TextureRecord& t : brushes.textures) {
        if (!(t.flags & kSurfSky) || std::find(seen.begin(), seen.end(), t.name) != seen.end()) continue;
        seen.push_back(t.name);
        const TextureTraits& traits = library.traitsOfPath(t.name, diag);
        if (traits.sun[3] <= 0.0) continue;
        SunLight sun;
        const double yaw = traits.sun[4] * M_PI / 180.0, pitch = traits.sun[5] * M_PI / 180.0;
        sun.towards = Vec3(std::cos(pitch) * std::cos(yaw), std::cos(pitch) * std::sin(yaw), std::sin(pitch));
        sun.color = tint(Vec3(traits.sun[0], traits.sun[1], traits.sun[2]));
        sun.intensity = traits.sun[3];
        light.suns.push_back(sun);
    }
    light.skySurface.assign(surfaces.size(), 0);
    light.skyGlow.assign(surfaces.size(), Vec3());
    light.brightness.assign(surfaces.size(), 1.0f);
    for (size_t i = 0; i < surfaces.size(); ++i) {
        const Surface& s = surfaces[i];
        if (s.texture < 0) continue;
        const TextureRecord& t = brushes.textures[static_cast<size_t>(s.texture)];
        light.brightness[i] = static_cast<float>(library.traitsOfPath(t.name, diag).lightmapBrightness);
        if (s.isMesh()) continue;
        if (!(t.flags & kSurfSky)) continue;
        light.skySurface[i] = 1;
        const TextureTraits& traits = library.traitsOfPath(t.name, diag);
        const double glow = std::max(traits.skyLight, 0.0) + std::max(traits.surfaceLight, 0.0);
        light.skyGlow[i] = lightColorOf(traits) * glow;
        light.anySkyGlow = light.anySkyGlow || glow > 0.0;
    }
}

namespace {

// Glowing triangles of a placed model give off light from spots this far
// apart at most: the triangles whose middles share a cube make one light.
constexpr double kMeshLightSpacing = 512.0;

// One light per cube of the mesh's glowing triangles, a little in front of
// their middle, as bright as their area.
void addMeshSurfaceLights(const Surface& s, const TextureTraits& traits, LightSettings& light)
{
    struct Spot {
        Vec3 middle, normal;
        double area = 0.0;
    };
    std::map<std::tuple<long, long, long>, Spot> spots;
    for (size_t t = 0; t + 2 < s.meshIndices.size(); t += 3) {
        const Vec3& a = s.meshPoints[static_cast<size_t>(s.meshIndices[t])].position;
        const Vec3& b = s.meshPoints[static_cast<size_t>(s.meshIndices[t + 1])].position;
        const Vec3& c = s.meshPoints[static_cast<size_t>(s.meshIndices[t + 2])].position;
        const Vec3 n = (c - a).cross(b - a);  // clockwise front
        const double area = n.length() * 0.5;
        const Vec3 middle = (a + b + c) * (1.0 / 3.0);
        Spot& spot = spots[std::make_tuple(static_cast<long>(std::floor(middle.x / kMeshLightSpacing)),
                                           static_cast<long>(std::floor(middle.y / kMeshLightSpacing)),
                                           static_cast<long>(std::floor(middle.z / kMeshLightSpacing)))];
        spot.middle += middle * area;
        spot.normal += n;
        spot.area += area;
    }
    for (const auto& entry : spots) {
        const Spot& spot = entry.second;
        if (spot.area <= 0.0) continue;
        PointLight l;
        l.origin = spot.middle * (1.0 / spot.area) + spot.normal.normalized() * 2.0;
        l.intensity = std::min(100000.0, traits.surfaceLight * spot.area / kAreaPerUnit);
        l.color = lightColorOf(traits);
        l.setReach();
        if (l.intensity >= 1.0) light.lights.push_back(l);
    }
}

// The piece cut into squares of kGlowCell along its lightmap axes.
std::vector<Winding> glowCells(const Winding& w, const Vec3& normal)
{
    int axes[2];
    lightmapAxes(normal, axes[0], axes[1]);
    double lo[2] = {1e30, 1e30}, hi[2] = {-1e30, -1e30};
    for (const Vec3& p : w)
        for (int i = 0; i < 2; ++i) {
            lo[i] = std::min(lo[i], p[axes[i]]);
            hi[i] = std::max(hi[i], p[axes[i]]);
        }
    int steps[2];
    for (int i = 0; i < 2; ++i) steps[i] = std::clamp(static_cast<int>(std::ceil((hi[i] - lo[i]) / kGlowCell)), 1, 256);
    std::vector<Winding> cells;
    for (int a = 0; a < steps[0]; ++a)
        for (int b = 0; b < steps[1]; ++b) {
            Winding cell = w;
            const int at[2] = {a, b};
            for (int i = 0; i < 2 && !cell.empty(); ++i) {
                const double size = (hi[i] - lo[i]) / steps[i];
                Vec3 axis;
                axis[axes[i]] = 1.0;
                if (at[i] > 0) clipWinding(cell, Plane{axis, lo[i] + at[i] * size});
                if (at[i] + 1 < steps[i] && !cell.empty()) clipWinding(cell, Plane{axis * -1.0, -(lo[i] + (at[i] + 1) * size)});
            }
            if (cell.size() >= 3) cells.push_back(std::move(cell));
        }
    return cells;
}

// One light just in front of a glowing cell's middle, as bright as its
// area, and its back-splash: a share of it all round from further out,
// which lights the glowing face itself; a two-sided shader glows from the
// back as well.
void addGlowLight(const Winding& cell, const Vec3& middle, const Vec3& normal, double area,
                  const TextureTraits& traits, LightSettings& light)
{
    const Vec3 color = lightColorOf(traits);
    double radius = 0.0;
    for (const Vec3& corner : cell) radius = std::max(radius, (corner - middle).length());
    for (int side = 0; side < (traits.twoSided ? 2 : 1); ++side) {
        const Vec3 facing = side == 0 ? normal : normal * -1.0;
        PointLight l;
        l.origin = middle + facing * 2.0;
        l.intensity = std::min(100000.0, traits.surfaceLight * area / kAreaPerUnit);
        l.color = color;
        l.facing = facing;
        l.glowing = true;
        l.cell = cell;
        l.cellArea = area;
        l.nearRange = 2.0 * radius;
        l.setReach();
        if (l.intensity < 1.0) continue;
        light.lights.push_back(l);
        PointLight splash;
        splash.origin = middle + facing * traits.backSplash[1];
        splash.intensity = l.intensity * traits.backSplash[0] / 100.0;
        splash.color = color;
        splash.glowing = true;
        splash.setReach();
        if (splash.intensity > 0.0) light.lights.push_back(splash);
    }
}

// A glowing patch cut by its grid directions into cells of about
// kGlowCell, one light each in front of the cell's middle.
void addPatchSurfaceLights(const Surface& s, const TextureTraits& traits, LightSettings& light)
{
    int cells[2];
    for (int axis = 0; axis < 2; ++axis) {
        // The longest run of the surface along this grid direction.
        double longest = 0.0;
        for (int across = 0; across <= 4; ++across) {
            double length = 0.0;
            Vec3 last;
            for (int k = 0; k <= 8; ++k) {
                const double u = axis == 0 ? k / 8.0 : across / 4.0, v = axis == 0 ? across / 4.0 : k / 8.0;
                const Vec3 p = patchPoint(s, u, v, nullptr);
                if (k > 0) length += (p - last).length();
                last = p;
            }
            longest = std::max(longest, length);
        }
        const double n = std::ceil(longest / kGlowCell);
        cells[axis] = n >= 1.0 ? static_cast<int>(std::min(n, 64.0)) : 1;  // in doubles: a wild length stays in range
    }
    for (int a = 0; a < cells[0]; ++a)
        for (int b = 0; b < cells[1]; ++b) {
            const double u0 = static_cast<double>(a) / cells[0], u1 = static_cast<double>(a + 1) / cells[0];
            const double v0 = static_cast<double>(b) / cells[1], v1 = static_cast<double>(b + 1) / cells[1];
            const Vec3 p00 = patchPoint(s, u0, v0, nullptr), p10 = patchPoint(s, u1, v0, nullptr);
            const Vec3 p01 = patchPoint(s, u0, v1, nullptr), p11 = patchPoint(s, u1, v1, nullptr);
            const double area = 0.5 * ((p10 - p00).cross(p01 - p00).length() + (p10 - p11).cross(p01 - p11).length());
            if (!(area > 0.0) || !std::isfinite(area)) continue;
            Vec3 normal;
            const Vec3 middle = patchPoint(s, (u0 + u1) * 0.5, (v0 + v1) * 0.5, &normal);
            addGlowLight(Winding{p00, p10, p11, p01}, middle, normal, area, traits, light);
        }
}

} // namespace

void addSurfaceLights(const std::vector<Surface>& surfaces, const BrushSet& brushes, const PlaneSet& planes,
                      TextureLibrary& library, Diagnostics& diag, LightSettings& light)
{
    for (const Surface& s : surfaces) {
        if (s.model != 0 || s.texture < 0) continue;
        const TextureRecord& t = brushes.textures[static_cast<size_t>(s.texture)];
        if (t.flags & kSurfSky) continue;  // sky light comes from the dome
        const TextureTraits& traits = library.traitsOfPath(t.name, diag);
        if (traits.surfaceLight <= 0.0) continue;
        if (s.isMesh()) {
            addMeshSurfaceLights(s, traits, light);
            continue;
        }
        if (s.isPatch()) {
            addPatchSurfaceLights(s, traits, light);
            continue;
        }
        const Vec3 normal = planes[s.plane].normal;
        for (const Winding& w : s.pieces)
            for (const Winding& cell : glowCells(w, normal))
                addGlowLight(cell, windingCenter(cell), normal, windingArea(cell), traits, light);
    }
}

} // namespace mapc
