#include <gtest/gtest.h>
#include "MapcTestSupport.h"

using namespace mapctest;

namespace {

std::string boxRoom()
{
    return entity("\"classname\" \"worldspawn\"\n" + hollowRoom({0, 0, 0, 512, 512, 256})) +
           pointEntity("info_player_start", 100, 100, 64) + pointEntity("light", 256, 256, 200, "\"light\" \"400\"\n");
}

} // namespace

TEST(MapcCompile, SealedBoxRoomLoadsAndSplitsSolidFromEmpty)
{
    Compiled c;
    compile(boxRoom(), c);
    ASSERT_TRUE(c.compiled) << c.diag.error;
    ASSERT_TRUE(c.read) << c.problem;
    ASSERT_TRUE(c.valid) << c.problem;
    EXPECT_FALSE(c.stats.leaked);
    EXPECT_TRUE(c.diag.warnings.empty());

    int roomLeaf = leafAt(c.data, 256, 256, 128);
    EXPECT_GE(c.data.leaves[roomLeaf].cluster, 0);
    int wallLeaf = leafAt(c.data, -8, 256, 128);
    EXPECT_LT(c.data.leaves[wallLeaf].cluster, 0);
    EXPECT_GT(c.data.leaves[wallLeaf].leafBrushCount, 0);
    int beyond = leafAt(c.data, -40, 256, 128);
    EXPECT_LT(c.data.leaves[beyond].cluster, 0);
}

TEST(MapcCompile, ShippedLevelPassesTheGamesValidation)
{
    BspData data;
    char problem[256] = "";
    ASSERT_EQ(readBspFile(HALVEX_GAME_DIR "/baseq3/maps/test.bsp", data, problem, sizeof(problem)),
              BspReadError::None)
        << problem;
    EXPECT_TRUE(validateLevel(data, problem, sizeof(problem))) << problem;
    EXPECT_GT(data.lightmapCount, 0);
    EXPECT_GT(data.visClusterCount, 3);
    // Entity text is passed through: the player start and the fountains.
    std::string text(data.entities);
    EXPECT_NE(text.find("\"classname\" \"info_player_start\""), std::string::npos);
    EXPECT_NE(text.find("\"move_system\" \"1\""), std::string::npos);
}
