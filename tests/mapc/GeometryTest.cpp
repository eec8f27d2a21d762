#include <gtest/gtest.h>
#include <array>
#include <cmath>
#include <cstdlib>
#include "MapcTestSupport.h"
#include "world/Overbright.h"

using namespace mapctest;

namespace {

std::string world(const std::string& brushes) { return entity("\"classname\" \"worldspawn\"\n" + brushes); }

// 1024 x 1024 x 256 room with a 64-unit pillar and one light west of it.
std::string pillarRoom()
{
    return world(hollowRoom({0, 0, 0, 1024, 1024, 256}) + brush({480, 480, 0, 544, 544, 256}, "halvex/metal") +
                 "\"ambient\" \"10\"\n") +
           pointEntity("info_player_start", 100, 100, 64) +
           pointEntity("light", 300, 512, 128, "\"light\" \"600\"\n\"_color\" \"1 0.5 0.5\"\n");
}

// Lightmap texel of the floor at file point (x, y, 0) as the game shows it:
// brightened by the overbright factor the compiler stores light for. All -1
// when no floor face holds the point.
std::array<int, 3> floorLuxel(const mapc::LevelLumps& l, double x, double y)
{
    for (const bsp::BspFace& f : l.faces) {
        if (f.normal[2] < 0.99f || std::fabs(f.lightmapOrigin[2]) > 0.01f) continue;
        double i = (x - f.lightmapOrigin[0]) / f.lightmapVecs[0][0];
        double j = (y - f.lightmapOrigin[1]) / f.lightmapVecs[1][1];
        int ii = static_cast<int>(std::lround(i)), jj = static_cast<int>(std::lround(j));
        if (ii < 0 || jj < 0 || ii >= f.lightmapSize[0] || jj >= f.lightmapSize[1]) continue;
        size_t at = static_cast<size_t>(f.lightmap) * bsp::kLightmapBytes +
                    (static_cast<size_t>(f.lightmapCorner[1] + jj) * bsp::kLightmapSize + f.lightmapCorner[0] + ii) * 3;
        uint8_t shown[3] = {l.lightmaps[at], l.lightmaps[at + 1], l.lightmaps[at + 2]};
        brightenColour(shown, kDefaultOverbright);
        return {shown[0], shown[1], shown[2]};
    }
    return {-1, -1, -1};
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
    double expected = 2.0 * 1024 * 1024 - 2.0 * 64 * 64 + 4.0 * 1024 * 256 + 4.0 * 64 * 256;
    EXPECT_NEAR(area, expected, 1.0);
}

TEST(MapcGeometry, LightFallsOffAndThePillarCastsAShadow)
{
    Compiled c;
    compile(pillarRoom(), c);
    ASSERT_TRUE(c.compiled) << c.diag.error;
    std::array<int, 3> near = floorLuxel(c.lumps, 300, 512);
    std::array<int, 3> far = floorLuxel(c.lumps, 300, 912);
    std::array<int, 3> shadowed = floorLuxel(c.lumps, 700, 512);
    std::array<int, 3> corner = floorLuxel(c.lumps, 1000, 1000);
    ASSERT_TRUE(near[0] >= 0 && far[0] >= 0 && shadowed[0] >= 0 && corner[0] >= 0);
    EXPECT_GT(near[0], far[0] + 40);
    EXPECT_GT(far[0], shadowed[0] + 4);   // same distance from the light
    EXPECT_NEAR(shadowed[0], 10, 2);      // ambient only
    EXPECT_NEAR(corner[1], 10, 2);
    EXPECT_GT(near[0], near[1]);          // "_color" tints red

    // No time for lighting: every face is still lit, without shadows, and
    // the compiler says so.
    Compiled cut;
    mapc::CompileOptions rushed;
    rushed.lightSeconds = 0;
    compile(pillarRoom(), cut, rushed);
    ASSERT_TRUE(cut.compiled) << cut.diag.error;
    std::array<int, 3> unshadowed = floorLuxel(cut.lumps, 700, 512);
    std::array<int, 3> nearCut = floorLuxel(cut.lumps, 300, 512);
    ASSERT_TRUE(unshadowed[0] >= 0 && nearCut[0] >= 0);
    EXPECT_EQ(nearCut[0], near[0]);
    EXPECT_GT(unshadowed[0], shadowed[0] + 4);
    bool warned = false;
    for (const std::string& w : cut.diag.warnings)
        warned = warned || w.find("lighting too costly to work out in full") != std::string::npos;
    EXPECT_TRUE(warned);
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
    // asks for (1024 by default, 0 for none).
    const Box air{0, 0, 0, 4096, 512, 256};
    auto hall = [&](const std::string& keys, Compiled& c) {
        compile(entity("\"classname\" \"worldspawn\"\n" + keys + hollowRoom(air)) +
                    pointEntity("info_player_start", 100, 100, 64),
                c);
        EXPECT_TRUE(c.compiled) << c.diag.error;
        EXPECT_TRUE(c.valid) << c.problem;
        EXPECT_FALSE(c.stats.visCutShort);
        return c.stats.clusters;
    };
    Compiled plain, none, fine, fogged;
    EXPECT_EQ(hall("", plain), 4);
    EXPECT_EQ(hall("\"_blocksize\" \"0\"\n", none), 1);
    EXPECT_EQ(hall("\"_blocksize\" \"512 512 0\"\n", fine), 8);

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
