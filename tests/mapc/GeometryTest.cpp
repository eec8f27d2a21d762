#include <gtest/gtest.h>
#include <array>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sys/stat.h>
#include "MapcTestSupport.h"
#include "resources/FileSystem.h"

using namespace mapctest;

namespace {


// 1024 x 1024 x 256 room with a 64-unit pillar and one light west of it.
std::string pillarRoom(const std::string& keys = "")
{
    return world(hollowRoom({0, 0, 0, 1024, 1024, 256}) + brush({480, 480, 0, 544, 544, 256}, "halvex/metal") +
                 "\"ambient\" \"2.5\"\n" + keys) +  // stored 2.5: 10 as shown
           pointEntity("info_player_start", 100, 100, 64) +
           pointEntity("light", 300, 512, 128, "\"light\" \"150\"\n\"_color\" \"1 0.4 0.4\"\n");
}

double triangleArea(const float* a, const float* b, const float* c, double cross[3])
{
    double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]}, v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
    cross[0] = u[1] * v[2] - u[2] * v[1];
    cross[1] = u[2] * v[0] - u[0] * v[2];
    cross[2] = u[0] * v[1] - u[1] * v[0];
    return 0.5 * std::sqrt(cross[0] * cross[0] + cross[1] * cross[1] + cross[2] * cross[2]);
}

} // namespace

TEST(MapcGeometry, FacesCoverExactlyTheVisibleSurfaceAndFaceTheRoom)
{
    Compiled c;
    compile(pillarRoom(), c);
    ASSERT_TRUE(c.compiled) << c.diag.error;
    ASSERT_TRUE(c.valid) << c.problem;
    const mapc::LevelLumps& l = c.lumps;
    double area = 0.0;
    for (const bsp::BspFace& f : l.faces) {
        EXPECT_EQ(f.type, bsp::FacePolygon);
        EXPECT_GE(f.lightmap, 0);
        for (int k = 0; k + 2 < f.meshVertexCount; k += 3) {
            const bsp::BspVertex* v[3];
            for (int m = 0; m < 3; ++m) v[m] = &l.vertices[f.firstVertex + l.meshVertices[f.firstMeshVertex + k + m]];
            double cross[3];
            area += triangleArea(v[0]->position, v[1]->position, v[2]->position, cross);
            // Clockwise seen from the front: the game culls front-facing (CCW) triangles.
            EXPECT_LT(cross[0] * f.normal[0] + cross[1] * f.normal[1] + cross[2] * f.normal[2], 0.0);
            double mid[3], front[3], back[3];
            for (int a = 0; a < 3; ++a) {
                mid[a] = (v[0]->position[a] + v[1]->position[a] + v[2]->position[a]) / 3.0;
                front[a] = mid[a] + f.normal[a] * 0.5;
                back[a] = mid[a] - f.normal[a] * 0.5;
            }
            EXPECT_FALSE(insideAnyBrush(l, front, 0.01)) << "face inside a brush at " << mid[0] << " " << mid[1] << " " << mid[2];
            EXPECT_TRUE(insideAnyBrush(l, back, 0.01));
            for (int m = 0; m < 3; ++m)
                for (int a = 0; a < 2; ++a) {
                    EXPECT_GT(v[m]->lightmapCoord[a], 0.0f);
                    EXPECT_LT(v[m]->lightmapCoord[a], 1.0f);
                }
        }
    }
    // Floor and ceiling whole: a side is drawn as the hull of its visible
    // parts, the pillar's foot included.
    double expected = 2.0 * 1024 * 1024 + 4.0 * 1024 * 256 + 4.0 * 64 * 256;
    EXPECT_NEAR(area, expected, 1.0);
}

TEST(MapcGeometry, LightFallsOffAndThePillarCastsAShadow)
{
    Compiled c;
    compile(pillarRoom(), c);
    ASSERT_TRUE(c.compiled) << c.diag.error;
    std::array<int, 3> near = floorLuxel(c.lumps, 300, 512);
    std::array<int, 3> far = floorLuxel(c.lumps, 583, 795);  // 400 away, clear of walls and their dirt
    std::array<int, 3> shadowed = floorLuxel(c.lumps, 700, 512);
    std::array<int, 3> corner = floorLuxel(c.lumps, 1000, 1000);
    ASSERT_TRUE(near[0] >= 0 && far[0] >= 0 && shadowed[0] >= 0 && corner[0] >= 0);
    EXPECT_GT(near[0], far[0] + 40);
    EXPECT_GT(far[0], shadowed[0] + 2);   // same distance from the light (about 6 direct)
    EXPECT_GT(shadowed[0], 10 + 2);       // ambient and the light the lit walls bounce
    EXPECT_LT(shadowed[0], 10 + 20);
    EXPECT_NEAR(corner[1], 10, 3);
    EXPECT_GT(near[0], near[1]);          // "_color" tints red

    // The pillar's foot darkens (dirt), open floor does not; "_dirtscale" 0 turns it off.
    Compiled clean;
    compile(pillarRoom("\"_dirtscale\" \"0\"\n"), clean);
    ASSERT_TRUE(clean.compiled) << clean.diag.error;
    std::array<int, 3> foot = floorLuxel(c.lumps, 470, 512), cleanFoot = floorLuxel(clean.lumps, 470, 512);
    ASSERT_TRUE(foot[0] >= 0 && cleanFoot[0] >= 0);
    EXPECT_LT(foot[0], cleanFoot[0] - 8);
    EXPECT_NEAR(floorLuxel(clean.lumps, 300, 512)[0], near[0], 2);
    // Dirt asked of the compile: 0 clears a level naming none; a level's own key wins.
    Compiled asked, named;
    mapc::CompileOptions noDirt;
    noDirt.dirtScale = 0;
    compile(pillarRoom(), asked, noDirt);
    compile(pillarRoom("\"_dirtscale\" \"1\"\n"), named, noDirt);
    ASSERT_TRUE(asked.compiled && named.compiled);
    EXPECT_EQ(floorLuxel(asked.lumps, 470, 512)[0], cleanFoot[0]);
    EXPECT_EQ(floorLuxel(named.lumps, 470, 512)[0], foot[0]);

    // Built twice as large ("-scale 2"): the light keeps its brightness, so
    // the floor below it, now twice as far, is darker; the entities move
    // out with the brushes; the textures keep their size on the faces.
    Compiled big;
    mapc::CompileOptions twice;
    twice.scale = 2;
    compile(pillarRoom(), big, twice);
    ASSERT_TRUE(big.compiled && big.valid) << big.diag.error << big.problem;
    const std::array<int, 3> bigNear = floorLuxel(big.lumps, 600, 1024);
    ASSERT_GE(bigNear[0], 0);
    EXPECT_LT(bigNear[0] * 2, near[0]);
    EXPECT_NE(big.lumps.entities.find("\"origin\" \"600 1024 256\""), std::string::npos) << big.lumps.entities;
    int matched = 0;
    for (const bsp::BspVertex& v : big.lumps.vertices)
        for (const bsp::BspVertex& w : c.lumps.vertices)
            if (v.position[0] == 2 * w.position[0] && v.position[1] == 2 * w.position[1] && v.position[2] == 2 * w.position[2] &&
                v.normal[2] == w.normal[2] && v.normal[0] == w.normal[0]) {
                EXPECT_FLOAT_EQ(v.texCoord[0], w.texCoord[0]);
                EXPECT_FLOAT_EQ(v.texCoord[1], w.texCoord[1]);
                ++matched;
            }
    EXPECT_GT(matched, 8);
    Compiled tooBig;
    mapc::CompileOptions tenfold;
    tenfold.scale = 10;
    compile(world(hollowRoom({0, 0, 0, 256, 256, 256}) + "\n" + brush({7000, 0, 0, 7100, 64, 64})), tooBig, tenfold);
    EXPECT_FALSE(tooBig.compiled);
    EXPECT_NE(tooBig.diag.error.find("scaled by 10"), std::string::npos) << tooBig.diag.error;

    // "_light" "150 60 60 20" (another tool family's "r g b intensity") is
    // read as Quake 3 light compilers read it: 150, coloured by "_color" alone.
    std::string fourNumbers = pillarRoom();
    const std::string plain = "\"light\" \"150\"";
    fourNumbers.replace(fourNumbers.find(plain), plain.size(), "\"_light\" \"150 60 60 20\"");
    Compiled firstNumber;
    compile(fourNumbers, firstNumber);
    ASSERT_TRUE(firstNumber.compiled) << firstNumber.diag.error;
    EXPECT_EQ(floorLuxel(firstNumber.lumps, 300, 512), near);
    bool told = false;
    for (const std::string& w : firstNumber.diag.warnings) told = told || w.find("only its first number") != std::string::npos;
    EXPECT_TRUE(told);

    // No time for lighting: every face is still lit, without shadows (and
    // without bounced light), and the compiler says so.
    Compiled cut;
    mapc::CompileOptions rushed;
    rushed.lightSeconds = 0;
    compile(pillarRoom(), cut, rushed);
    ASSERT_TRUE(cut.compiled) << cut.diag.error;
    std::array<int, 3> unshadowed = floorLuxel(cut.lumps, 700, 512);
    std::array<int, 3> nearCut = floorLuxel(cut.lumps, 300, 512), farCut = floorLuxel(cut.lumps, 300, 912);
    ASSERT_TRUE(unshadowed[0] >= 0 && nearCut[0] >= 0 && farCut[0] >= 0);
    EXPECT_LT(nearCut[0], near[0]);
    EXPECT_GT(nearCut[0], near[0] - 60);
    EXPECT_NEAR(unshadowed[0], farCut[0], 2);
    EXPECT_GT(unshadowed[0], 10 + 4);
    bool warned = false;
    for (const std::string& w : cut.diag.warnings)
        warned = warned || w.find("lighting too costly to work out in full") != std::string::npos;
    EXPECT_TRUE(warned);
}

// Four rooms: one open to a sky whose shader lights the whole dome, one
// closed and dark but for the worldspawn's minimum light (tinted by its
// "_color"), one lit by a spotlight aimed at the floor (twice as bright in its cone), one by
// an orange light far past full, stored overbright with its hue kept.
TEST(MapcGeometry, SkyDomeAimedLightAndMinimumLight)
{
    char dir[] = "/tmp/mapc_skyXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string root = dir;
    ASSERT_EQ(std::system(("mkdir -p " + root + "/scripts").c_str()), 0);
    FILE* script = std::fopen((root + "/scripts/test.shader").c_str(), "w");
    ASSERT_NE(script, nullptr);
    std::fputs("textures/test/sky\n{\n surfaceparm sky\n surfaceparm noimpact\n q3map_skylight 100 3\n}\n", script);
    std::fclose(script);
    FileSystem files;
    files.setReporter([](void*, bool, const char*) {}, nullptr);
    files.addFolder(root.c_str());
    mapc::CompileOptions options;
    options.files = &files;

    const int t = 16;
    const std::string skyRoom = brush({-t, -t, -t, 512 + t, 512 + t, 0}, "halvex/floor") +
                                brush({-t, -t, 256, 512 + t, 512 + t, 256 + t}, "test/sky") +
                                brush({-t, -t, 0, 0, 512 + t, 256}) + brush({512, -t, 0, 512 + t, 512 + t, 256}) +
                                brush({0, -t, 0, 512, 0, 256}) + brush({0, 512, 0, 512, 512 + t, 256});
    const std::string source =
        world(skyRoom + hollowRoom({1024, 0, 0, 1536, 512, 256}) + hollowRoom({2048, 0, 0, 2560, 512, 256}) +
              hollowRoom({3072, 0, 0, 3584, 512, 256}) +
              "\"ambient\" \"0\"\n\"_minlight\" \"5\"\n\"_color\" \"1 0.5 0.5\"\n") +
        pointEntity("info_player_start", 256, 256, 64) + pointEntity("info_player_deathmatch", 1100, 100, 64) +
        pointEntity("light", 2304, 256, 200, "\"light\" \"300\"\n\"target\" \"spot\"\n") +
        pointEntity("info_null", 2304, 256, 0, "\"targetname\" \"spot\"\n") +
        pointEntity("light", 3328, 256, 200, "\"light\" \"3000\"\n\"_color\" \"1 0.5 0.25\"\n");
    Compiled c;
    compile(source, c, options);
    ASSERT_TRUE(c.compiled) << c.diag.error;
    ASSERT_TRUE(c.valid) << c.problem;
    std::array<int, 3> open = floorLuxel(c.lumps, 256, 256), corner = floorLuxel(c.lumps, 8, 8);
    std::array<int, 3> spot = floorLuxel(c.lumps, 2304, 256, false), aside = floorLuxel(c.lumps, 1100, 100);
    std::array<int, 3> offCone = floorLuxel(c.lumps, 2304 + 200, 256, false);  // 45 degrees off a cone of 18
    ASSERT_TRUE(open[0] >= 0 && corner[0] >= 0 && spot[0] >= 0 && aside[0] >= 0 && offCone[0] >= 0);
    EXPECT_GT(open[0], 40);                 // no lights there: the sky alone
    EXPECT_EQ(open[0], open[2]);            // white: the tint is the minimum's only
    EXPECT_LT(corner[0], open[0] - 8);      // the walls hide half the sky
    // Stored: 2 x "light" x 21300 / distance^2 / 4, and the light walls and ceiling bounce.
    EXPECT_GT(spot[0], 2 * 300 * 21300 / (200 * 200 * 4) - 4);
    EXPECT_LT(spot[0], 2 * 2 * 300 * 21300 / (200 * 200 * 4));
    EXPECT_LT(offCone[0], spot[0] / 4);  // bounced light only
    EXPECT_NEAR(aside[0], 20, 2);           // no light: the minimum (stored 5), tinted
    EXPECT_NEAR(aside[1], 10, 2);
    // Past full light: stored above a quarter of full, the game's brightening
    // clamps it to full with the hue kept (orange, not white).
    std::array<int, 3> hot = floorLuxel(c.lumps, 3328, 256, false), hotShown = floorLuxel(c.lumps, 3328, 256);
    EXPECT_GT(hot[0], 255 / 4 + 16);
    EXPECT_NEAR(hot[1] * 2, hot[0], 3);
    EXPECT_NEAR(hot[2] * 4, hot[0], 6);
    EXPECT_EQ(hotShown[0], 255);
    EXPECT_NEAR(hotShown[1], 128, 4);
    EXPECT_EQ(std::system(("rm -rf " + root).c_str()), 0);
}

TEST(MapcGeometry, GameTracesStopAtTheWalls)
{
    Compiled c;
    compile(world(hollowRoom({0, 0, 0, 512, 512, 256})) + pointEntity("info_player_start", 256, 256, 128), c);
    ASSERT_TRUE(c.valid) << c.problem;
    CollisionLevel level = collisionOf(c.data);
    const double dirs[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    const double wall[6] = {512, 0, 512, 0, 256, 0};
    for (float radius : {0.0f, 20.0f}) {
        for (int d = 0; d < 6; ++d) {
            Vector3 start = fromFileFrame(256, 256, 128);
            Vector3 end = fromFileFrame(256 + dirs[d][0] * 1000, 256 + dirs[d][1] * 1000, 128 + dirs[d][2] * 1000);
            TraceResult r;
            r.radius = radius;
            traceLevel(level, start, end, r);
            ASSERT_LT(r.fraction, 1.0f);
            Vector3 stop = start + (end - start) * r.fraction;
            double file[3] = {stop.x, -stop.z, stop.y};
            int axis = dirs[d][0] != 0 ? 0 : (dirs[d][1] != 0 ? 1 : 2);
            double sign = dirs[d][axis];
            EXPECT_NEAR(file[axis], wall[d] - sign * radius, 0.1) << "direction " << d << " radius " << radius;
        }
    }
}

TEST(MapcGeometry, VisibilityIsConservativeAndCullsAroundABend)
{
    // Room A, a corridor east then north, room B: A and B cannot see each other.
    std::vector<Box> air = {{0, 0, 0, 512, 512, 256},
                            {512, 192, 0, 1024, 320, 128},
                            {896, 320, 0, 1024, 1024, 128},
                            {640, 1024, 0, 1280, 1536, 256}};
    Compiled c;
    FILE* log = std::tmpfile();
    ASSERT_NE(log, nullptr);
    mapc::Progress progress(log, 0.0);  // as a long compile prints
    mapc::CompileOptions options;
    options.progress = &progress;
    // Pillars in room B: sight reaches the passages behind them along
    // several paths, which the flow merges.
    const std::string pillars = brush({800, 1150, 0, 860, 1210, 256}) + brush({1000, 1300, 0, 1060, 1360, 256}) +
                                brush({1120, 1120, 0, 1160, 1160, 256});
    compile(world(carvedRooms(air) + pillars) + pointEntity("info_player_start", 100, 100, 64), c, options);
    progress.finish();
    ASSERT_TRUE(c.compiled) << c.diag.error;
    ASSERT_TRUE(c.valid) << c.problem;
    ASSERT_FALSE(c.stats.leaked);
    ASSERT_NE(c.data.visBits, nullptr);
    EXPECT_FALSE(c.stats.visCutShort);  // the flow worked every passage out

    // Plain lines (not a terminal): each stage, its percentage, the table.
    std::string printed(4096, '\0');
    std::rewind(log);
    printed.resize(std::fread(&printed[0], 1, printed.size(), log));
    std::fclose(log);
    EXPECT_NE(printed.find("visibility flow 100%\n"), std::string::npos) << printed;
    EXPECT_EQ(printed.find('\r'), std::string::npos);
    EXPECT_NE(printed.find("\nlighting "), std::string::npos) << printed;
    EXPECT_NE(printed.find("\ntotal "), std::string::npos) << printed;
    EXPECT_NE(printed.find("\npeak memory "), std::string::npos) << printed;
    ASSERT_EQ(progress.stages().size(), 7u);
    EXPECT_EQ(progress.stages()[5].name, "visibility flow");

    int a = clusterAt(c.data, 256, 256, 128), b = clusterAt(c.data, 960, 1280, 128);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_FALSE(clusterSees(c.data, a, b));
    EXPECT_FALSE(clusterSees(c.data, b, a));

    std::srand(7);
    auto randomPoint = [&](double p[3]) {
        for (;;) {
            const Box& box = air[static_cast<size_t>(std::rand()) % air.size()];
            p[0] = box.x1 + 1 + std::rand() % (box.x2 - box.x1 - 2);
            p[1] = box.y1 + 1 + std::rand() % (box.y2 - box.y1 - 2);
            p[2] = box.z1 + 1 + std::rand() % (box.z2 - box.z1 - 2);
            if (!insideAnyBrush(c.lumps, p, -0.5)) return;
        }
    };
    int clear = 0, culledPairs = 0;
    for (int i = 0; i < 3000; ++i) {
        double p[3], q[3];
        randomPoint(p);
        randomPoint(q);
        int cp = clusterAt(c.data, p[0], p[1], p[2]), cq = clusterAt(c.data, q[0], q[1], q[2]);
        ASSERT_GE(cp, 0);
        ASSERT_GE(cq, 0);
        if (!lineOfSight(c.lumps, p, q)) {
            if (!clusterSees(c.data, cp, cq)) ++culledPairs;
            continue;
        }
        ++clear;
        EXPECT_TRUE(clusterSees(c.data, cp, cq)) << p[0] << " " << p[1] << " " << p[2] << " -> " << q[0] << " " << q[1] << " " << q[2];
        EXPECT_TRUE(clusterSees(c.data, cq, cp));
    }
    EXPECT_GT(clear, 300);
    EXPECT_GT(culledPairs, 200);
}

TEST(MapcGeometry, EveryCompileOfASourceGivesTheSameVisibility)
{
    // Four by four rooms with a pillar each, joined by doorways: many
    // passages, whose finished rows prune the later ones.
    std::vector<Box> air;
    std::string pillars;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            const int x = i * 384, y = j * 384;
            air.push_back({x, y, 0, x + 320, y + 320, 192});
            if (i < 3) air.push_back({x + 300, y + 128 + 32 * j, 0, x + 404, y + 192 + 32 * j, 128});
            if (j < 3) air.push_back({x + 64 + 48 * i, y + 300, 0, x + 128 + 48 * i, y + 404, 128});
            pillars += brush({x + 144, y + 112 + 16 * i, 0, x + 176, y + 144 + 16 * i, 192});
        }
    const std::string source = world(carvedRooms(air) + pillars) + pointEntity("info_player_start", 100, 100, 64);
    mapc::CompileOptions options;
    options.lightSeconds = 0;
    std::vector<uint8_t> first;
    for (int threads : {2, 2, 1}) {
        options.threads = threads;
        Compiled c;
        compile(source, c, options);
        ASSERT_TRUE(c.compiled) << c.diag.error;
        ASSERT_FALSE(c.stats.visCutShort);
        ASSERT_GT(c.stats.clusters, 16);
        if (first.empty()) {
            first = c.lumps.visibility;
            ASSERT_FALSE(first.empty());
            continue;
        }
        // The same bytes, whichever thread got to a passage first and
        // however many there are.
        EXPECT_TRUE(c.lumps.visibility == first) << threads << " threads";
    }
}

TEST(MapcGeometry, OnlyStructuralBrushesShapeClustersAndHintsSplitThem)
{
    auto clustersOf = [](const std::string& brushes, Compiled& c) {
        compile(world(brushes) + pointEntity("info_player_start", 100, 100, 64), c);
        EXPECT_TRUE(c.compiled) << c.diag.error;
        EXPECT_TRUE(c.valid) << c.problem;
        EXPECT_FALSE(c.stats.leaked);
        return c.stats.clusters;
    };
    const Box air{0, 0, 0, 1024, 512, 256};
    Compiled plain, detailed, pieced, hinted;
    const int base = clustersOf(hollowRoom(air), plain);
    EXPECT_EQ(base, 1);

    // A detail pillar and a detail crate: no new clusters.
    std::string detail = brush({480, 200, 0, 544, 264, 256}, "halvex/metal") + brush({100, 300, 0, 164, 364, 64});
    for (size_t at = 0; (at = detail.find(" 1 1\n", at)) != std::string::npos; at += 5)
        detail.replace(at, 5, " 1 1 134217728 0 0\n");
    EXPECT_EQ(clustersOf(hollowRoom(air) + detail, detailed), base);

    // The floor as four touching slabs under a thick wall block: their
    // hidden sides split nothing open.
    std::string pieces;
    for (int i = 0; i < 4; ++i) pieces += brush({i * 256 - (i == 0 ? 16 : 0), -16, -16, (i + 1) * 256 + (i == 3 ? 16 : 0), 528, 0});
    std::string rest = hollowRoom(air);
    rest = rest.substr(rest.find("}\n") + 2);  // all but the floor slab
    EXPECT_EQ(clustersOf(pieces + rest + brush({-64, -64, -64, 1088, 576, -16}), pieced), base);

    // A small room across a line of the block grid is cut in two leaves,
    // but the portal between them is as wide as they are: one cluster.
    Compiled small;
    compile(world(hollowRoom({-64, 0, 0, 64, 128, 128})) + pointEntity("info_player_start", 10, 64, 64), small);
    EXPECT_TRUE(small.valid) << small.problem;
    EXPECT_EQ(small.stats.clusters, 1);
    EXPECT_GE(small.stats.leaves, plain.stats.leaves + 1);

    // A hint across the middle parts the room into clusters on its plane.
    const int hintClusters = clustersOf(hollowRoom(air) + brush({508, 0, 0, 516, 512, 256}, "common/hint"), hinted);
    EXPECT_GE(hintClusters, 2);
    int west = clusterAt(hinted.data, 200, 256, 128), east = clusterAt(hinted.data, 800, 256, 128);
    ASSERT_GE(west, 0);
    ASSERT_GE(east, 0);
    EXPECT_NE(west, east);
    EXPECT_TRUE(clusterSees(hinted.data, west, east));
}

TEST(MapcGeometry, TheLevelsBlockSizeCutsOpenSpaceAndItsFarPlaneEndsSight)
{
    // A 4096-unit hall: open space is cut on the block grid the worldspawn
    // asks for (1024 by default, 0 for none), else on the one the compile
    // is given.
    const Box air{0, 0, 0, 4096, 512, 256};
    auto hall = [&](const std::string& keys, Compiled& c, double blockSize = 0) {
        mapc::CompileOptions options;
        options.blockSize = blockSize;
        compile(entity("\"classname\" \"worldspawn\"\n" + keys + hollowRoom(air)) +
                    pointEntity("info_player_start", 100, 100, 64),
                c, options);
        EXPECT_TRUE(c.compiled) << c.diag.error;
        EXPECT_TRUE(c.valid) << c.problem;
        EXPECT_FALSE(c.stats.visCutShort);
        return c.stats.clusters;
    };
    Compiled plain, none, fine, given, named, fogged;
    EXPECT_EQ(hall("", plain), 4);
    EXPECT_EQ(hall("\"_blocksize\" \"0\"\n", none), 1);
    EXPECT_EQ(hall("\"_blocksize\" \"512 512 0\"\n", fine), 8);
    EXPECT_EQ(hall("", given, 512), 8);
    EXPECT_EQ(hall("\"_blocksize\" \"0\"\n", named, 512), 1);

    // A fogged level's far plane: the hall's ends, 2048 units apart and
    // more, do not see each other; neighbours and every pair of points
    // closer than the far plane still do.
    ASSERT_EQ(hall("\"_blocksize\" \"512 512 0\"\n\"_farplanedist\" \"1024\"\n", fogged), 8);
    const int west = clusterAt(fogged.data, 100, 256, 128), east = clusterAt(fogged.data, 4000, 256, 128);
    ASSERT_GE(west, 0);
    ASSERT_GE(east, 0);
    EXPECT_FALSE(clusterSees(fogged.data, west, east));
    EXPECT_FALSE(clusterSees(fogged.data, east, west));
    for (int x = 8; x < 4096; x += 97) {
        const double near = std::min(4095.0, x + 1000.0);
        const int a = clusterAt(fogged.data, x, 40, 30), b = clusterAt(fogged.data, near, 470, 230);
        EXPECT_TRUE(clusterSees(fogged.data, a, b)) << x;
        EXPECT_TRUE(clusterSees(fogged.data, b, a)) << x;
    }
}

namespace {

// Drawn area per texture name, and the faces' plane normals per name.
struct FaceAreas {
    std::map<std::string, double> area;
    std::map<std::string, int> faces;
};

FaceAreas faceAreas(const mapc::LevelLumps& l)
{
    FaceAreas out;
    for (const bsp::BspFace& f : l.faces) {
        const std::string name = l.textures[static_cast<size_t>(f.texture)].name;
        ++out.faces[name];
        out.area[name] += faceArea(l, f);
    }
    return out;
}

// A triangular prism from z 0 to 32 over the triangle (0 0) (512 0) (0 512)
// or, flipped, (512 0) (512 512) (0 512); its top is terrain.
std::string terrainPrism(bool flipped)
{
    const int X[3] = {1, 0, 0}, Y[3] = {0, 1, 0}, Z[3] = {0, 0, 1}, D[3] = {-512, 512, 0};
    const int o[3] = {0, 0, 0}, top[3] = {0, 0, 32}, east[3] = {512, 0, 0}, north[3] = {0, 512, 0};
    std::string s = "{\n" + sideLine(top, X, Y, "common/terrain") + sideLine(o, Y, X, "common/caulk");
    if (!flipped)
        s += sideLine(o, Z, Y, "common/caulk") + sideLine(o, X, Z, "common/caulk") + sideLine(east, D, Z, "common/caulk");
    else
        s += sideLine(east, Y, Z, "common/caulk") + sideLine(north, Z, X, "common/caulk") + sideLine(east, Z, D, "common/caulk");
    return s + "}\n";
}

} // namespace

// What shader scripts and entity keys do to the drawn faces: clip brushes
// and brushes with a see-through side hide nothing, a drawn side wins over
// an undrawn one on the same plane, a side partly covered is drawn whole (the hull of its
// visible parts), _celshader adds turned outline clones, a terrain entity
// paints its sides with the layer shaders of its index map (blended by
// vertex alpha, placed by q3map_tcGen), and
// q3map_surfacemodel scatters models over a shader's faces.
TEST(MapcGeometry, ShadersAndEntityKeysChangeTheDrawnFaces)
{
    char dir[] = "/tmp/mapc_shadersXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string root = dir;
    mkdir((root + "/scripts").c_str(), 0755);
    mkdir((root + "/maps").c_str(), 0755);
    writeBytes(root + "/scripts/test.shader",
               "textures/t/fullclip\n{\n surfaceparm nodraw\n surfaceparm playerclip\n}\n"
               "textures/t/grate\n{\n surfaceparm trans\n}\n"
               "textures/t/cel\n{\n q3map_invert\n q3map_offset -2.0\n surfaceparm nolightmap\n surfaceparm trans\n"
               " surfaceparm nonsolid\n}\n"
               "textures/common/terrain\n{\n q3map_terrain\n surfaceparm nodraw\n surfaceparm nolightmap\n}\n"
               "textures/t/ground_1\n{\n q3map_surfacemodel models/tri.md3 64 1 1 1 0 0 1\n"
               " q3map_tcGen ivector ( 256 0 0 ) ( 0 128 0 )\n}\n");
    mkdir((root + "/models").c_str(), 0755);
    std::vector<unsigned char> md3 = md3Triangle("models/tri/skin");
    writeBytes(root + "/models/tri.md3", std::string(md3.begin(), md3.end()));
    // A 2 x 2 index map: layer 1 but for the corner at the smallest x and y.
    std::string pcx(128, '\0');
    const unsigned char header[] = {0x0a, 5, 1, 8, 0, 0, 0, 0, 1, 0, 1, 0};
    std::copy(header, header + sizeof(header), pcx.begin());
    pcx[65] = 1;
    pcx[66] = 2;
    pcx += std::string("\x01\x01\x00\x01", 4);
    writeBytes(root + "/maps/t.pcx", pcx);
    FileSystem files;
    files.setReporter([](void*, bool, const char*) {}, nullptr);
    files.addFolder(root.c_str());
    mapc::CompileOptions options;
    options.files = &files;

    // A pillar on the floor, a clip brush against the east wall, a caulked
    // column with a grate side in the south-west corner, a metal box inside
    // a caulk box (their sides coplanar).
    std::string column = brush({0, 0, 0, 16, 100, 256}, "common/caulk");
    const size_t east = column.find("common/caulk", column.find("common/caulk", column.find("common/caulk") + 1) + 1);
    column.replace(east, 12, "t/grate");
    Compiled c;
    compile(entity("\"classname\" \"worldspawn\"\n\"_celshader\" \"t/cel\"\n" + hollowRoom({0, 0, 0, 512, 512, 256}) +
                   brush({200, 200, 0, 264, 264, 256}) + brush({448, 0, 0, 512, 512, 256}, "t/fullclip") + column +
                   brush({300, 300, 0, 400, 400, 40}, "common/caulk") + brush({300, 300, 0, 400, 400, 20}, "halvex/metal")) +
                pointEntity("info_player_start", 100, 100, 64),
            c, options);
    ASSERT_TRUE(c.compiled) << c.diag.error;
    ASSERT_TRUE(c.valid) << c.problem;
    FaceAreas a = faceAreas(c.lumps);
    EXPECT_NEAR(a.area["textures/halvex/floor"], 512.0 * 512.0, 1.0);
    EXPECT_EQ(a.faces["textures/halvex/floor"], 1);
    // Walls and ceiling whole (behind the clip and the grate column too),
    // the pillar's four sides; the grate.
    EXPECT_NEAR(a.area["textures/halvex/wall"], 4 * 512.0 * 256 + 512.0 * 512 + 4 * 64.0 * 256, 1.0);
    EXPECT_NEAR(a.area["textures/t/grate"], 100.0 * 256, 1.0);
    EXPECT_NEAR(a.area["textures/halvex/metal"], 4 * 100.0 * 20, 1.0);  // the caulk's sides give way
    EXPECT_NEAR(a.area["textures/t/cel"],
                a.area["textures/halvex/wall"] + a.area["textures/halvex/floor"] + a.area["textures/t/grate"] +
                    a.area["textures/halvex/metal"], 1.0);
    EXPECT_EQ(a.faces["textures/t/cel"], a.faces["textures/halvex/wall"] + a.faces["textures/halvex/floor"] +
                                             a.faces["textures/t/grate"] + a.faces["textures/halvex/metal"]);
    int celFloors = 0;
    for (const bsp::BspFace& f : c.lumps.faces) {
        if (std::string(c.lumps.textures[static_cast<size_t>(f.texture)].name) != "textures/t/cel") continue;
        EXPECT_EQ(f.lightmap, -1);
        if (f.normal[2] > -0.99f) continue;
        ++celFloors;  // the floor's clone: turned down, 2 units above it
        for (int v = 0; v < f.vertexCount; ++v)
            EXPECT_FLOAT_EQ(c.lumps.vertices[static_cast<size_t>(f.firstVertex + v)].position[2], 2.0f);
    }
    EXPECT_EQ(celFloors, 1);

    Compiled t;
    compile(entity("\"classname\" \"worldspawn\"\n" + hollowRoom({0, 0, 0, 512, 512, 256})) +
                entity("\"classname\" \"func_group\"\n\"terrain\" \"1\"\n\"layers\" \"2\"\n\"shader\" \"t/ground\"\n"
                       "\"alphamap\" \"maps/t.pcx\"\n" + withFlags(terrainPrism(false), "134217728 0 0") +
                       withFlags(terrainPrism(true), "134217728 0 0")) +
                pointEntity("info_player_start", 100, 100, 64),
            t, options);
    ASSERT_TRUE(t.compiled) << t.diag.error;
    ASSERT_TRUE(t.valid) << t.problem;
    FaceAreas ta = faceAreas(t.lumps);
    EXPECT_NEAR(ta.area["textures/t/ground_0to1"], 512.0 * 512 / 2, 1.0);
    EXPECT_NEAR(ta.area["textures/t/ground_1"], 512.0 * 512 / 2, 1.0);
    EXPECT_EQ(ta.faces.count("textures/common/terrain"), 0u);
    // The blend is see-through (alpha 0) at the lower layer's corner; the
    // layer's q3map_tcGen places its texture by world position.
    for (const bsp::BspFace& f : t.lumps.faces) {
        const std::string name = t.lumps.textures[static_cast<size_t>(f.texture)].name;
        for (int k = 0; k < f.vertexCount && name.compare(0, 18, "textures/t/ground_") == 0; ++k) {
            const bsp::BspVertex& v = t.lumps.vertices[static_cast<size_t>(f.firstVertex + k)];
            const bool lowCorner = v.position[0] < 1 && v.position[1] < 1;
            EXPECT_EQ(v.color[3], lowCorner ? 0 : 255) << name << " " << v.position[0] << " " << v.position[1];
            if (name == "textures/t/ground_1") {
                EXPECT_FLOAT_EQ(v.texCoord[0], v.position[0] / 256.0f);
                EXPECT_FLOAT_EQ(v.texCoord[1], v.position[1] / 128.0f);
            }
        }
    }
    // Layer 1 scatters a model on each of its 128 pieces no longer than 64
    // units: a 64 x 64 triangle each, twice the layer's own area.
    EXPECT_EQ(ta.faces["models/tri/skin"], 128);
    EXPECT_NEAR(ta.area["models/tri/skin"], 512.0 * 512, 1.0);
    EXPECT_EQ(std::system(("rm -rf " + root).c_str()), 0);
}
