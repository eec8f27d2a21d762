#pragma once
#include <cstdio>
#include <string>
#include <vector>
#include "BspWriter.h"
#include "Compiler.h"
#include "world/BspData.h"
#include "world/LevelValidation.h"
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

inline std::string entity(const std::string& body) { return "{\n" + body + "}\n"; }

inline std::string pointEntity(const char* cls, double x, double y, double z, const std::string& extra = "")
{
    char line[160];
    std::snprintf(line, sizeof(line), "\"classname\" \"%s\"\n\"origin\" \"%g %g %g\"\n", cls, x, y, z);
    return entity(line + extra);
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

inline void compile(const std::string& source, Compiled& c)
{
    c.compiled = mapc::compileMapText(source, c.lumps, c.diag, &c.stats);
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

} // namespace mapctest
