#pragma once
#include <array>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>
#include "BspWriter.h"
#include "Compiler.h"
#include "resources/FileSystem.h"
#include "world/BspData.h"
#include "world/Collision.h"
#include "world/LevelValidation.h"
#include "world/Overbright.h"
#include "world/Vector3.h"

// Small brush sources written in code, compiled in-process and read back with
// the game's own reader and validation.
namespace mapctest {

struct Box {
    int x1, y1, z1, x2, y2, z2;
};

// One brush side line; the outward normal is (p0 - p1) x (p2 - p1) with
// p0 = p1 + u and p2 = p1 + v.
inline std::string sideLine(const int p1[3], const int u[3], const int v[3], const char* tex)
{
    char line[256];
    std::snprintf(line, sizeof(line), "( %d %d %d ) ( %d %d %d ) ( %d %d %d ) %s 0 0 0 1 1\n", p1[0] + u[0],
                  p1[1] + u[1], p1[2] + u[2], p1[0], p1[1], p1[2], p1[0] + v[0], p1[1] + v[1], p1[2] + v[2], tex);
    return line;
}

inline std::string brush(const Box& b, const char* tex = "halvex/wall")
{
    const int X[3] = {1, 0, 0}, Y[3] = {0, 1, 0}, Z[3] = {0, 0, 1};
    const int lo[3] = {b.x1, b.y1, b.z1};
    const int top[3] = {b.x1, b.y1, b.z2}, east[3] = {b.x2, b.y1, b.z1}, north[3] = {b.x1, b.y2, b.z1};
    return "{\n" + sideLine(top, X, Y, tex) + sideLine(lo, Y, X, tex) + sideLine(east, Y, Z, tex) +
           sideLine(lo, Z, Y, tex) + sideLine(north, Z, X, tex) + sideLine(lo, X, Z, tex) + "}\n";
}

// Six 16-unit slabs around the air box.
inline std::string hollowRoom(const Box& a, const char* tex = "halvex/wall")
{
    const int t = 16;
    return brush({a.x1 - t, a.y1 - t, a.z1 - t, a.x2 + t, a.y2 + t, a.z1}, "halvex/floor") +
           brush({a.x1 - t, a.y1 - t, a.z2, a.x2 + t, a.y2 + t, a.z2 + t}, tex) +
           brush({a.x1 - t, a.y1 - t, a.z1, a.x1, a.y2 + t, a.z2}, tex) +
           brush({a.x2, a.y1 - t, a.z1, a.x2 + t, a.y2 + t, a.z2}, tex) +
           brush({a.x1, a.y1 - t, a.z1, a.x2, a.y1, a.z2}, tex) +
           brush({a.x1, a.y2, a.z1, a.x2, a.y2 + t, a.z2}, tex);
}

// Solid slabs around every air box, with the other air boxes cut out of them:
// overlapping air boxes become doorways.
inline std::string carvedRooms(const std::vector<Box>& air)
{
    const int t = 16;
    auto overlaps = [](const Box& a, const Box& b) {
        return a.x1 < b.x2 && b.x1 < a.x2 && a.y1 < b.y2 && b.y1 < a.y2 && a.z1 < b.z2 && b.z1 < a.z2;
    };
    auto subtract = [&](Box s, const Box& h, std::vector<Box>& out) {
        if (!overlaps(s, h)) { out.push_back(s); return; }
        int* lo[3] = {&s.x1, &s.y1, &s.z1};
        int* hi[3] = {&s.x2, &s.y2, &s.z2};
        const int hlo[3] = {h.x1, h.y1, h.z1}, hhi[3] = {h.x2, h.y2, h.z2};
        for (int i = 0; i < 3; ++i) {
            if (*lo[i] < hlo[i]) { Box p = s; int* phi[3] = {&p.x2, &p.y2, &p.z2}; *phi[i] = hlo[i]; out.push_back(p); *lo[i] = hlo[i]; }
            if (*hi[i] > hhi[i]) { Box p = s; int* plo[3] = {&p.x1, &p.y1, &p.z1}; *plo[i] = hhi[i]; out.push_back(p); *hi[i] = hhi[i]; }
        }
    };
    std::string text;
    for (const Box& a : air) {
        Box slabs[6] = {{a.x1 - t, a.y1 - t, a.z1 - t, a.x2 + t, a.y2 + t, a.z1},
                        {a.x1 - t, a.y1 - t, a.z2, a.x2 + t, a.y2 + t, a.z2 + t},
                        {a.x1 - t, a.y1 - t, a.z1, a.x1, a.y2 + t, a.z2},
                        {a.x2, a.y1 - t, a.z1, a.x2 + t, a.y2 + t, a.z2},
                        {a.x1, a.y1 - t, a.z1, a.x2, a.y1, a.z2},
                        {a.x1, a.y2, a.z1, a.x2, a.y2 + t, a.z2}};
        for (int k = 0; k < 6; ++k) {
            std::vector<Box> parts{slabs[k]};
            for (const Box& h : air) {
                std::vector<Box> next;
                for (const Box& p : parts) subtract(p, h, next);
                parts.swap(next);
            }
            for (const Box& p : parts) text += brush(p, k == 0 ? "halvex/floor" : "halvex/wall");
        }
    }
    return text;
}

inline std::string entity(const std::string& body) { return "{\n" + body + "}\n"; }

// The worldspawn entity holding the given brushes.
inline std::string world(const std::string& brushes) { return entity("\"classname\" \"worldspawn\"\n" + brushes); }

// The same brush text with the three trailing numbers on every side line.
inline std::string withFlags(const std::string& brushText, const char* flags)
{
    std::string out;
    size_t at = 0;
    while (at < brushText.size()) {
        size_t end = brushText.find('\n', at);
        if (end == std::string::npos) end = brushText.size();
        std::string line = brushText.substr(at, end - at);
        if (line.compare(0, 2, "( ") == 0) line += std::string(" ") + flags;
        out += line + "\n";
        at = end + 1;
    }
    return out;
}

// A classic brush rewritten as a brushDef with a 1/128 texture matrix.
inline std::string asBrushDef(const std::string& classic)
{
    std::string out = "{\nbrushDef\n{\n";
    size_t at = 0;
    while (at < classic.size()) {
        size_t end = classic.find('\n', at);
        if (end == std::string::npos) end = classic.size();
        std::string line = classic.substr(at, end - at);
        at = end + 1;
        if (line.compare(0, 2, "( ") != 0) continue;
        size_t close = line.rfind(')');
        std::string texture = line.substr(close + 2, line.find(' ', close + 2) - close - 2);
        out += line.substr(0, close + 1) + " ( ( 0.0078125 0 0 ) ( 0 0.0078125 0 ) ) " + texture + " 0 0 0\n";
    }
    return out + "}\n}\n";
}

// A patchDef2 arch of 3 x 5 control points across y from y1 to y2 at
// x from x1 to x1 + 64, rising from z to z + 64.
inline std::string patchArch(int x1, int y1, int y2, int z, int width = 3, int height = 5)
{
    std::string text = "{\npatchDef2\n{\nhalvex/metal\n( " + std::to_string(width) + " " + std::to_string(height) +
                       " 0 0 0 )\n(\n";
    const int ys[5] = {y1, y1, (y1 + y2) / 2, y2, y2}, zs[5] = {z, z + 64, z + 64, z + 64, z};
    char point[128];
    for (int c = 0; c < width; ++c) {
        text += "( ";
        for (int r = 0; r < height; ++r) {
            std::snprintf(point, sizeof(point), "( %d %d %d %g %g ) ", x1 + 32 * c, ys[r % 5], zs[r % 5], c * 0.5,
                          r * 0.25);
            text += point;
        }
        text += ")\n";
    }
    return text + ")\n}\n}\n";
}

inline std::string pointEntity(const char* cls, double x, double y, double z, const std::string& extra = "")
{
    char line[160];
    std::snprintf(line, sizeof(line), "\"classname\" \"%s\"\n\"origin\" \"%g %g %g\"\n", cls, x, y, z);
    return entity(line + extra);
}

// A closed 512 x 512 x 256 room with a player start and one light.
inline std::string boxRoom()
{
    return world(hollowRoom({0, 0, 0, 512, 512, 256})) + pointEntity("info_player_start", 100, 100, 64) +
           pointEntity("light", 256, 256, 200, "\"light\" \"1000\"\n");
}

// A compiled level read back through the game's reader.
struct Compiled {
    bool compiled = false;
    bool read = false;
    bool valid = false;
    char problem[256] = "";
    mapc::Diagnostics diag{false};
    mapc::CompileStats stats;
    mapc::LevelLumps lumps;  // file frame, z-up
    BspData data;            // as the game holds it, y-up
};

inline void compile(const std::string& source, Compiled& c,
                    const mapc::CompileOptions& options = mapc::CompileOptions())
{
    c.compiled = mapc::compileMapText(source, c.lumps, c.diag, &c.stats, options);
    if (!c.compiled) return;
    std::vector<uint8_t> image = mapc::serializeLevel(c.lumps);
    c.read = readBspBuffer(image.data(), image.size(), c.data, c.problem, sizeof(c.problem)) == BspReadError::None;
    if (c.read) c.valid = validateLevel(c.data, c.problem, sizeof(c.problem));
}

// Leaf of a file-frame point, walking the game's converted tree.
inline int leafAt(const BspData& d, double x, double y, double z)
{
    Vector3 p = fromFileFrame(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
    int node = 0;
    for (int guard = 0; guard < 100000 && node >= 0; ++guard) {
        const bsp::BspNode& n = d.nodes[node];
        const bsp::BspPlane& pl = d.planes[n.plane];
        float dist = pl.normal[0] * p.x + pl.normal[1] * p.y + pl.normal[2] * p.z - pl.distance;
        node = dist >= 0 ? n.children[0] : n.children[1];
    }
    return ~node;
}

inline int clusterAt(const BspData& d, double x, double y, double z)
{
    return d.leaves[leafAt(d, x, y, z)].cluster;
}

inline bool clusterSees(const BspData& d, int from, int to)
{
    if (!d.visBits || from < 0) return true;
    return (d.visBits[from * d.visBytesPerCluster + (to >> 3)] >> (to & 7)) & 1;
}

// Lightmap texel of the floor at file point (x, y, 0) as the game shows it:
// brightened by the overbright factor the compiler stores light for (or as
// stored, when `shown` is false). All -1 when no floor face holds the point.
inline std::array<int, 3> floorLuxel(const mapc::LevelLumps& l, double x, double y, bool shown = true, double z = 0)
{
    for (const bsp::BspFace& f : l.faces) {
        if (f.normal[2] < 0.99f || std::fabs(f.lightmapOrigin[2] - z) > 0.01f) continue;
        double i = (x - f.lightmapOrigin[0]) / f.lightmapVecs[0][0];
        double j = (y - f.lightmapOrigin[1]) / f.lightmapVecs[1][1];
        int ii = static_cast<int>(std::lround(i)), jj = static_cast<int>(std::lround(j));
        if (ii < 0 || jj < 0 || ii >= f.lightmapSize[0] || jj >= f.lightmapSize[1]) continue;
        size_t at = static_cast<size_t>(f.lightmap) * bsp::kLightmapBytes +
                    (static_cast<size_t>(f.lightmapCorner[1] + jj) * bsp::kLightmapSize + f.lightmapCorner[0] + ii) * 3;
        uint8_t texel[3] = {l.lightmaps[at], l.lightmaps[at + 1], l.lightmaps[at + 2]};
        if (shown) brightenColour(texel, kDefaultOverbright);
        return {texel[0], texel[1], texel[2]};
    }
    return {-1, -1, -1};
}

// Drawn area of a polygon or mesh face: the sum of its triangles.
inline double faceArea(const mapc::LevelLumps& l, const bsp::BspFace& f)
{
    double area = 0;
    for (int k = 0; k + 2 < f.meshVertexCount; k += 3) {
        const float* p[3];
        for (int j = 0; j < 3; ++j)
            p[j] = l.vertices[static_cast<size_t>(f.firstVertex + l.meshVertices[static_cast<size_t>(f.firstMeshVertex + k + j)])].position;
        Vector3 u(p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]);
        Vector3 v(p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]);
        area += u.cross(v).length() / 2;
    }
    return area;
}

// Collision view of the game's converted level, for the game's own traces.
inline CollisionLevel collisionOf(const BspData& d)
{
    CollisionLevel c;
    c.planes = d.planes;
    c.nodes = d.nodes;
    c.leaves = d.leaves;
    c.leafBrushes = d.leafBrushes;
    c.brushes = d.brushes;
    c.brushSides = d.brushSides;
    c.textures = d.textures;
    c.planeCount = d.planeCount;
    c.nodeCount = d.nodeCount;
    c.leafCount = d.leafCount;
    c.leafBrushCount = d.leafBrushCount;
    c.brushCount = d.brushCount;
    c.brushSideCount = d.brushSideCount;
    c.textureCount = d.textureCount;
    return c;
}

// File-frame point strictly inside a brush of the compiled lumps.
inline bool insideAnyBrush(const mapc::LevelLumps& l, const double p[3], double margin)
{
    for (const bsp::BspBrush& b : l.brushes) {
        bool inside = true;
        for (int s = 0; s < b.sideCount && inside; ++s) {
            const bsp::BspPlane& pl = l.planes[l.brushSides[b.firstSide + s].plane];
            double d = pl.normal[0] * p[0] + pl.normal[1] * p[1] + pl.normal[2] * p[2] - pl.distance;
            if (d > -margin) inside = false;
        }
        if (inside) return true;
    }
    return false;
}

// True when the file-frame segment crosses no brush's interior.
inline bool lineOfSight(const mapc::LevelLumps& l, const double a[3], const double b[3])
{
    for (const bsp::BspBrush& br : l.brushes) {
        double enter = 0.0, leave = 1.0;
        for (int s = 0; s < br.sideCount && enter < leave; ++s) {
            const bsp::BspPlane& pl = l.planes[l.brushSides[br.firstSide + s].plane];
            double da = pl.normal[0] * a[0] + pl.normal[1] * a[1] + pl.normal[2] * a[2] - pl.distance;
            double db = pl.normal[0] * b[0] + pl.normal[1] * b[1] + pl.normal[2] * b[2] - pl.distance;
            if (da >= 0 && db >= 0) { enter = 2; break; }
            if (da < 0 && db < 0) continue;
            double f = da / (da - db);
            if (da > db) enter = std::max(enter, f); else leave = std::min(leave, f);
        }
        if (enter < leave - 1e-6) return false;
    }
    return true;
}

// Model files for misc_model: a 10 x 10 square at z = 0 facing up (ASE,
// counter-clockwise as exported) and the triangle (0 0 0) (0 64 0) (64 0 0)
// facing up (MD3, clockwise, 1/64 units), with their texture names.
// An ASE model of one material: the points and three indices per triangle
// (counter-clockwise seen from the front, as the format has it), each
// point's texture coordinate its x and y over 10.
inline std::string aseMesh(const char* bitmap, const std::vector<std::array<double, 3>>& points,
                           const std::vector<int>& triangles)
{
    std::string text = std::string("*3DSMAX_ASCIIEXPORT 200\n*MATERIAL_LIST {\n*MATERIAL_COUNT 1\n*MATERIAL 0 {\n") +
                       "*MATERIAL_NAME \"mesh\"\n*MAP_DIFFUSE {\n*BITMAP \"" + bitmap + "\"\n}\n}\n}\n" +
                       "*GEOMOBJECT {\n*NODE_NAME \"mesh\"\n*MESH {\n*MESH_NUMVERTEX " + std::to_string(points.size()) +
                       "\n*MESH_NUMFACES " + std::to_string(triangles.size() / 3) + "\n*MESH_VERTEX_LIST {\n";
    char line[200];
    for (size_t i = 0; i < points.size(); ++i) {
        std::snprintf(line, sizeof(line), "*MESH_VERTEX %zu %g %g %g\n", i, points[i][0], points[i][1], points[i][2]);
        text += line;
    }
    text += "}\n*MESH_FACE_LIST {\n";
    for (size_t t = 0; t + 2 < triangles.size(); t += 3) {
        std::snprintf(line, sizeof(line), "*MESH_FACE %zu: A: %d B: %d C: %d AB: 1 BC: 1 CA: 0 *MESH_SMOOTHING 1 *MESH_MTLID 0\n",
                      t / 3, triangles[t], triangles[t + 1], triangles[t + 2]);
        text += line;
    }
    text += "}\n*MESH_NUMTVERTEX " + std::to_string(points.size()) + "\n*MESH_TVERTLIST {\n";
    for (size_t i = 0; i < points.size(); ++i) {
        std::snprintf(line, sizeof(line), "*MESH_TVERT %zu %g %g 0\n", i, points[i][0] / 10, points[i][1] / 10);
        text += line;
    }
    text += "}\n*MESH_NUMTVFACES " + std::to_string(triangles.size() / 3) + "\n*MESH_TFACELIST {\n";
    for (size_t t = 0; t + 2 < triangles.size(); t += 3) {
        std::snprintf(line, sizeof(line), "*MESH_TFACE %zu %d %d %d\n", t / 3, triangles[t], triangles[t + 1], triangles[t + 2]);
        text += line;
    }
    return text + "}\n}\n*MATERIAL_REF 0\n}\n";
}

inline std::string aseSquare(const char* bitmap)
{
    return aseMesh(bitmap, {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}}, {0, 1, 2, 0, 2, 3});
}

inline std::vector<unsigned char> md3Triangle(const char* shader)
{
    std::vector<unsigned char> b(108 + 236, 0);
    auto put = [&b](size_t at, int32_t v) {
        for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<unsigned char>(static_cast<uint32_t>(v) >> (8 * i));
    };
    auto put16 = [&b](size_t at, int v) {
        b[at] = static_cast<unsigned char>(v & 0xff);
        b[at + 1] = static_cast<unsigned char>((v >> 8) & 0xff);
    };
    std::memcpy(b.data(), "IDP3", 4);
    put(4, 15);
    put(76, 1);     // frames
    put(84, 1);     // surfaces
    put(100, 108);  // first surface
    put(104, static_cast<int32_t>(b.size()));
    const size_t s = 108;
    std::memcpy(b.data() + s, "IDP3", 4);
    put(s + 72, 1);    // frames
    put(s + 76, 1);    // shaders
    put(s + 80, 3);    // vertices
    put(s + 84, 1);    // triangles
    put(s + 88, 176);  // triangles at
    put(s + 92, 108);  // shaders at
    put(s + 96, 188);  // texture coordinates at
    put(s + 100, 212); // positions at
    put(s + 104, 236); // end
    std::snprintf(reinterpret_cast<char*>(b.data() + s + 108), 64, "%s", shader);
    put(s + 176, 0);
    put(s + 180, 1);
    put(s + 184, 2);
    const float st[6] = {0, 0, 0, 1, 1, 0};
    std::memcpy(b.data() + s + 188, st, sizeof(st));
    const int xyz[3][3] = {{0, 0, 0}, {0, 4096, 0}, {4096, 0, 0}};
    for (int v = 0; v < 3; ++v)
        for (int k = 0; k < 3; ++k) put16(s + 212 + static_cast<size_t>(v) * 8 + static_cast<size_t>(k) * 2, xyz[v][k]);
    return b;
}

inline void writeBytes(const std::string& path, const std::string& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

// A folder of its own under /tmp as a compile's search path (shader
// scripts, pictures, models), removed with it.
struct SearchFolder {
    std::string root;
    FileSystem files;
    mapc::CompileOptions options;  // reading from the folder

    SearchFolder()
    {
        char dir[] = "/tmp/mapc_testXXXXXX";
        if (!mkdtemp(dir)) return;
        root = dir;
        files.setReporter([](void*, bool, const char*) {}, nullptr);
        files.addFolder(root.c_str());
        options.files = &files;
    }
    ~SearchFolder()
    {
        if (!root.empty()) std::filesystem::remove_all(root);
    }
    // A file at `path` below the folder, with the folders on its way.
    void write(const std::string& path, const std::string& bytes) const
    {
        std::filesystem::create_directories(std::filesystem::path(root + "/" + path).parent_path());
        writeBytes(root + "/" + path, bytes);
    }
};

} // namespace mapctest
