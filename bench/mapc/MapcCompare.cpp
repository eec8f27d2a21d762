// Compiles real editor sources and compares each result with the level the
// content's authors compiled from the same source (shipped beside it):
//   bench_mapc_compare MAPS_DIR OUT_DIR NAME...
// Per level: brushes, faces, leaves, clusters (ours / reference), compile
// seconds and peak memory (each compile in its own child process), solid
// agreement on 100 000 random points, drawn area ratio, spawn spheres not in
// solid, visibility checked along 10 000 random sight lines, the mean share
// of clusters visible from a cluster (ours / reference), the same counted
// only over the clusters a player can be in (see InsideClusters) and
// whether our portal flow finished or ran out of its budget. With --kinds
// first: the drawn area per shader and face kind too. With --light first:
// compiled with no time for the flow, for quick runs over the light ratio.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <array>
#include <cctype>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "Compiler.h"
#include "resources/FileSystem.h"
#include "world/BspData.h"
#include "world/BspFormat.h"
#include "world/LevelValidation.h"

namespace {

const char* const kGameData = "/usr/share/games/nexuiz/data";

// A level file in its own (z-up) frame, lumps as records.
struct RawLevel {
    std::vector<uint8_t> bytes;
    std::string entities;
    const bsp::BspTexture* textures = nullptr;
    const bsp::BspPlane* planes = nullptr;
    const bsp::BspNode* nodes = nullptr;
    const bsp::BspLeaf* leaves = nullptr;
    const int32_t* leafBrushes = nullptr;
    const bsp::BspModel* models = nullptr;
    const bsp::BspBrush* brushes = nullptr;
    const bsp::BspBrushSide* sides = nullptr;
    const bsp::BspVertex* vertices = nullptr;
    const int32_t* meshVertices = nullptr;
    const bsp::BspFace* faces = nullptr;
    int counts[bsp::kLumpCount] = {};
    int clusters = 0, rowBytes = 0;
    const uint8_t* vis = nullptr;

    template <typename T>
    const T* lump(int i, int& count)
    {
        const bsp::BspHeader* h = reinterpret_cast<const bsp::BspHeader*>(bytes.data());
        int64_t off = h->lumps[i].offset, len = h->lumps[i].length;
        if (off < 0 || len < 0 || off + len > static_cast<int64_t>(bytes.size())) { count = 0; return nullptr; }
        count = static_cast<int>(len / static_cast<int64_t>(sizeof(T)));
        return reinterpret_cast<const T*>(bytes.data() + off);
    }

    bool load(const std::string& path)
    {
        FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) return false;
        std::fseek(f, 0, SEEK_END);
        long size = std::ftell(f);
        std::fseek(f, 0, SEEK_SET);
        bytes.resize(static_cast<size_t>(std::max(size, 0L)));
        bool ok = size >= static_cast<long>(sizeof(bsp::BspHeader)) && std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
        std::fclose(f);
        if (!ok) return false;
        int n = 0;
        const char* text = lump<char>(bsp::LumpEntities, n);
        entities.assign(text ? text : "", text ? static_cast<size_t>(n) : 0);
        textures = lump<bsp::BspTexture>(bsp::LumpTextures, counts[bsp::LumpTextures]);
        planes = lump<bsp::BspPlane>(bsp::LumpPlanes, counts[bsp::LumpPlanes]);
        nodes = lump<bsp::BspNode>(bsp::LumpNodes, counts[bsp::LumpNodes]);
        leaves = lump<bsp::BspLeaf>(bsp::LumpLeaves, counts[bsp::LumpLeaves]);
        leafBrushes = lump<int32_t>(bsp::LumpLeafBrushes, counts[bsp::LumpLeafBrushes]);
        models = lump<bsp::BspModel>(bsp::LumpModels, counts[bsp::LumpModels]);
        brushes = lump<bsp::BspBrush>(bsp::LumpBrushes, counts[bsp::LumpBrushes]);
        sides = lump<bsp::BspBrushSide>(bsp::LumpBrushSides, counts[bsp::LumpBrushSides]);
        vertices = lump<bsp::BspVertex>(bsp::LumpVertices, counts[bsp::LumpVertices]);
        meshVertices = lump<int32_t>(bsp::LumpMeshVertices, counts[bsp::LumpMeshVertices]);
        faces = lump<bsp::BspFace>(bsp::LumpFaces, counts[bsp::LumpFaces]);
        int visBytes = 0;
        const uint8_t* v = lump<uint8_t>(bsp::LumpVisibility, visBytes);
        if (v && visBytes >= 8) {
            std::memcpy(&clusters, v, 4);
            std::memcpy(&rowBytes, v + 4, 4);
            if (static_cast<int64_t>(clusters) * rowBytes + 8 <= visBytes) vis = v + 8;
        }
        return nodes && leaves && counts[bsp::LumpModels] > 0;
    }

    double dist(int plane, const double p[3]) const
    {
        const bsp::BspPlane& pl = planes[plane];
        return pl.normal[0] * p[0] + pl.normal[1] * p[1] + pl.normal[2] * p[2] - pl.distance;
    }

    int leafAt(const double p[3]) const
    {
        int node = 0;
        for (int guard = 0; node >= 0 && guard < 100000; ++guard)
            node = dist(nodes[node].plane, p) >= 0 ? nodes[node].children[0] : nodes[node].children[1];
        return ~node;
    }

    bool solidBrush(int b) const { return textures[brushes[b].texture].contents & 1; }

    // Signed distance the point lies outside the brush (negative: inside).
    double outside(int b, const double p[3]) const
    {
        double most = -1e30;
        for (int s = 0; s < brushes[b].sideCount; ++s) most = std::max(most, dist(sides[brushes[b].firstSide + s].plane, p));
        return most;
    }

    bool inSolid(const double p[3]) const
    {
        const bsp::BspLeaf& leaf = leaves[leafAt(p)];
        for (int i = 0; i < leaf.leafBrushCount; ++i) {
            int b = leafBrushes[leaf.firstLeafBrush + i];
            if (solidBrush(b) && outside(b, p) < 0) return true;
        }
        return false;
    }

    bool sees(int from, int to) const
    {
        if (!vis || from < 0 || to < 0) return true;
        return (vis[static_cast<size_t>(from) * rowBytes + (to >> 3)] >> (to & 7)) & 1;
    }
};

double triangleArea(const float* a, const float* b, const float* c)
{
    double u[3], v[3];
    for (int i = 0; i < 3; ++i) { u[i] = b[i] - a[i]; v[i] = c[i] - a[i]; }
    double x = u[1] * v[2] - u[2] * v[1], y = u[2] * v[0] - u[0] * v[2], z = u[0] * v[1] - u[1] * v[0];
    return 0.5 * std::sqrt(x * x + y * y + z * z);
}

// Patch area from its control grid evaluated 8 x 8 per quadratic piece.
double patchArea(const RawLevel& l, const bsp::BspFace& f)
{
    int w = f.patchSize[0], h = f.patchSize[1];
    if (w < 3 || h < 3 || !(w & 1) || !(h & 1) || f.firstVertex < 0 || f.firstVertex + w * h > l.counts[bsp::LumpVertices]) return 0;
    const bsp::BspVertex* cp = l.vertices + f.firstVertex;
    const int n = 8;
    double area = 0;
    for (int pr = 0; pr + 2 < h; pr += 2)
        for (int pc = 0; pc + 2 < w; pc += 2) {
            std::vector<float> pts(static_cast<size_t>((n + 1) * (n + 1) * 3));
            for (int i = 0; i <= n; ++i)
                for (int j = 0; j <= n; ++j) {
                    double s = static_cast<double>(j) / n, t = static_cast<double>(i) / n;
                    double ws[3] = {(1 - s) * (1 - s), 2 * s * (1 - s), s * s}, wt[3] = {(1 - t) * (1 - t), 2 * t * (1 - t), t * t};
                    for (int k = 0; k < 3; ++k) {
                        double v = 0;
                        for (int r = 0; r < 3; ++r)
                            for (int c = 0; c < 3; ++c) v += cp[(pr + r) * w + pc + c].position[k] * ws[c] * wt[r];
                        pts[static_cast<size_t>((i * (n + 1) + j) * 3 + k)] = static_cast<float>(v);
                    }
                }
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < n; ++j) {
                    const float* a = &pts[static_cast<size_t>((i * (n + 1) + j) * 3)];
                    const float* b = a + 3;
                    const float* c = a + (n + 1) * 3;
                    const float* d = c + 3;
                    area += triangleArea(a, b, d) + triangleArea(a, d, c);
                }
        }
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

double drawnArea(const RawLevel& l)
{
    double area = 0;
    for (int i = 0; i < l.counts[bsp::LumpFaces]; ++i) area += faceArea(l, l.faces[i]);
    return area;
}

// Area and face count per shader and face kind.
struct KindArea {
    double area[2] = {0, 0};  // ours, reference
    int faces[2] = {0, 0};
};

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

// Prints the shaders and kinds whose area differs most, largest first.
void printKinds(const RawLevel& mine, const RawLevel& ref, double scale)
{
    std::map<std::string, KindArea> kinds;
    addKinds(mine, 0, scale * scale, kinds);
    addKinds(ref, 1, 1.0, kinds);
    std::vector<std::pair<std::string, KindArea>> rows(kinds.begin(), kinds.end());
    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        return std::fabs(a.second.area[0] - a.second.area[1]) > std::fabs(b.second.area[0] - b.second.area[1]);
    });
    double total[2] = {drawnArea(mine) * scale * scale, drawnArea(ref)};
    std::printf("  %-60s %12s %12s %7s %13s\n", "shader kind", "area ours", "area ref", "ratio", "faces o/r");
    for (size_t i = 0; i < rows.size() && i < 40; ++i) {
        const KindArea& k = rows[i].second;
        if (std::fabs(k.area[0] - k.area[1]) < 0.001 * total[1]) break;
        std::printf("  %-60s %12.0f %12.0f %7.3f %6d/%-6d\n", rows[i].first.c_str(), k.area[0], k.area[1],
                    k.area[1] > 0 ? k.area[0] / k.area[1] : 0.0, k.faces[0], k.faces[1]);
    }
    std::printf("  %-60s %12.0f %12.0f %7.3f\n", "all", total[0], total[1], total[0] / std::max(total[1], 1.0));
}

// Lightmap pages as r g b rows, top row first.
struct LightPages {
    int size = 0;  // pages are size x size
    std::vector<std::vector<uint8_t>> pages;
};

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

// The reference compiles keep their lightmaps beside the level, as
// maps/NAME/lm_NNNN.tga (uncompressed, square); page i is file i.
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

// Mean stored lightmap brightness over the lightmapped polygons, weighted
// by area: each triangle sampled at its middle; -1 without any.
double meanLightmap(const RawLevel& l, const LightPages& lp)
{
    double sum = 0, weight = 0;
    for (int i = 0; i < l.counts[bsp::LumpFaces]; ++i) {
        const bsp::BspFace& f = l.faces[i];
        if (f.type != bsp::FacePolygon || f.lightmap < 0 || f.lightmap >= static_cast<int>(lp.pages.size())) continue;
        const std::vector<uint8_t>& page = lp.pages[static_cast<size_t>(f.lightmap)];
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
            int x = std::clamp(static_cast<int>(s * lp.size), 0, lp.size - 1);
            int y = std::clamp(static_cast<int>(t * lp.size), 0, lp.size - 1);
            const uint8_t* texel = page.data() + (static_cast<size_t>(y) * lp.size + x) * 3;
            sum += area * (texel[0] + texel[1] + texel[2]) / 3.0;
            weight += area;
        }
    }
    return weight > 0 ? sum / weight : -1.0;
}

// Origins of the spawn points ("info_player_*") in the entity text.
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

// The worldspawn's "_farplanedist" (how far a fogged level's sight
// reaches), 0 when it has none.
double farPlaneOf(const std::string& text)
{
    size_t at = text.find("\"_farplanedist\"");
    size_t end = text.find('}');
    if (at == std::string::npos || at > end) return 0.0;
    double far = 0.0;
    return std::sscanf(text.c_str() + at + 15, " \"%lf\"", &far) == 1 && far > 0.0 ? far : 0.0;
}

// Spheres of radius 20 at the spawn points that overlap a solid brush.
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

// Leaves the segment passes, nearest first, up to the first leaf without a
// cluster (solid or beyond the level).
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

// Ratio of the reference's spawn point coordinates to ours (1 unless the
// reference was compiled scaled).
double levelScale(const RawLevel& mine, const RawLevel& ref)
{
    auto a = spawnPoints(mine.entities), b = spawnPoints(ref.entities);
    std::vector<double> ratios;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        for (int k = 0; k < 3; ++k)
            if (std::fabs(a[i][k]) > 64) ratios.push_back(b[i][k] / a[i][k]);
    if (ratios.empty()) return 1.0;
    std::sort(ratios.begin(), ratios.end());
    double s = ratios[ratios.size() / 2];
    return std::fabs(s - 1.0) < 0.01 || s <= 0 ? 1.0 : s;
}

struct Figures {
    bool compiled = false;
    bool flowCut = false;  // the portal flow ran out of budget
    double seconds = 0, peakMb = 0;
    int brushes = 0, faces = 0, leaves = 0, clusters = 0, portals = 0;
};

// Compiles in a child so time and memory are this compile's alone.
Figures compileChild(const std::string& source, const std::string& output, const std::string& base, bool facesOnly,
                     bool lightOnly)
{
    Figures fig;
    auto start = std::chrono::steady_clock::now();
    std::fflush(nullptr);
    int pipeEnds[2] = {-1, -1};
    if (pipe(pipeEnds) != 0) return fig;
    pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        if (!std::freopen("/dev/null", "w", stderr)) _exit(3);
        FileSystem files;
        files.setReporter([](void*, bool, const char*) {}, nullptr);
        files.addFolder(base.c_str());
        files.addArchives(kGameData);  // the textures' images
        mapc::CompileOptions options;
        options.files = &files;
        if (facesOnly) options.visSeconds = options.lightSeconds = 0;
        if (lightOnly) options.visSeconds = 0;
        mapc::Diagnostics diag(false);
        mapc::CompileStats stats;
        if (!mapc::compileMapFile(source.c_str(), output.c_str(), diag, &stats, options)) _exit(1);
        if (write(pipeEnds[1], &stats.portals, sizeof(stats.portals)) != sizeof(stats.portals)) _exit(1);
        _exit(stats.visCutShort ? 4 : 0);
    }
    close(pipeEnds[1]);
    if (read(pipeEnds[0], &fig.portals, sizeof(fig.portals)) != sizeof(fig.portals)) fig.portals = -1;
    close(pipeEnds[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    fig.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    fig.peakMb = usage.ru_maxrss / 1024.0;
    fig.compiled = WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 4);
    fig.flowCut = WIFEXITED(status) && WEXITSTATUS(status) == 4;
    return fig;
}

void countsOf(const RawLevel& l, Figures& f)
{
    f.brushes = l.counts[bsp::LumpBrushes];
    f.faces = l.counts[bsp::LumpFaces];
    f.leaves = l.counts[bsp::LumpLeaves];
    f.clusters = l.clusters;
}

// Mean percentage of the clusters visible from a cluster (100 without rows).
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

// The clusters a player can be in, ours and the reference's: those holding
// open space our compile reached by its flood from the entities (the only
// leaves it gives clusters). Found by sample points: some in each of our
// open leaves and the random ones of the solid check; each marks our
// cluster and the reference's at that point. The reference's clusters in
// the void outside the walls, which no one sees from, are left out.
struct InsideClusters {
    std::vector<char> ours, ref;

    InsideClusters(const RawLevel& mine, const RawLevel& reference)
        : ours(static_cast<size_t>(std::max(mine.clusters, 0)), 0),
          ref(static_cast<size_t>(std::max(reference.clusters, 0)), 0)
    {
    }

    // Marks the clusters at p (ours) and p * scale (reference's) when p is
    // open space inside our level; false otherwise.
    bool mark(const RawLevel& mine, const RawLevel& reference, double scale, const double p[3])
    {
        const int c = mine.leaves[mine.leafAt(p)].cluster;
        if (c < 0 || c >= static_cast<int>(ours.size()) || mine.inSolid(p)) return false;
        ours[static_cast<size_t>(c)] = 1;
        const double q[3] = {p[0] * scale, p[1] * scale, p[2] * scale};
        const int rc = reference.leaves[reference.leafAt(q)].cluster;
        if (rc >= 0 && rc < static_cast<int>(ref.size()) && !reference.inSolid(q)) ref[static_cast<size_t>(rc)] = 1;
        return true;
    }

    // Up to 64 points in the box of each of our open leaves (the middle
    // first) until one lies in the leaf's open space; slivers too thin for
    // a player are mostly missed.
    void sampleLeaves(const RawLevel& mine, const RawLevel& reference, double scale)
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
};

// Mean percentage of the inside clusters visible from an inside cluster
// (100 without rows).
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

} // namespace

int main(int argc, char** argv)
{
    // --kinds: also the area per shader and face kind, compiled with no
    // time for light and flow (the faces do not depend on them).
    const bool kinds = argc > 1 && std::strcmp(argv[1], "--kinds") == 0;
    argv += kinds;
    argc -= kinds;
    const bool lightOnly = argc > 1 && std::strcmp(argv[1], "--light") == 0;
    argv += lightOnly;
    argc -= lightOnly;
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_mapc_compare [--kinds] [--light] MAPS_DIR OUT_DIR NAME...\n");
        return 2;
    }
    std::string maps = argv[1], outDir = argv[2];
    std::printf("%-12s %15s %13s %13s %11s %7s %7s %7s %7s %7s %9s %9s %11s %11s %5s %6s %6s %7s\n", "level", "brushes",
                "faces", "leaves", "clusters", "secs", "peakMB", "valid", "solid%", "area", "spawns", "vis-fail", "vis %",
                "inside %", "flow", "scale", "light", "portals");
    std::printf("%-12s %15s %13s %13s %11s %7s %7s %7s %7s %7s %9s %9s %11s %11s %5s %6s %6s %7s\n", "", "ours/ref",
                "ours/ref", "ours/ref", "ours/ref", "", "", "game", "agree", "ratio", "bad o/r", "of 10000", "ours/ref",
                "ours/ref", "", "ref", "ratio", "ours");
    FileSystem refFiles;
    refFiles.setReporter([](void*, bool, const char*) {}, nullptr);
    refFiles.addArchives(kGameData);
    int failures = 0;
    for (int a = 3; a < argc; ++a) {
        std::string name = argv[a];
        std::string ourPath = outDir + "/" + name + ".bsp";
        Figures ours = compileChild(maps + "/" + name + ".map", ourPath, maps + "/..", kinds, lightOnly);
        RawLevel mine, ref;
        if (!ours.compiled || !mine.load(ourPath) || !ref.load(maps + "/" + name + ".bsp")) {
            std::printf("%-12s compile or read FAILED\n", name.c_str());
            ++failures;
            continue;
        }
        Figures theirs;
        countsOf(mine, ours);
        countsOf(ref, theirs);

        // The game's own reader and validation.
        BspData data;
        char problem[256] = "";
        bool valid = readBspFile(ourPath.c_str(), data, problem, sizeof(problem)) == BspReadError::None &&
                     validateLevel(data, problem, sizeof(problem));

        // Some references were compiled scaled up (the compiler's -scale);
        // their spawn points tell by how much.
        double scale = levelScale(mine, ref);
        std::mt19937 rng(1234);
        const bsp::BspModel& world = ref.models[0];
        std::uniform_real_distribution<double> ux(world.mins[0] / scale, world.maxs[0] / scale),
            uy(world.mins[1] / scale, world.maxs[1] / scale), uz(world.mins[2] / scale, world.maxs[2] / scale);
        int agree = 0;
        const int points = 100000;
        InsideClusters inside(mine, ref);
        for (int i = 0; i < points; ++i) {
            double p[3] = {ux(rng), uy(rng), uz(rng)};
            double q[3] = {p[0] * scale, p[1] * scale, p[2] * scale};
            agree += mine.inSolid(p) == ref.inSolid(q);
            inside.mark(mine, ref, scale, p);
        }
        inside.sampleLeaves(mine, ref, scale);
        double areaRatio = drawnArea(mine) * scale * scale / std::max(drawnArea(ref), 1.0);
        double ourLight = meanLightmap(mine, internalPages(mine));
        double refLight = meanLightmap(ref, externalPages(refFiles, name));
        double lightRatio = ourLight >= 0 && refLight > 0 ? ourLight / refLight : 0.0;
        int badOurs = spawnsInSolid(mine, spawnPoints(mine.entities));
        int badRef = spawnsInSolid(ref, spawnPoints(ref.entities));

        // Sight lines from random open points: every leaf a line reaches
        // must be in the source's visible set (up to the far plane on a
        // fogged level).
        const double sight = farPlaneOf(mine.entities) > 0 ? farPlaneOf(mine.entities) : 65536.0;
        int visFail = 0, lines = 0;
        std::normal_distribution<double> gauss;
        for (int tries = 0; lines < 10000 && tries < 1000000; ++tries) {
            double p[3] = {ux(rng), uy(rng), uz(rng)};
            int from = mine.leaves[mine.leafAt(p)].cluster;
            if (from < 0 || mine.inSolid(p)) continue;
            double d[3] = {gauss(rng), gauss(rng), gauss(rng)};
            double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            if (len < 1e-9) continue;
            double q[3];
            for (int i = 0; i < 3; ++i) q[i] = p[i] + d[i] / len * sight;
            std::vector<int> reached;
            walkSegment(mine, 0, p, q, reached);
            ++lines;
            for (int leaf : reached)
                if (!mine.sees(from, mine.leaves[leaf].cluster)) { ++visFail; break; }
        }
        double solidPct = 100.0 * agree / points;
        bool ok = valid && solidPct >= 99.0 && std::fabs(areaRatio - 1.0) <= 0.10 && badOurs == 0 && visFail == 0 &&
                  ours.seconds < 60.0;
        failures += !ok;
        std::printf("%-12s %7d/%-7d %6d/%-6d %6d/%-6d %5d/%-5d %7.1f %7.0f %7s %7.2f %7.3f %4d/%-4d %9d %5.1f/%-5.1f %5.1f/%-5.1f %5s %6.3g %6.2f %7d%s\n",
                    name.c_str(), ours.brushes, theirs.brushes, ours.faces, theirs.faces, ours.leaves, theirs.leaves,
                    ours.clusters, theirs.clusters, ours.seconds, ours.peakMb, valid ? "yes" : "NO", solidPct,
                    areaRatio, badOurs, badRef, visFail, visiblePercent(mine), visiblePercent(ref),
                    insideVisiblePercent(mine, inside.ours), insideVisiblePercent(ref, inside.ref),
                    ours.flowCut ? "cut" : "done", scale, lightRatio, ours.portals, ok ? "" : "  <- misses");
        if (!valid) std::printf("             game refuses it: %s\n", problem);
        if (kinds) printKinds(mine, ref, scale);
        std::fflush(stdout);
    }
    std::printf("%d level(s) miss a target\n", failures);
    return 0;
}
