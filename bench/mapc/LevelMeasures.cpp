// The level comparison's measures (see LevelMeasures.h).
#include "LevelMeasures.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

namespace {

double triangleArea(const float* a, const float* b, const float* c)
{
    double u[3], v[3];
    for (int i = 0; i < 3; ++i) { u[i] = b[i] - a[i]; v[i] = c[i] - a[i]; }
    double x = u[1] * v[2] - u[2] * v[1], y = u[2] * v[0] - u[0] * v[2], z = u[0] * v[1] - u[1] * v[0];
    return 0.5 * std::sqrt(x * x + y * y + z * z);
}

// Calls visit(a, b, c, lightmap) for the triangles of a patch evaluated
// n x n per quadratic piece: three corners and the lightmap coordinate
// (s, t) at their middle. Nothing for a malformed grid.
template <typename Visit>
void patchTriangles(const RawLevel& l, const bsp::BspFace& f, int n, Visit visit)
{
    int w = f.patchSize[0], h = f.patchSize[1];
    if (w < 3 || h < 3 || !(w & 1) || !(h & 1) || f.firstVertex < 0 || f.firstVertex + w * h > l.counts[bsp::LumpVertices]) return;
    const bsp::BspVertex* cp = l.vertices + f.firstVertex;
    const size_t side = static_cast<size_t>(n + 1);
    std::vector<float> pts(side * side * 5);  // x y z and lightmap s t per point
    auto point = [&](int i, int j) { return &pts[(static_cast<size_t>(i) * side + static_cast<size_t>(j)) * 5]; };
    auto triangle = [&](const float* a, const float* b, const float* c) {
        const float lightmap[2] = {(a[3] + b[3] + c[3]) / 3, (a[4] + b[4] + c[4]) / 3};
        visit(a, b, c, lightmap);
    };
    for (int pr = 0; pr + 2 < h; pr += 2)
        for (int pc = 0; pc + 2 < w; pc += 2) {
            for (int i = 0; i <= n; ++i)
                for (int j = 0; j <= n; ++j) {
                    double s = static_cast<double>(j) / n, t = static_cast<double>(i) / n;
                    double ws[3] = {(1 - s) * (1 - s), 2 * s * (1 - s), s * s}, wt[3] = {(1 - t) * (1 - t), 2 * t * (1 - t), t * t};
                    double v[5] = {0, 0, 0, 0, 0};
                    for (int r = 0; r < 3; ++r)
                        for (int c = 0; c < 3; ++c) {
                            const bsp::BspVertex& q = cp[(pr + r) * w + pc + c];
                            for (int k = 0; k < 3; ++k) v[k] += q.position[k] * ws[c] * wt[r];
                            for (int k = 0; k < 2; ++k) v[3 + k] += q.lightmapCoord[k] * ws[c] * wt[r];
                        }
                    for (int k = 0; k < 5; ++k) point(i, j)[k] = static_cast<float>(v[k]);
                }
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < n; ++j) {
                    triangle(point(i, j), point(i, j + 1), point(i + 1, j + 1));
                    triangle(point(i, j), point(i + 1, j + 1), point(i + 1, j));
                }
        }
}

// Patch area from its control grid evaluated 8 x 8 per quadratic piece.
double patchArea(const RawLevel& l, const bsp::BspFace& f)
{
    double area = 0;
    patchTriangles(l, f, 8, [&](const float* a, const float* b, const float* c, const float*) { area += triangleArea(a, b, c); });
    return area;
}

// Drawn area of one face (0 for kinds not drawn as triangles).
double faceArea(const RawLevel& l, const bsp::BspFace& f)
{
    if (f.type == bsp::FacePatch) return patchArea(l, f);
    if (f.type != bsp::FacePolygon && f.type != bsp::FaceMesh) return 0;
    double area = 0;
    for (int k = 0; k + 2 < f.meshVertexCount; k += 3) {
        int m = f.firstMeshVertex + k;
        if (m < 0 || m + 2 >= l.counts[bsp::LumpMeshVertices]) break;
        int a = f.firstVertex + l.meshVertices[m], b = f.firstVertex + l.meshVertices[m + 1], c = f.firstVertex + l.meshVertices[m + 2];
        if (a < 0 || b < 0 || c < 0 || a >= l.counts[bsp::LumpVertices] || b >= l.counts[bsp::LumpVertices] || c >= l.counts[bsp::LumpVertices]) break;
        area += triangleArea(l.vertices[a].position, l.vertices[b].position, l.vertices[c].position);
    }
    return area;
}

} // namespace

double drawnArea(const RawLevel& l)
{
    double area = 0;
    for (int i = 0; i < l.counts[bsp::LumpFaces]; ++i) area += faceArea(l, l.faces[i]);
    return area;
}

void addKinds(const RawLevel& l, int which, double scale, std::map<std::string, KindArea>& kinds)
{
    static const char* const kKind[] = {"?", "polygon", "patch", "mesh", "billboard"};
    for (int i = 0; i < l.counts[bsp::LumpFaces]; ++i) {
        const bsp::BspFace& f = l.faces[i];
        std::string name = f.texture >= 0 && f.texture < l.counts[bsp::LumpTextures]
                               ? std::string(l.textures[f.texture].name, strnlen(l.textures[f.texture].name, 64))
                               : "?";
        int type = f.type >= 1 && f.type <= 4 ? f.type : 0;
        // The reference turns brush faces into triangle meshes: polygons
        // and meshes are one kind here.
        const char* kind = type == bsp::FaceMesh ? kKind[bsp::FacePolygon] : kKind[type];
        // Names as the source writes them or as the script does: one.
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        KindArea& k = kinds[name + " " + kind];
        k.area[which] += faceArea(l, f) * scale;
        k.faces[which] += 1;
    }
}

LightPages internalPages(const RawLevel& l)
{
    LightPages out;
    out.size = bsp::kLightmapSize;
    int bytes = 0;
    RawLevel& level = const_cast<RawLevel&>(l);
    const uint8_t* data = level.lump<uint8_t>(bsp::LumpLightmaps, bytes);
    for (int at = 0; data && at + bsp::kLightmapBytes <= bytes; at += bsp::kLightmapBytes)
        out.pages.emplace_back(data + at, data + at + bsp::kLightmapBytes);
    return out;
}

LightPages externalPages(const FileSystem& files, const std::string& name)
{
    LightPages out;
    for (int i = 0; i < 1000; ++i) {
        char path[256];
        std::snprintf(path, sizeof(path), "maps/%s/lm_%04d.tga", name.c_str(), i);
        std::vector<unsigned char> tga;
        if (!files.exists(path) || !files.readFile(path, tga) || tga.size() < 18) break;
        int w = tga[12] | tga[13] << 8, h = tga[14] | tga[15] << 8, bpp = tga[16] / 8;
        size_t start = 18 + tga[0];
        if (tga[2] != 2 || w != h || (bpp != 3 && bpp != 4) || start + static_cast<size_t>(w) * h * bpp > tga.size()) break;
        if (out.size && out.size != w) break;
        out.size = w;
        bool topFirst = (tga[17] & 0x20) != 0;
        std::vector<uint8_t> page(static_cast<size_t>(w) * h * 3);
        for (int y = 0; y < h; ++y) {
            const unsigned char* row = tga.data() + start + static_cast<size_t>(topFirst ? y : h - 1 - y) * w * bpp;
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c) page[(static_cast<size_t>(y) * w + x) * 3 + c] = row[x * bpp + 2 - c];
        }
        out.pages.push_back(std::move(page));
    }
    return out;
}

namespace {

std::string shaderName(const RawLevel& l, int texture)
{
    std::string name = texture >= 0 && texture < l.counts[bsp::LumpTextures]
                           ? std::string(l.textures[texture].name, strnlen(l.textures[texture].name, 64))
                           : "?";
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    return name;
}

// Calls visit(face, area, brightness) for each triangle of a lightmapped
// polygon, and with `patches` of a patch (evaluated 8 x 8 per quadratic
// piece), sampled at its middle.
template <typename Visit>
void sampleLightmap(const RawLevel& l, const LightPages& lp, bool patches, Visit visit)
{
    for (int i = 0; i < l.counts[bsp::LumpFaces]; ++i) {
        const bsp::BspFace& f = l.faces[i];
        if ((f.type != bsp::FacePolygon && !(patches && f.type == bsp::FacePatch)) || f.lightmap < 0 ||
            f.lightmap >= static_cast<int>(lp.pages.size()))
            continue;
        const std::vector<uint8_t>& page = lp.pages[static_cast<size_t>(f.lightmap)];
        auto brightnessAt = [&](double s, double t) {
            int x = std::clamp(static_cast<int>(s * lp.size), 0, lp.size - 1);
            int y = std::clamp(static_cast<int>(t * lp.size), 0, lp.size - 1);
            const uint8_t* texel = page.data() + (static_cast<size_t>(y) * lp.size + x) * 3;
            return (texel[0] + texel[1] + texel[2]) / 3.0;
        };
        if (f.type == bsp::FacePatch) {
            patchTriangles(l, f, 8, [&](const float* a, const float* b, const float* c, const float* lightmap) {
                visit(f, triangleArea(a, b, c), brightnessAt(lightmap[0], lightmap[1]));
            });
            continue;
        }
        for (int k = 0; k + 2 < f.meshVertexCount; k += 3) {
            int m = f.firstMeshVertex + k;
            if (m < 0 || m + 2 >= l.counts[bsp::LumpMeshVertices]) break;
            const bsp::BspVertex* v[3];
            bool ok = true;
            for (int c = 0; c < 3; ++c) {
                int at = f.firstVertex + l.meshVertices[m + c];
                ok = ok && at >= 0 && at < l.counts[bsp::LumpVertices];
                v[c] = ok ? &l.vertices[at] : nullptr;
            }
            if (!ok) break;
            double area = triangleArea(v[0]->position, v[1]->position, v[2]->position);
            double s = (v[0]->lightmapCoord[0] + v[1]->lightmapCoord[0] + v[2]->lightmapCoord[0]) / 3.0;
            double t = (v[0]->lightmapCoord[1] + v[1]->lightmapCoord[1] + v[2]->lightmapCoord[1]) / 3.0;
            visit(f, area, brightnessAt(s, t));
        }
    }
}

} // namespace

double meanLightmap(const RawLevel& l, const LightPages& lp)
{
    double sum = 0, weight = 0;
    sampleLightmap(l, lp, false, [&](const bsp::BspFace&, double area, double value) {
        sum += area * value;
        weight += area;
    });
    return weight > 0 ? sum / weight : -1.0;
}

namespace {

// meanLightmap's samples, and the patches', added as `which` to the group
// groupOf(face) names.
template <typename GroupOf>
void addGroupLight(const RawLevel& l, const LightPages& lp, int which, std::map<std::string, ShaderLight>& groups,
                   GroupOf groupOf)
{
    sampleLightmap(l, lp, true, [&](const bsp::BspFace& f, double area, double value) {
        ShaderLight& s = groups[groupOf(f)];
        s.area[which] += area;
        s.light[which] += area * value;
    });
}

} // namespace

void addShaderLight(const RawLevel& l, const LightPages& lp, int which, std::map<std::string, ShaderLight>& shaders)
{
    addGroupLight(l, lp, which, shaders, [&](const bsp::BspFace& f) { return shaderName(l, f.texture); });
}

void addFacingLight(const RawLevel& l, const LightPages& lp, int which, std::map<std::string, ShaderLight>& facings)
{
    addGroupLight(l, lp, which, facings, [](const bsp::BspFace& f) {
        if (f.type == bsp::FacePatch) return std::string("patches");
        const double up = f.normal[2];
        return std::string(up > M_SQRT1_2 ? "facing up" : up < -M_SQRT1_2 ? "facing down" : "walls");
    });
}

std::vector<std::array<double, 3>> spawnPoints(const std::string& text)
{
    std::vector<std::array<double, 3>> out;
    size_t at = 0;
    while ((at = text.find('{', at)) != std::string::npos) {
        size_t end = text.find('}', at);
        if (end == std::string::npos) break;
        std::string body = text.substr(at, end - at);
        at = end;
        if (body.find("\"info_player_") == std::string::npos) continue;
        size_t o = body.find("\"origin\"");
        if (o == std::string::npos) continue;
        std::array<double, 3> p{};
        if (std::sscanf(body.c_str() + o + 8, " \"%lf %lf %lf\"", &p[0], &p[1], &p[2]) == 3) out.push_back(p);
    }
    return out;
}

double farPlaneOf(const std::string& text)
{
    size_t at = text.find("\"_farplanedist\"");
    size_t end = text.find('}');
    if (at == std::string::npos || at > end) return 0.0;
    double far = 0.0;
    return std::sscanf(text.c_str() + at + 15, " \"%lf\"", &far) == 1 && far > 0.0 ? far : 0.0;
}

int spawnsInSolid(const RawLevel& l, const std::vector<std::array<double, 3>>& spawns)
{
    int bad = 0;
    for (const auto& s : spawns) {
        bool hit = false;
        for (int b = 0; b < l.models[0].brushCount && !hit; ++b) {
            int bi = l.models[0].firstBrush + b;
            if (l.solidBrush(bi) && l.outside(bi, s.data()) < 20.0) {
                // Close to the brush's planes; only the box corners of a
                // bevelled brush overshoot, so test the sphere's points too.
                for (int k = 0; k < 27 && !hit; ++k) {
                    double q[3] = {s[0] + (k % 3 - 1) * 11.5, s[1] + (k / 3 % 3 - 1) * 11.5, s[2] + (k / 9 - 1) * 11.5};
                    hit = l.outside(bi, q) < -0.01;
                }
                double c[3] = {s[0], s[1], s[2]};
                hit = hit || l.outside(bi, c) < -0.01;
            }
        }
        bad += hit;
    }
    return bad;
}

bool walkSegment(const RawLevel& l, int node, const double a[3], const double b[3], std::vector<int>& leaves)
{
    if (node < 0) {
        int leaf = ~node;
        if (l.leaves[leaf].cluster < 0) return false;
        leaves.push_back(leaf);
        return true;
    }
    const bsp::BspNode& n = l.nodes[node];
    double da = l.dist(n.plane, a), db = l.dist(n.plane, b);
    if (da >= 0 && db >= 0) return walkSegment(l, n.children[0], a, b, leaves);
    if (da < 0 && db < 0) return walkSegment(l, n.children[1], a, b, leaves);
    double t = da / (da - db), mid[3];
    for (int i = 0; i < 3; ++i) mid[i] = a[i] + (b[i] - a[i]) * t;
    int nearSide = da >= 0 ? 0 : 1;
    if (!walkSegment(l, n.children[nearSide], a, mid, leaves)) return false;
    return walkSegment(l, n.children[nearSide ^ 1], mid, b, leaves);
}

double levelScale(const std::string& mine, const std::string& ref)
{
    auto a = spawnPoints(mine), b = spawnPoints(ref);
    std::vector<double> ratios;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        for (int k = 0; k < 3; ++k)
            if (std::fabs(a[i][k]) > 64) ratios.push_back(b[i][k] / a[i][k]);
    if (ratios.empty()) return 1.0;
    std::sort(ratios.begin(), ratios.end());
    double s = ratios[ratios.size() / 2];
    return std::fabs(s - 1.0) < 0.01 || s <= 0 ? 1.0 : s;
}

double visiblePercent(const RawLevel& l)
{
    if (!l.vis || l.clusters <= 0) return 100.0;
    double sum = 0;
    for (int from = 0; from < l.clusters; ++from) {
        int seen = 0;
        for (int to = 0; to < l.clusters; ++to) seen += l.sees(from, to);
        sum += static_cast<double>(seen) / l.clusters;
    }
    return 100.0 * sum / l.clusters;
}

int openCorners(const RawLevel& l)
{
    if (!l.models || l.counts[bsp::LumpModels] < 1) return 0;
    const bsp::BspModel& world = l.models[0];
    int open = 0;
    for (int corner = 0; corner < 8; ++corner) {
        double p[3];
        for (int i = 0; i < 3; ++i) p[i] = (corner >> i & 1) ? world.maxs[i] - 1.0 : world.mins[i] + 1.0;
        open += l.leaves[l.leafAt(p)].cluster >= 0 && !l.inSolid(p);
    }
    return open;
}

InsideClusters::InsideClusters(const RawLevel& mine, const RawLevel& reference)
    : ours(static_cast<size_t>(std::max(mine.clusters, 0)), 0),
      ref(static_cast<size_t>(std::max(reference.clusters, 0)), 0)
{
}

bool InsideClusters::mark(const RawLevel& mine, const RawLevel& reference, double scale, const double p[3])
{
    const int c = mine.leaves[mine.leafAt(p)].cluster;
    if (c < 0 || c >= static_cast<int>(ours.size()) || mine.inSolid(p)) return false;
    ours[static_cast<size_t>(c)] = 1;
    const double q[3] = {p[0] * scale, p[1] * scale, p[2] * scale};
    const int rc = reference.leaves[reference.leafAt(q)].cluster;
    if (rc >= 0 && rc < static_cast<int>(ref.size()) && !reference.inSolid(q)) ref[static_cast<size_t>(rc)] = 1;
    return true;
}

void InsideClusters::sampleLeaves(const RawLevel& mine, const RawLevel& reference, double scale)
{
    std::mt19937 rng(4321);  // its own, so the other samples stay as they were
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int i = 0; i < mine.counts[bsp::LumpLeaves]; ++i) {
        const bsp::BspLeaf& leaf = mine.leaves[i];
        if (leaf.cluster < 0) continue;
        for (int k = 0; k < 64; ++k) {
            double p[3];
            for (int a = 0; a < 3; ++a)
                p[a] = leaf.mins[a] + (k == 0 ? 0.5 : unit(rng)) * (leaf.maxs[a] - leaf.mins[a]);
            if (mine.leafAt(p) == i && mark(mine, reference, scale, p)) break;
        }
    }
}

double insideVisiblePercent(const RawLevel& l, const std::vector<char>& inside)
{
    std::vector<int> in;
    for (size_t c = 0; c < inside.size(); ++c)
        if (inside[c]) in.push_back(static_cast<int>(c));
    if (!l.vis || in.empty()) return 100.0;
    double sum = 0;
    for (int from : in) {
        int seen = 0;
        for (int to : in) seen += l.sees(from, to);
        sum += static_cast<double>(seen) / in.size();
    }
    return 100.0 * sum / in.size();
}

double seenSpacePercent(const RawLevel& l, const std::vector<int>& clusterOf)
{
    if (!l.vis || clusterOf.empty()) return 100.0;
    std::map<int, double> points;
    for (int c : clusterOf) points[c] += 1.0;
    double sum = 0;
    for (const auto& from : points) {
        double seen = 0;
        for (const auto& to : points) seen += l.sees(from.first, to.first) ? to.second : 0.0;
        sum += from.second * seen;
    }
    const double n = static_cast<double>(clusterOf.size());
    return 100.0 * sum / (n * n);
}
