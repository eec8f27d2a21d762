// The level compiler's light sources, read back from the lightmaps of small
// compiled levels: suns from a sky shader and from a light entity, flood
// light, glowing faces coloured by their light image, glowing patches
// (one- and two-sided), linear lights and lights written as "r g b intensity";
// and the box tree the shadow tests walk, and the triangles patches shade with.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include "BoxTree.h"
#include "Patches.h"
#include "MapcTestSupport.h"

using namespace mapctest;

namespace {


// A room of air box a, its ceiling of the given shader and 16 units thick.
std::string roomWithCeiling(const Box& a, const char* ceiling)
{
    const int t = 16;
    return brush({a.x1 - t, a.y1 - t, a.z1 - t, a.x2 + t, a.y2 + t, a.z1}, "halvex/floor") +
           brush({a.x1 - t, a.y1 - t, a.z2, a.x2 + t, a.y2 + t, a.z2 + t}, ceiling) +
           brush({a.x1 - t, a.y1 - t, a.z1, a.x1, a.y2 + t, a.z2}) + brush({a.x2, a.y1 - t, a.z1, a.x2 + t, a.y2 + t, a.z2}) +
           brush({a.x1, a.y1 - t, a.z1, a.x2, a.y1, a.z2}) + brush({a.x1, a.y2, a.z1, a.x2, a.y2 + t, a.z2});
}

// A flat 3 x 3 patch of the shader over x1..x2, y1..y2 at height z,
// facing down, or up when `up`.
std::string flatPatch(const char* shader, int x1, int y1, int x2, int y2, int z, bool up)
{
    std::string text = std::string("{\npatchDef2\n{\n") + shader + "\n( 3 3 0 0 0 )\n(\n";
    char point[128];
    for (int c = 0; c < 3; ++c) {
        text += "( ";
        for (int r = 0; r < 3; ++r) {
            const int x = x1 + (x2 - x1) * c / 2, y = up ? y1 + (y2 - y1) * r / 2 : y2 - (y2 - y1) * r / 2;
            std::snprintf(point, sizeof(point), "( %d %d %d %g %g ) ", x, y, z, c * 0.5, r * 0.5);
            text += point;
        }
        text += ")\n";
    }
    return text + ")\n}\n}\n";
}

} // namespace

// Rooms open to the sky, no light entity, no ambient. A sky shader's
// reddish sun 45 degrees up in the east lights the floor with its
// intensity times the cosine, and a pillar, a floating detail slab and a
// floating patch cast their shadows to the west (a see-through patch does
// not). A
// plain sky with a light entity of "_sun" aimed at a point below it: a sun
// as bright shines straight down through the half of the ceiling that is
// sky, the roofed half stays dark; a step there whose shader has
// "q3map_lightmapBrightness 0.5" keeps half the light; a floating
// see-through grate with "alphashadow" shades the floor only under the
// opaque half of its picture, and so does a solid detail rail with that
// shader but no "trans"; a grate whose picture has no alpha shades wholly,
// one whose picture is missing not at all.
TEST(MapcLight, SunsFromTheSkyShaderAndFromALightEntity)
{
    SearchFolder folder;
    folder.write("scripts/test.shader",
                 "textures/test/sunsky\n{\n surfaceparm sky\n surfaceparm noimpact\n q3map_sun 1 0.5 0.5 40 0 45\n}\n"
                 "textures/test/sky\n{\n surfaceparm sky\n surfaceparm noimpact\n}\n"
                 "textures/test/dim\n{\n q3map_lightmapBrightness 0.5\n}\n"
                 "textures/test/grate\n{\n surfaceparm trans\n surfaceparm alphashadow\n"
                 " {\n map textures/test/grate.tga\n alphaFunc GE128\n }\n}\n"
                 "textures/test/rail\n{\n surfaceparm alphashadow\n {\n map textures/test/grate.tga\n }\n}\n"
                 "textures/test/plaingrate\n{\n surfaceparm trans\n surfaceparm alphashadow\n {\n map textures/test/plain.tga\n }\n}\n"
                 "textures/test/lostgrate\n{\n surfaceparm trans\n surfaceparm alphashadow\n {\n map textures/test/lost.tga\n }\n}\n");
    ASSERT_FALSE(folder.root.empty());
    std::string grate(18, '\0');  // 128 x 1, 32 bits: see-through texels 0-63, opaque 64-127
    grate[2] = 2, grate[12] = '\x80', grate[14] = 1, grate[16] = 32;
    for (int i = 0; i < 128; ++i) grate += std::string("\x80\x80\x80", 3) + (i < 64 ? '\x00' : '\xff');
    folder.write("textures/test/grate.tga", grate);
    std::string plain(18, '\0');  // 1 x 1, 24 bits: no alpha
    plain[2] = 2, plain[12] = 1, plain[14] = 1, plain[16] = 24;
    folder.write("textures/test/plain.tga", plain + std::string("\x80\x80\x80", 3));
    Compiled fromSky, fromEntity;
    compile(world(roomWithCeiling({0, 0, 0, 1024, 512, 256}, "test/sunsky") +
                  brush({224, 224, 0, 288, 288, 256}, "halvex/metal") +
                  withFlags(brush({640, 192, 128, 768, 320, 144}, "halvex/metal"), "134217728 0 0") +
                  flatPatch("halvex/metal", 640, 384, 768, 480, 136, true) + flatPatch("test/grate", 640, 32, 768, 128, 136, true)) +
                pointEntity("info_player_start", 100, 100, 64),
            fromSky, folder.options);
    compile(world(roomWithCeiling({0, 0, 0, 512, 512, 256}, "test/sky") + brush({0, 0, 240, 256, 512, 256}) +
                  brush({320, 320, 0, 512, 416, 16}, "halvex/floor") + brush({320, 416, 0, 512, 512, 16}, "test/dim") +
                  withFlags(brush({272, 32, 128, 512, 160, 136}, "test/grate"), "134217728 0 0") +
                  withFlags(brush({272, 176, 128, 512, 240, 136}, "test/rail"), "134217728 0 0") +
                  withFlags(brush({272, 248, 128, 384, 312, 136}, "test/plaingrate"), "134217728 0 0") +
                  withFlags(brush({400, 248, 128, 512, 312, 136}, "test/lostgrate"), "134217728 0 0")) +
                pointEntity("info_player_start", 100, 100, 64) +
                pointEntity("light", 400, 256, 200, "\"light\" \"40\"\n\"_sun\" \"1\"\n\"target\" \"below\"\n") +
                pointEntity("info_null", 400, 256, 0, "\"targetname\" \"below\"\n"),
            fromEntity, folder.options);
    ASSERT_TRUE(fromSky.valid && fromEntity.valid) << fromSky.diag.error << fromSky.problem << fromEntity.diag.error
                                                   << fromEntity.problem;
    const std::array<int, 3> open = floorLuxel(fromSky.lumps, 400, 256), shadow = floorLuxel(fromSky.lumps, 200, 256);
    const std::array<int, 3> under = floorLuxel(fromEntity.lumps, 400, 256), roofed = floorLuxel(fromEntity.lumps, 100, 256);
    ASSERT_TRUE(open[0] >= 0 && shadow[0] >= 0 && under[0] >= 0 && roofed[0] >= 0);
    // Both suns of intensity 40: the sloping one gives the cosine's share
    // (give or take what the lit walls bounce); shadows hold bounced light only.
    EXPECT_GT(under[0], 30);
    EXPECT_NEAR(open[0], under[0] * std::sqrt(0.5), under[0] * 0.15);
    EXPECT_NEAR(open[1], open[0] / 2, 3);  // the sun's colour
    EXPECT_LT(shadow[0], open[0] / 3);
    // A floating detail slab (it makes no solid leaf) shades the floor too.
    const std::array<int, 3> underSlab = floorLuxel(fromSky.lumps, 568, 256), underPatch = floorLuxel(fromSky.lumps, 568, 432);
    EXPECT_LT(underSlab[0], open[0] / 3);
    EXPECT_LT(underPatch[0], open[0] / 3);  // and so does a patch
    EXPECT_GT(floorLuxel(fromSky.lumps, 568, 80)[0], open[0] * 3 / 4);  // not a see-through one
    // Both patches were written facing up, as editors do: so are their stored normals.
    for (const bsp::BspFace& f : fromSky.lumps.faces)
        for (int v = 0; f.type == bsp::FacePatch && v < f.vertexCount; ++v)
            EXPECT_GT(fromSky.lumps.vertices[static_cast<size_t>(f.firstVertex + v)].normal[2], 0.99f);
    EXPECT_EQ(under[0], under[2]);  // a white light
    EXPECT_LT(roofed[0], under[0] / 3);
    const std::array<int, 3> step = floorLuxel(fromEntity.lumps, 400, 368, true, 16);
    const std::array<int, 3> dim = floorLuxel(fromEntity.lumps, 400, 464, true, 16);
    EXPECT_GT(step[0], 30);
    EXPECT_NEAR(dim[0], step[0] / 2, step[0] / 10 + 2);
    // The grate's picture repeats every 128 units along x, see-through first.
    for (int y : {96, 208})
        for (int x = 256; x < 512; x += 128) {
            const std::array<int, 3> hole = floorLuxel(fromEntity.lumps, x + 32, y), bar = floorLuxel(fromEntity.lumps, x + 96, y);
            ASSERT_TRUE(hole[0] >= 0 && bar[0] >= 0);
            EXPECT_GT(hole[0], under[0] * 3 / 4) << x << " " << y;
            EXPECT_LT(bar[0], under[0] / 3) << x << " " << y;
        }
    // A grate picture without alpha shades wholly; one that cannot be found, not at all.
    EXPECT_LT(floorLuxel(fromEntity.lumps, 328, 280)[0], under[0] / 3);
    EXPECT_GT(floorLuxel(fromEntity.lumps, 456, 280)[0], under[0] * 3 / 4);
}

// Flood light in a closed room lights the middle of the floor fully and
// the corner, where walls are near, less; "ambient" (stored 1.5, 6 as
// shown) adds to both. Then three closed rooms: a ceiling panel whose
// shader glows in its light image's colour, a linear light ("spawnflags"
// 1) that fades to nothing at "light" units, and a blue light ("_color").
// Then glowing patches halfway up: facing down, facing
// up, and facing up with a "cull none" shader, which glows from its back
// too; the one facing up again over a detail slab, which stops bounced light.
TEST(MapcLight, FloodLightGlowingFacesAndLightForms)
{
    SearchFolder folder;
    folder.write("scripts/test.shader",
                 "textures/test/glow\n{\n q3map_surfacelight 1000\n q3map_lightimage textures/test/orange.tga\n}\n"
                 "textures/test/panel\n{\n q3map_surfacelight 300\n}\n"
                 "textures/test/bothsides\n{\n q3map_surfacelight 300\n cull none\n}\n");
    ASSERT_FALSE(folder.root.empty());
    std::string tga(18, '\0');  // 2 x 2, 24 bits, stored b g r
    tga[2] = 2, tga[12] = 2, tga[14] = 2, tga[16] = 24;
    for (int i = 0; i < 4; ++i) tga += std::string("\x00\x80\xff", 3);
    folder.write("textures/test/orange.tga", tga);

    Compiled flood;
    compile(entity("\"classname\" \"worldspawn\"\n\"_floodlight\" \"255 255 255 128 60\"\n\"ambient\" \"1.5\"\n" +
                   hollowRoom({0, 0, 0, 512, 512, 256})) +
                pointEntity("info_player_start", 100, 100, 64),
            flood, folder.options);
    ASSERT_TRUE(flood.compiled) << flood.diag.error;
    for (const std::string& w : flood.diag.warnings) EXPECT_EQ(w.find("_floodlight"), std::string::npos) << w;
    const std::array<int, 3> middle = floorLuxel(flood.lumps, 256, 256), corner = floorLuxel(flood.lumps, 8, 8);
    ASSERT_TRUE(middle[0] >= 0 && corner[0] >= 0);
    EXPECT_GT(middle[0], 6 + 15);
    EXPECT_LT(corner[0], middle[0] - 15);
    EXPECT_GT(corner[0], 6 + 5);

    Compiled c;
    const std::string panel = brush({192, 192, 240, 320, 320, 256}, "test/glow");
    compile(world(hollowRoom({0, 0, 0, 512, 512, 256}) + panel + hollowRoom({1024, 0, 0, 1536, 512, 256}) +
                  hollowRoom({2048, 0, 0, 2560, 512, 256}) + hollowRoom({3072, 0, 0, 3584, 512, 256}) +
                  flatPatch("test/panel", 3264, 192, 3392, 320, 128, false) + hollowRoom({4096, 0, 0, 4608, 512, 256}) +
                  flatPatch("test/panel", 4288, 192, 4416, 320, 128, true) + hollowRoom({5120, 0, 0, 5632, 512, 256}) +
                  flatPatch("test/bothsides", 5312, 192, 5440, 320, 128, true) + hollowRoom({6144, 0, 0, 6656, 512, 256}) +
                  flatPatch("test/panel", 6336, 192, 6464, 320, 128, true) +
                  withFlags(brush({6272, 128, 48, 6528, 384, 64}, "halvex/metal"), "134217728 0 0") +
                  withFlags(brush({2336, 128, 120, 2496, 384, 136}, "halvex/metal"), "134217728 0 0")) +
                pointEntity("info_player_start", 100, 100, 64) + pointEntity("info_player_deathmatch", 1100, 100, 64) +
                pointEntity("info_player_deathmatch", 3100, 100, 64) + pointEntity("info_player_deathmatch", 4100, 100, 64) +
                pointEntity("info_player_deathmatch", 5200, 100, 64) + pointEntity("info_player_deathmatch", 6200, 60, 64) +
                pointEntity("info_player_deathmatch", 2100, 100, 64) +
                pointEntity("light", 1280, 256, 100, "\"light\" \"200\"\n\"spawnflags\" \"1\"\n") +
                pointEntity("light", 2304, 256, 200, "\"light\" \"300\"\n\"_color\" \"0 0 1\"\n"),
            c, folder.options);
    ASSERT_TRUE(c.compiled) << c.diag.error;
    ASSERT_TRUE(c.valid) << c.problem;
    const std::array<int, 3> lit = floorLuxel(c.lumps, 256, 256);
    ASSERT_GE(lit[0], 0);
    EXPECT_GT(lit[0], 40);
    EXPECT_LT(lit[0], 250);  // not cut at full light: the colour shows
    EXPECT_NEAR(lit[1], lit[0] / 2, 3);  // orange
    EXPECT_LE(lit[2], 1);
    const std::array<int, 3> below = floorLuxel(c.lumps, 1280, 256), aside = floorLuxel(c.lumps, 1280, 416),
                             past = floorLuxel(c.lumps, 1280, 480);
    ASSERT_TRUE(below[0] >= 0 && aside[0] >= 0 && past[0] >= 0);
    // Light minus distance, plus a little the walls bounce.
    EXPECT_GE(below[0], 200 - 100 - 3);
    EXPECT_LE(below[0], 200 - 100 + 10);
    EXPECT_GE(aside[0], (200 - 188.7) * 100 / 188.7 - 3);  // 160 aside: times the cosine
    EXPECT_LT(aside[0], below[0] / 4);
    EXPECT_LT(past[0], aside[0]);  // 250 away: bounced light only
    const std::array<int, 3> blue = floorLuxel(c.lumps, 2304, 256);
    ASSERT_GE(blue[0], 0);
    EXPECT_LE(blue[0], 1);
    EXPECT_LE(blue[1], 1);
    EXPECT_GT(blue[2], 20);
    // A floating detail slab shades the floor under it from the light; the mirror spot is open.
    const std::array<int, 3> shaded = floorLuxel(c.lumps, 2432, 256), open = floorLuxel(c.lumps, 2176, 256);
    ASSERT_TRUE(shaded[0] >= 0 && open[0] >= 0);
    EXPECT_LT(shaded[2], open[2] / 3);
    const std::array<int, 3> down = floorLuxel(c.lumps, 3328, 256), up = floorLuxel(c.lumps, 4352, 256),
                             both = floorLuxel(c.lumps, 5376, 256);
    ASSERT_TRUE(down[0] >= 0 && up[0] >= 0 && both[0] >= 0);
    EXPECT_GT(down[0], 40);
    EXPECT_LT(up[0], down[0] / 3);  // the ceiling's bounce only
    EXPECT_NEAR(both[0], down[0], down[0] / 4);
    // Under a detail slab the floor sees the slab's dark underside, not the lit ceiling.
    const std::array<int, 3> underSlab = floorLuxel(c.lumps, 6400, 256);
    ASSERT_GE(underSlab[0], 0);
    EXPECT_LT(underSlab[0], up[0] / 2);
}

// Glowing walls standing on the floor. Lit as the whole face seen, the
// floor at a wall's foot is brighter than further out (a point in front of
// the face would graze it, and dirt would darken the corner were a glowing
// face's light not spared). The wall's top, which glows too, is
// lit by its back-splash; a shader with "q3map_backsplash 0 0" leaves it
// dark. In a third room, the floor under a box in its middle (where a
// luxel under the box looks for an open point) takes the light of the
// floor beside it instead of staying black.
TEST(MapcLight, GlowingWallsLightTheirFootAndThemselvesAndCoveredLuxelsBorrow)
{
    SearchFolder folder;
    folder.write("scripts/test.shader", "textures/test/glowwall\n{\n q3map_surfacelight 60\n}\n"
                                        "textures/test/nosplash\n{\n q3map_surfacelight 60\n q3map_backsplash 0 0\n}\n");
    ASSERT_FALSE(folder.root.empty());
    Compiled c;
    compile(world(hollowRoom({0, 0, 0, 512, 512, 256}) +
                   brush({240, 192, 0, 256, 320, 128}, "test/glowwall") + hollowRoom({1024, 0, 0, 1536, 512, 256}) +
                   brush({1264, 192, 0, 1280, 320, 128}, "test/nosplash") + hollowRoom({2048, 0, 0, 2560, 512, 256}) +
                   brush({2240, 192, 0, 2368, 320, 64}, "halvex/metal")) +
                pointEntity("info_player_start", 100, 100, 64) + pointEntity("info_player_deathmatch", 1100, 100, 64) +
                pointEntity("info_player_deathmatch", 2100, 100, 64) +
                pointEntity("light", 2150, 120, 200, "\"light\" \"300\"\n"),
            c, folder.options);
    ASSERT_TRUE(c.compiled) << c.diag.error;
    ASSERT_TRUE(c.valid) << c.problem;
    const std::array<int, 3> foot = floorLuxel(c.lumps, 264, 256), out = floorLuxel(c.lumps, 296, 256);
    const std::array<int, 3> top = floorLuxel(c.lumps, 248, 256, true, 128), bareTop = floorLuxel(c.lumps, 1272, 256, true, 128);
    const std::array<int, 3> covered = floorLuxel(c.lumps, 2304, 256), beside = floorLuxel(c.lumps, 2224, 256);
    ASSERT_TRUE(foot[0] >= 0 && out[0] >= 0 && top[0] >= 0 && bareTop[0] >= 0 && covered[0] >= 0 && beside[0] >= 0);
    EXPECT_GT(foot[0], out[0] + 10);
    EXPECT_GT(top[0], bareTop[0] + 6);  // the other: what the floor bounces up
    EXPECT_GT(covered[0], beside[0] / 3);  // the mean of the box's edge, some of it in its shadow
}

// A closed room with no light: the worldspawn's "ambient" and "_minlight"
// name stored bytes and its "_color" scales them as given; its "light" and
// "_ambient" add nothing. A step whose shader halves its stored light
// ("q3map_lightmapBrightness 0.5") is halved after the minimum.
TEST(MapcLight, WorldspawnAmbientAndMinimumAreStoredBytes)
{
    SearchFolder folder;
    folder.write("scripts/test.shader", "textures/test/dim\n{\n q3map_lightmapBrightness 0.5\n}\n");
    ASSERT_FALSE(folder.root.empty());
    Compiled c;
    compile(entity("\"classname\" \"worldspawn\"\n\"ambient\" \"10\"\n\"_minlight\" \"8\"\n"
                   "\"_color\" \"1 0.5 0\"\n\"light\" \"8192\"\n\"_ambient\" \"40\"\n" +
                   hollowRoom({0, 0, 0, 512, 512, 256}) + brush({256, 0, 0, 512, 512, 16}, "test/dim")) +
                pointEntity("info_player_start", 100, 100, 64),
            c, folder.options);
    ASSERT_TRUE(c.compiled) << c.diag.error;
    ASSERT_TRUE(c.valid) << c.problem;
    const std::array<int, 3> floor = floorLuxel(c.lumps, 128, 256, false), corner = floorLuxel(c.lumps, 8, 8, false);
    const std::array<int, 3> dim = floorLuxel(c.lumps, 384, 256, false, 16);
    ASSERT_TRUE(floor[0] >= 0 && dim[0] >= 0);
    EXPECT_NEAR(floor[0], 10, 1);  // the ambient, over the minimum
    EXPECT_NEAR(floor[1], 5, 1);
    EXPECT_EQ(floor[2], 0);
    EXPECT_EQ(corner, floor);  // no light to bounce
    EXPECT_NEAR(dim[0], 5, 1);  // halved after the minimum, not raised to it
    EXPECT_NEAR(dim[1], 2.5, 1);
}

// The tree the shadow tests walk, over a grid of boxes, five boxes sharing
// one centre and one whose centre is not a number: a segment visits (a
// superset of) the boxes it meets and few others, nearest first, stops
// when asked, and a segment past them all visits none.
TEST(MapcLight, BoxTreeVisitsTheBoxesASegmentMeets)
{
    std::vector<mapc::Bounds> boxes;
    std::vector<mapc::Vec3> centres;
    auto add = [&](const mapc::Vec3& lo, const mapc::Vec3& hi, const mapc::Vec3& centre) {
        mapc::Bounds b;
        b.add(lo);
        b.add(hi);
        boxes.push_back(b);
        centres.push_back(centre);
    };
    for (int x = 0; x < 8; ++x)
        for (int y = 0; y < 8; ++y)
            add({x * 100.0, y * 100.0, 0}, {x * 100.0 + 50, y * 100.0 + 50, 50}, {x * 100.0 + 25, y * 100.0 + 25, 25});
    for (int i = 0; i < 5; ++i) add({1000, 1000, 0}, {1010, 1010, 10}, {1005, 1005, 5});
    add({2000, 2000, 0}, {2010, 2010, 10}, {std::nan(""), 2005, 5});
    mapc::BoxTree tree;
    std::vector<int> order;
    tree.build(boxes, centres, order);
    ASSERT_EQ(order.size(), boxes.size());
    auto visited = [&](const mapc::Vec3& a, const mapc::Vec3& b) {
        std::vector<int> seen;
        EXPECT_FALSE(tree.search(a, b, 0.0, 1.0, [&](int slot, double&) {
            seen.push_back(order[static_cast<size_t>(slot)]);
            return false;
        }));
        return seen;
    };
    // Along the first row: all eight of its boxes, in order, and not the rest.
    const std::vector<int> row = visited({-10, 25, 25}, {1100, 25, 25});
    std::vector<int> rowBoxes;
    for (int box : row)
        if (box < 64 && box % 8 == 0) rowBoxes.push_back(box);
    EXPECT_EQ(rowBoxes, (std::vector<int>{0, 8, 16, 24, 32, 40, 48, 56}));
    EXPECT_LE(row.size(), 16u);
    const std::vector<int> heap = visited({1005, 1005, -10}, {1005, 1005, 20});
    for (int i = 64; i < 69; ++i) EXPECT_NE(std::find(heap.begin(), heap.end(), i), heap.end()) << i;
    const std::vector<int> odd = visited({2005, 2005, -10}, {2005, 2005, 20});
    EXPECT_NE(std::find(odd.begin(), odd.end(), 69), odd.end());
    EXPECT_TRUE(visited({-10, 25, 500}, {1100, 25, 500}).empty());
    // Asked to stop at the first box met, from the far end: the nearest to that end.
    int first = -1;
    EXPECT_TRUE(tree.search({1100, 25, 25}, {-10, 25, 25}, 0.0, 1.0, [&](int slot, double&) {
        first = order[static_cast<size_t>(slot)];
        return true;
    }));
    EXPECT_EQ(first, 56);
}

// The triangles a patch casts its shadow with, on 3 x 5 grids running along
// x: a flat patch takes one step per quadratic piece; an arch's stay within
// a quarter unit of the true curve (sampled finely), so a patch cannot shade
// its own luxels, lifted a unit off it; a grid with a huge coordinate gets
// the most steps (16 per piece), its step count never cast out of range.
TEST(MapcLight, PatchShadowTrianglesKeepToTheCurve)
{
    auto patch = [](const std::array<double, 2> (&yz)[5]) {
        mapc::Surface s;
        s.gridSize[0] = 3, s.gridSize[1] = 5;
        for (int r = 0; r < 5; ++r)
            for (int c = 0; c < 3; ++c) s.grid.push_back(mapc::PatchPoint{mapc::Vec3(32.0 * c, yz[r][0], yz[r][1]), {0, 0}});
        return s;
    };
    const std::array<double, 2> flatRows[5] = {{0, 0}, {32, 0}, {64, 0}, {96, 0}, {128, 0}};
    const std::array<double, 2> archRows[5] = {{0, 0}, {0, 64}, {64, 64}, {128, 64}, {128, 0}};
    const std::array<double, 2> wildRows[5] = {{0, 0}, {0, 1e30}, {64, 64}, {128, 64}, {128, 0}};
    std::vector<mapc::Vec3> flat, arch, wild;
    mapc::patchTriangles(patch(flatRows), 0.25, flat);
    EXPECT_EQ(flat.size(), 3u * 2 * 2);  // one piece across, two along
    const mapc::Surface archSurface = patch(archRows);
    mapc::patchTriangles(archSurface, 0.25, arch);
    ASSERT_GT(arch.size(), 3u * 2 * 2 * 8);  // bent pieces take several steps
    std::vector<mapc::Vec3> curve;
    for (int k = 0; k <= 4000; ++k) curve.push_back(mapc::patchPoint(archSurface, 0.5, k / 4000.0, nullptr));
    double worst = 0.0;
    for (size_t t = 0; t + 2 < arch.size(); t += 3)
        for (const mapc::Vec3& p : {(arch[t] + arch[t + 1]) * 0.5, (arch[t + 1] + arch[t + 2]) * 0.5,
                                    (arch[t] + arch[t + 1] + arch[t + 2]) * (1.0 / 3.0)}) {
            double nearest = 1e30;  // across the arch: it does not change along x
            for (const mapc::Vec3& q : curve) nearest = std::min(nearest, std::hypot(p.y - q.y, p.z - q.z));
            worst = std::max(worst, nearest);
        }
    EXPECT_LE(worst, 0.26);
    mapc::patchTriangles(patch(wildRows), 0.25, wild);
    EXPECT_EQ(wild.size(), 3u * 2 * 1 * 32);
}
