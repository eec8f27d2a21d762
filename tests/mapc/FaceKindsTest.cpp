// The faces the level compiler writes for each kind of volume and shader:
// liquids and fog, sky, tool textures, areaportals and undrawn patches,
// counted by drawn area per texture in a small compiled level.
#include <gtest/gtest.h>
#include <map>
#include "MapcTestSupport.h"

using namespace mapctest;

namespace {


// Drawn area, face count and lightmapped face count per texture name.
struct Kind {
    double area = 0;
    int faces = 0, lightmapped = 0;
    int flags = 0, contents = 0;
};

std::map<std::string, Kind> kindsOf(const mapc::LevelLumps& l, int model)
{
    std::map<std::string, Kind> out;
    const bsp::BspModel& m = l.models[static_cast<size_t>(model)];
    for (int fi = m.firstFace; fi < m.firstFace + m.faceCount; ++fi) {
        const bsp::BspFace& f = l.faces[static_cast<size_t>(fi)];
        const bsp::BspTexture& t = l.textures[static_cast<size_t>(f.texture)];
        Kind& k = out[t.name];
        ++k.faces;
        k.lightmapped += f.lightmap >= 0;
        k.flags = t.flags;
        k.contents = t.contents;
        k.area += faceArea(l, f);
    }
    return out;
}

} // namespace

// Two rooms joined by a doorway closed by an areaportal, the west one under
// a sky. In it a water pool on the floor, a fog volume whose top alone is
// fog (its other sides nodraw), a caulked block inside a metal one (the
// metal shell drawn, the caulk not), a patch of caulk (solid: kept without
// a lightmap, for collision) and one of a nonsolid nodraw shader (dropped).
TEST(MapcFaceKinds, LiquidsFogSkyToolTexturesAndPortalsAsTheirShadersSay)
{
    SearchFolder folder;
    ASSERT_FALSE(folder.root.empty());
    folder.write("scripts/k.shader",
                 "textures/k/sky\n{\n surfaceparm sky\n surfaceparm noimpact\n surfaceparm nolightmap\n}\n"
                 "textures/k/water\n{\n surfaceparm water\n surfaceparm trans\n surfaceparm nonsolid\n}\n"
                 "textures/k/fog\n{\n surfaceparm fog\n surfaceparm trans\n surfaceparm nonsolid\n surfaceparm nolightmap\n"
                 " fogparms ( 0.5 0.5 0.5 ) 512\n}\n"
                 "textures/k/ghost\n{\n surfaceparm nodraw\n surfaceparm nonsolid\n}\n");

    const int t = 16;
    std::string rooms = carvedRooms({{0, 0, 0, 512, 512, 256}, {496, 192, 0, 640, 320, 128}, {624, 0, 0, 1136, 512, 256}});
    const std::string westCeiling = brush({-t, -t, 256, 512 + t, 512 + t, 256 + t});
    ASSERT_NE(rooms.find(westCeiling), std::string::npos);
    rooms.replace(rooms.find(westCeiling), westCeiling.size(), brush({-t, -t, 256, 512 + t, 512 + t, 256 + t}, "k/sky"));
    std::string fog = brush({300, 300, 0, 450, 450, 100}, "common/nodraw");
    fog.replace(fog.find("common/nodraw"), 13, "k/fog");  // the first side is the top
    std::string ghost = patchArch(100, 400, 480, 0);
    ghost.replace(ghost.find("halvex/metal"), 12, "k/ghost");
    std::string caulkPatch = patchArch(20, 400, 480, 0);
    caulkPatch.replace(caulkPatch.find("halvex/metal"), 12, "common/caulk");
    Compiled c;
    compile(world(rooms + brush({50, 50, 0, 250, 250, 64}, "k/water") + fog +
                  brush({400, 40, 0, 464, 104, 64}, "halvex/metal") + brush({400, 40, 0, 464, 104, 64}, "common/caulk") +
                  brush({560, 192, 0, 568, 320, 128}, "common/areaportal") + ghost + caulkPatch) +
                pointEntity("info_player_start", 100, 300, 64) + pointEntity("info_player_deathmatch", 900, 256, 64),
            c, folder.options);
    ASSERT_TRUE(c.compiled) << c.diag.error;
    ASSERT_TRUE(c.valid) << c.problem;
    ASSERT_FALSE(c.stats.leaked);
    std::map<std::string, Kind> kinds = kindsOf(c.lumps, 0);
    std::string names;
    for (const auto& k : kinds) names += k.first + " ";
    EXPECT_EQ(names, "textures/common/caulk textures/halvex/floor textures/halvex/metal textures/halvex/wall "
                     "textures/k/fog textures/k/sky textures/k/water ");

    // The pool: its top and four sides, lit, its bottom on the floor hidden;
    // a liquid, open space inside. The floors under it and the fog whole.
    const Kind& water = kinds["textures/k/water"];
    EXPECT_NEAR(water.area, 200.0 * 200 + 4 * 200.0 * 64, 1.0);
    EXPECT_EQ(water.faces, 5);
    EXPECT_EQ(water.lightmapped, 5);
    EXPECT_EQ(water.contents & 0x21, 0x20);
    EXPECT_GE(clusterAt(c.data, 150, 150, 32), 0);
    EXPECT_GE(kinds["textures/halvex/floor"].area, 2 * 512.0 * 512);
    // The fog's top alone, unlit; its nodraw sides give nothing.
    const Kind& fogTop = kinds["textures/k/fog"];
    EXPECT_NEAR(fogTop.area, 150.0 * 150, 1.0);
    EXPECT_EQ(fogTop.faces, 1);
    EXPECT_EQ(fogTop.lightmapped, 0);
    EXPECT_EQ(fogTop.contents & 0x41, 0x40);
    // The sky: one face over the west room, unlit, flagged sky.
    const Kind& sky = kinds["textures/k/sky"];
    EXPECT_NEAR(sky.area, 512.0 * 512, 1.0);
    EXPECT_EQ(sky.faces, 1);
    EXPECT_EQ(sky.lightmapped, 0);
    EXPECT_NE(sky.flags & 0x4, 0);
    // The metal block's top and sides; the caulk block on its planes gives way.
    EXPECT_NEAR(kinds["textures/halvex/metal"].area, 64.0 * 64 + 4 * 64.0 * 64, 1.0);
    // The caulk patch, kept for collision: a solid curve without a lightmap.
    int caulkPatches = 0;
    for (const bsp::BspFace& f : c.lumps.faces) {
        if (std::string(c.lumps.textures[static_cast<size_t>(f.texture)].name) != "textures/common/caulk") continue;
        ++caulkPatches;
        EXPECT_EQ(f.type, bsp::FacePatch);
        EXPECT_EQ(f.lightmap, -1);
    }
    EXPECT_EQ(caulkPatches, 1);
    EXPECT_EQ(c.stats.patches, 1);
    EXPECT_EQ(kinds["textures/common/caulk"].contents & 1, 1);
    // The areaportal draws nothing and parts the rooms' clusters; sight
    // still passes it.
    const int west = clusterAt(c.data, 256, 256, 128), east = clusterAt(c.data, 900, 256, 128);
    ASSERT_GE(west, 0);
    ASSERT_GE(east, 0);
    EXPECT_NE(west, east);
    EXPECT_NE(clusterAt(c.data, 540, 256, 64), clusterAt(c.data, 590, 256, 64));
    EXPECT_TRUE(clusterSees(c.data, west, east));
}
