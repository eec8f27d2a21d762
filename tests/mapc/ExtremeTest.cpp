// Hand-made extreme sources, each on its own so a failure names it: huge
// brace runs and tokens, very many brushes and sides, a tree too deep for
// the game, a costly visibility flow, a huge level, hostile numbers and
// counts. The compiles that could crash run in a child process (see
// FuzzSupport.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "FuzzSupport.h"

using namespace mapctest;
using mapc::Vec3;

// The hand-made extremes, each on its own so a failure names it.
TEST(MapcFuzz, ExtremeSources)
{
    std::string room = ambientWorld(hollowRoom({0, 0, 0, 256, 256, 128})) + pointEntity("info_player_start", 64, 64, 32);
    std::vector<std::string> cases;
    cases.push_back(std::string(2 << 20, '{'));
    cases.push_back(std::string(2 << 20, '}'));
    cases.push_back(std::string(1 << 20, '('));
    cases.push_back("{\n\"classname\" \"worldspawn\"\n" + std::string(200000, '{'));
    cases.push_back("{\n\"classname\" \"worldspawn\"\n{\n" + std::string(200000, '(') + "\n}\n}\n");
    cases.push_back(std::string(3 << 20, 'x'));
    cases.push_back("\"" + std::string(3 << 20, 'x') + "\"");
    cases.push_back(std::string(1 << 20, '\n') + "junk");
    cases.push_back(std::string(100000, '/') + "\n" + room);
    {
        std::string s;
        for (int i = 0; i < 2000; ++i) s += "{\n\"classname\" \"light\"\n}\n";
        cases.push_back(room + s);
    }
    {
        // Thousands of small brushes in one room.
        std::string blocks;
        for (int i = 0; i < 24; ++i)
            for (int j = 0; j < 24; ++j) blocks += brush({i * 10, j * 10, 0, i * 10 + 4, j * 10 + 4, 4});
        cases.push_back(ambientWorld(hollowRoom({0, 0, 0, 256, 256, 128}) + blocks) +
                        pointEntity("info_player_start", 64, 64, 32));
    }
    cases.push_back(ambientWorld(hollowRoom({0, 0, 0, 256, 256, 128}) + ball(128, 128, 128, 64, 40)) +
                    pointEntity("info_player_start", 20, 20, 20));
    cases.push_back(ambientWorld(hollowRoom({-60000, -60000, -60000, 60000, 60000, 60000})) +
                    pointEntity("info_player_start", 0, 0, 0));
    cases.push_back(ambientWorld(hollowRoom({0, 0, 0, 256, 256, 128})));  // nobody inside: leaks
    cases.push_back(ambientWorld(brush({0, 0, 0, 64, 64, 64})) + pointEntity("info_player_start", 32, 32, 32));
    // Editor forms at their limits: patches of zero, even and huge sides, a
    // patch with wild points, a 1 MB value, the whole file on one line,
    // binary junk after a good level, a brushDef with a broken matrix.
    const std::string header = "{\n\"classname\" \"worldspawn\"\n" + hollowRoom({0, 0, 0, 256, 256, 128});
    const std::string spawn = pointEntity("info_player_start", 64, 64, 32);
    cases.push_back(header + "{\npatchDef2\n{\nt\n( 0 0 0 0 0 )\n(\n)\n}\n}\n}\n" + spawn);
    cases.push_back(header + patchArch(20, 20, 120, 0, 4, 5) + patchArch(20, 20, 120, 0, 3, 2) + "}\n" + spawn);
    cases.push_back(header + "{\npatchDef2\n{\nt\n( 99999 3 0 0 0 )\n(\n" + "}\n" + spawn);
    {
        std::string arch = patchArch(20, 20, 120, 0);
        arch.replace(arch.find("( 20 20 0"), 9, "( nan 20 1e300");
        cases.push_back(header + arch + "}\n" + spawn);
    }
    cases.push_back(entity("\"classname\" \"worldspawn\"\n\"k\" \"" + std::string(1 << 20, 'v') + "\"\n" +
                           hollowRoom({0, 0, 0, 256, 256, 128})) + spawn);
    {
        std::string oneLine = ambientWorld(hollowRoom({0, 0, 0, 256, 256, 128})) + spawn;
        std::replace(oneLine.begin(), oneLine.end(), '\n', ' ');
        cases.push_back(oneLine);
    }
    {
        std::string junk = room;
        std::mt19937 bytes(9);
        for (int i = 0; i < 4096; ++i) junk += static_cast<char>(bytes() & 0xff);
        cases.push_back(junk);
    }
    cases.push_back(header + "{\nbrushDef\n{\n( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 ) ( ( 1 0 ) ( 0 1 0 ) ) t 0 0 0\n}\n}\n}\n" + spawn);
    for (size_t i = 0; i < cases.size(); ++i) {
        std::string why;
        Report r;
        EXPECT_TRUE(runCase(cases[i], 8000 + static_cast<int>(i), why, r)) << "extreme " << i << ": " << why;
    }
}

// Thin slabs turned about one upright line all cross there, and every one
// deepens the tree. 1200 of them pass the depth the game reads (minutes of
// work); 40 show the same refusal against a lower limit: a line, no level.
TEST(MapcFuzz, TreeTooDeepForTheGameIsRefused)
{
    std::string slabs;
    const int count = 40;
    for (int i = 0; i < count; ++i) {
        double a = M_PI * (i + 0.5) / count;
        Vec3 along(std::cos(a), std::sin(a), 0), across(-std::sin(a), std::cos(a), 0), up(0, 0, 1);
        const Vec3 normals[6] = {across, across * -1.0, along, along * -1.0, up, up * -1.0};
        const double reach[6] = {0.5, 0.5, 200, 200, 64, 0};
        slabs += "{\n";
        for (int k = 0; k < 6; ++k) {
            const Vec3& n = normals[k];
            Vec3 u = std::fabs(n.z) < 0.9 ? n.cross(Vec3(0, 0, 1)).normalized() : n.cross(Vec3(1, 0, 0)).normalized();
            Vec3 v = n.cross(u);
            Vec3 c = n * reach[k];
            Vec3 p0 = c + u * 64.0, p2 = c + v * 64.0;
            double pts[3][3] = {{p0.x, p0.y, p0.z}, {c.x, c.y, c.z}, {p2.x, p2.y, p2.z}};
            slabs += sideWithPoints(pts) + "\n";
        }
        slabs += "}\n";
    }
    std::string source = ambientWorld(hollowRoom({-256, -256, -8, 256, 256, 128}) + slabs) +
                         pointEntity("info_player_start", 220, 220, 100);
    Compiled whole;
    compile(source, whole);
    ASSERT_TRUE(whole.compiled) << whole.diag.error;
    EXPECT_TRUE(whole.valid) << whole.problem;
    mapc::CompileOptions shallow;
    shallow.treeDepth = 30;
    Compiled refused;
    compile(source, refused, shallow);
    EXPECT_FALSE(refused.compiled);
    EXPECT_EQ(refused.diag.errorLine, 1);
    EXPECT_NE(refused.diag.error.find("tree deeper than the game reads (30 levels)"), std::string::npos)
        << refused.diag.error;
}

// A many-sided ball in an open room makes the portal flow explode; the
// compile stops it at its time limit and the unfinished passages keep their
// rough sets, which may be wide but never hide what a sight line reaches.
TEST(MapcFuzz, CostlyVisibilityStaysConservative)
{
    Compiled c;
    mapc::CompileOptions options;
    options.visSeconds = 0.0;
    options.lightSeconds = 0.0;  // the flow also gets what lighting leaves
    compile(ambientWorld(hollowRoom({0, 0, 0, 256, 256, 128}) + ball(128, 128, 128, 64, 40)) +
                pointEntity("info_player_start", 20, 20, 20),
            c, options);
    ASSERT_TRUE(c.compiled) << c.diag.error;
    ASSERT_TRUE(c.valid) << c.problem;
    EXPECT_TRUE(c.stats.visCutShort);
    bool warned = false;
    for (const std::string& w : c.diag.warnings)
        warned = warned || (w.find("visibility too costly") != std::string::npos && w.find("passages keep rougher sets") != std::string::npos);
    EXPECT_TRUE(warned);
    ASSERT_GT(c.data.visClusterCount, 1);
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(1, 255), h(1, 127);
    int lines = 0;
    for (int i = 0; i < 4000; ++i) {
        double a[3] = {u(rng), u(rng), h(rng)}, b[3] = {u(rng), u(rng), h(rng)};
        if (insideAnyBrush(c.lumps, a, 0.0) || insideAnyBrush(c.lumps, b, 0.0) || !lineOfSight(c.lumps, a, b)) continue;
        ++lines;
        ASSERT_TRUE(clusterSees(c.data, clusterAt(c.data, a[0], a[1], a[2]), clusterAt(c.data, b[0], b[1], b[2])))
            << a[0] << " " << a[1] << " " << a[2] << " -> " << b[0] << " " << b[1] << " " << b[2];
    }
    EXPECT_GT(lines, 500);
}

// A room of 120000 units a side at luxel_size 16 would need hundreds of
// millions of luxels; the luxels grow until the pages fit.
TEST(MapcFuzz, HugeLevelGetsCoarserLuxels)
{
    Compiled c;
    mapc::CompileOptions options;
    options.lightSeconds = 600;  // the luxel warning alone, however loaded the machine
    options.visSeconds = 600;
    compile(ambientWorld(hollowRoom({-60000, -60000, -60000, 60000, 60000, 60000})) +
                pointEntity("info_player_start", 0, 0, 0),
            c, options);
    ASSERT_TRUE(c.compiled) << c.diag.error;
    ASSERT_TRUE(c.valid) << c.problem;
    std::string all;
    for (const std::string& w : c.diag.warnings) all += w + "\n";
    ASSERT_EQ(c.diag.warnings.size(), 1u) << all;
    EXPECT_NE(c.diag.warnings[0].find("using luxel_size"), std::string::npos) << c.diag.warnings[0];
    EXPECT_LE(c.stats.lightmaps, 1024);
    EXPECT_GT(c.stats.lightmaps, 100);
}

// Numbers a hostile source or shader script may hold: "nan", "inf" and
// floats past their range in light keys and shader keywords, terrain layer
// counts out of 1-256, a shader scattering a model on every unit of a wide
// floor. Each is refused or bounded with a line saying so; the light stays
// light (a "nan" would turn a luxel's whole sum black), and the compile
// keeps to its time limit and to a bounded peak memory.
TEST(MapcFuzz, HostileNumbersAreRefusedAndCountsBounded)
{
    SearchFolder folder;
    ASSERT_FALSE(folder.root.empty());
    folder.write("scripts/h.shader",
                 "textures/h/dense\n{\n q3map_surfacemodel models/tri.md3 1 0.000001\n"
                 " q3map_surfacemodel models/tri.md3 nan 1\n q3map_surfacemodel models/tri.md3 64 inf\n}\n"
                 "textures/h/every\n{\n q3map_surfacemodel models/tri.md3 1 1\n}\n"
                 "textures/h/sky\n{\n surfaceparm sky\n q3map_sun 1 1 1 nan 0 90\n q3map_skylight inf 3\n}\n"
                 "textures/h/glow\n{\n q3map_surfacelight 1e39\n}\n"
                 "textures/h/tc\n{\n q3map_tcGen ivector ( nan 0 0 ) ( 0 inf 0 )\n}\n"
                 "textures/h/cel\n{\n q3map_invert\n q3map_offset -inf\n surfaceparm nolightmap\n"
                 " surfaceparm nonsolid\n}\n"
                 "textures/common/terrain\n{\n q3map_terrain\n surfaceparm nodraw\n surfaceparm nolightmap\n}\n");
    const std::vector<unsigned char> md3 = md3Triangle("models/tri/skin");
    folder.write("models/tri.md3", std::string(md3.begin(), md3.end()));
    // A 2 x 1 index map, red 0 and 255: with 256 layers the second pixel
    // is layer 255.
    std::string tga(18, '\0');
    tga[2] = 2, tga[12] = 2, tga[14] = 1, tga[16] = 24;
    tga += std::string("\0\0\0\0\0\xff", 6);
    folder.write("maps/h.tga", tga);

    const int t = 16;
    const std::string room = brush({-t, -t, -t, 1024 + t, 1024 + t, 0}, "h/dense") +
                             brush({-t, -t, 256, 1024 + t, 1024 + t, 256 + t}, "h/sky") +
                             brush({-t, -t, 0, 0, 1024 + t, 256}, "h/glow") +
                             brush({1024, -t, 0, 1024 + t, 1024 + t, 256}) + brush({0, -t, 0, 1024, 0, 256}, "h/tc") +
                             brush({0, 1024, 0, 1024, 1024 + t, 256});
    auto terrain = [](int x, const char* layers) {
        std::string b = brush({x, 100, 0, x + 100, 200, 32}, "common/caulk");
        b.replace(b.find("common/caulk"), 12, "common/terrain");
        return entity(std::string("\"classname\" \"func_group\"\n\"_indexmap\" \"maps/h.tga\"\n\"_shader\" \"h/ground\"\n") +
                      layers + withFlags(b, "134217728 0 0"));
    };
    const std::string source =
        entity("\"classname\" \"worldspawn\"\n\"_floodlight\" \"nan 1 1 1024 128\"\n\"_minlight\" \"inf\"\n"
               "\"_ambient\" \"nan\"\n\"ambient\" \"8\"\n\"_celshader\" \"h/cel\"\n" + room) +
        terrain(100, "\"_layers\" \"1e9\"\n") + terrain(300, "\"_layers\" \"-5\"\n") + terrain(500, "\"layers\" \"nan\"\n") +
        pointEntity("info_player_start", 512, 700, 64) +
        pointEntity("light", 512, 512, 128, "\"light\" \"nan\"\n") +
        pointEntity("light", 300, 512, 128, "\"light\" \"1 1 1 inf\"\n\"_color\" \"inf 0 0\"\n") +
        pointEntity("light", 700, 512, 128, "\"light\" \"1e308\"\n") +
        pointEntity("light", 512, 300, 200, "\"light\" \"-inf\"\n\"_sun\" \"1\"\n\"target\" \"down\"\n") +
        pointEntity("info_null", 512, 300, 0, "\"targetname\" \"down\"\n");
    std::string why;
    Report r;
    double peakMb = 0;
    ASSERT_TRUE(runCase(source, 6000, why, r, folder.root, &peakMb)) << why;
    ASSERT_EQ(r.outcome, Valid) << r.text;
    const std::string warnings = r.warnings;
    EXPECT_NE(warnings.find("shader 'textures/h/dense' scatters models too densely; only the first 1048576 spots are used"),
              std::string::npos) << warnings;
    EXPECT_NE(warnings.find("_floodlight wants \"r g b distance intensity\"; ignored"), std::string::npos) << warnings;
    EXPECT_NE(warnings.find("terrain layers out of 1-256; using 256"), std::string::npos) << warnings;
    size_t hidden = 0;
    for (size_t at = 0; (at = warnings.find("terrain layers out of 1-256; its faces stay hidden", at)) != std::string::npos; ++at)
        ++hidden;
    EXPECT_EQ(hidden, 2u) << warnings;
    EXPECT_EQ(r.darkFaces, 0) << "dark: " << r.text;
    EXPECT_EQ(r.brokenVertices, 0);
    EXPECT_LT(peakMb, 1024.0);
    std::printf("hostile numbers: peak memory %.0f MB\n", peakMb);
#ifdef MAPC_FUZZ_LONG
    // A model on every one of those spots: a million placed models, half a
    // minute and nearly 2 GB with the sanitizers.
    std::string every = source;
    for (size_t at = 0; (at = every.find("h/dense", at)) != std::string::npos;) every.replace(at, 7, "h/every");
    Report all;
    ASSERT_TRUE(runCase(every, 6001, why, all, folder.root, &peakMb)) << why;
    EXPECT_EQ(all.outcome, Valid) << all.text;
    EXPECT_LT(peakMb, 3072.0);
    std::printf("a model on every spot: peak memory %.0f MB\n", peakMb);
#endif
}
