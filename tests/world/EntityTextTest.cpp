// The entity text walk and its value readers, without a level: only the
// player start (which moves the camera) needs no leaf to stand in.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

#include "platform/SystemLog.h"
#include "world/Camera.h"
#include "world/EntitieParser.h"

namespace {

bool logHas(size_t from, const std::string& text)
{
    SystemLog& log = SystemLog::get();
    for (size_t i = from; i < log.storedLines(); ++i)
        if (std::string(log.line(i)).find(text) != std::string::npos)
            return true;
    return false;
}

class EntityText : public ::testing::Test {
protected:
    void SetUp() override { camera.position = Vector3(7, 7, 7); }
    void parse(const char* text) { parser.parse(text, nullptr); }

    Camera camera;
    EntitieParser parser;
};

} // namespace

TEST_F(EntityText, PlayerStartOriginIsConvertedToYUp)
{
    parse("{\n\"classname\" \"info_player_start\"\n\"origin\" \"100 200 50\"\n}\n");
    EXPECT_FLOAT_EQ(camera.position.x, 100.0f);
    EXPECT_FLOAT_EQ(camera.position.y, 50.0f);
    EXPECT_FLOAT_EQ(camera.position.z, -200.0f);
}

TEST_F(EntityText, LastPlayerStartWins)
{
    parse("{\n\"classname\" \"info_player_start\"\n\"origin\" \"1 2 3\"\n}\n"
          "{\n\"classname\" \"worldspawn\"\n}\n"
          "{\n\"classname\" \"info_player_start\"\n\"origin\" \"4 5 6\"\n}\n");
    EXPECT_FLOAT_EQ(camera.position.x, 4.0f);
    EXPECT_FLOAT_EQ(camera.position.y, 6.0f);
    EXPECT_FLOAT_EQ(camera.position.z, -5.0f);
}

TEST_F(EntityText, WithoutAPlayerStartTheFirstDeathmatchThenTeamSpawnIsUsed)
{
    const char* team = "{\n\"classname\" \"team_CTF_bluespawn\"\n\"origin\" \"1 2 3\"\n}\n"
                       "{\n\"classname\" \"team_CTF_redplayer\"\n\"origin\" \"4 5 6\"\n}\n";
    const char* deathmatch =
        "{\n\"classname\" \"info_player_deathmatch\"\n\"origin\" \"10 20 30\"\n}\n"
        "{\n\"classname\" \"info_player_deathmatch\"\n\"origin\" \"40 50 60\"\n}\n";
    const char* start = "{\n\"classname\" \"info_player_start\"\n\"origin\" \"7 8 9\"\n}\n";
    parse(team);
    EXPECT_FLOAT_EQ(camera.position.x, 1.0f);
    // Nexuiz names its team spawns by number.
    parse("{\n\"classname\" \"info_player_team2\"\n\"origin\" \"-8 2 3\"\n}\n");
    EXPECT_FLOAT_EQ(camera.position.x, -8.0f);
    parse((std::string(team) + deathmatch).c_str());
    EXPECT_FLOAT_EQ(camera.position.x, 10.0f);
    EXPECT_FLOAT_EQ(camera.position.z, -20.0f);
    parse((std::string(deathmatch) + start + team).c_str());
    EXPECT_FLOAT_EQ(camera.position.x, 7.0f);
    // A spawn with a broken origin is passed over for the next one.
    camera.position = Vector3(7, 7, 7);
    parse("{\n\"classname\" \"info_player_deathmatch\"\n\"origin\" \"nan 0 0\"\n}\n"
          "{\n\"classname\" \"info_player_deathmatch\"\n\"origin\" \"3 0 0\"\n}\n");
    EXPECT_FLOAT_EQ(camera.position.x, 3.0f);
}

TEST_F(EntityText, QuoteRightAfterBraceIsLost)
{
    size_t mark = SystemLog::get().storedLines();
    parse("{\"classname\" \"info_player_start\"\n\"origin\" \"1 2 3\"\n}");
    // The skipped quote shifts every pair: no "classname" is ever read.
    EXPECT_EQ(parser.lastBlock().find("classname"), nullptr);
    EXPECT_FLOAT_EQ(camera.position.x, 7.0f);
    EXPECT_TRUE(logHas(mark, "Value without quotes"));
}

TEST_F(EntityText, TwoPairsOnOneLineYieldOnlyTheFirst)
{
    parse("{\n\"classname\" \"info_player_start\" \"origin\" \"1 2 3\"\n}");
    ASSERT_EQ(parser.lastBlock().count(), 1);
    EXPECT_STREQ(parser.lastBlock().at(0).key, "classname");
    EXPECT_FLOAT_EQ(camera.position.x, 0.0f);  // origin missing: (0, 0, 0)
}

TEST_F(EntityText, OneLineFeedBlockLogsTheErrorLine)
{
    size_t mark = SystemLog::get().storedLines();
    parse("{\n\n}");
    EXPECT_EQ(parser.lastBlock().count(), 0);
    EXPECT_TRUE(logHas(mark, "::EntitieParser ERROR Parsing entitie: str = "));
    EXPECT_FLOAT_EQ(camera.position.x, 7.0f);
}

TEST_F(EntityText, MalformedPairDropsTheWholeBlock)
{
    size_t mark = SystemLog::get().storedLines();
    parse("{\n\"classname\" \"info_player_start\"\n\"origin\n}");
    EXPECT_EQ(parser.lastBlock().count(), 0);
    EXPECT_TRUE(logHas(mark, "Parsing entitie"));
    EXPECT_FLOAT_EQ(camera.position.x, 7.0f);
}

TEST_F(EntityText, KeysAndClassnamesCompareCaseSensitively)
{
    parse("{\n\"classname\" \"info_player_start\"\n\"Origin\" \"100 200 50\"\n}");
    EXPECT_FLOAT_EQ(camera.position.x, 0.0f);
    camera.position = Vector3(7, 7, 7);
    parse("{\n\"classname\" \"Info_player_start\"\n\"origin\" \"100 200 50\"\n}");
    EXPECT_FLOAT_EQ(camera.position.x, 7.0f);
}

TEST_F(EntityText, TextWithoutBlocksCreatesNothing)
{
    parse("");
    parse("no braces at all \"classname\" \"info_player_start\"");
    parse("{\n\"classname\" \"info_player_start\"\n\"origin\" \"1 2 3\"\n");  // no '}'
    parse("{");
    parse("}{");
    EXPECT_FLOAT_EQ(camera.position.x, 7.0f);
}

TEST_F(EntityText, FirstPairWithTheKeyWinsAndLongTextsAreCut)
{
    std::string longKey(150, 'k'), longValue(150, 'v');
    std::string text = "\"origin\" \"1 2 3\"\n\"origin\" \"4 5 6\"\n\"" + longKey + "\" \"" +
                       longValue + "\"\n";
    EntityBlock block;
    block.parse(text.c_str());
    ASSERT_EQ(block.count(), 3);
    EXPECT_FLOAT_EQ(block.getVector("origin").x, 1.0f);
    EXPECT_EQ(std::string(block.at(2).key), std::string(99, 'k'));
    EXPECT_EQ(std::string(block.at(2).value), std::string(99, 'v'));

    char out[8] = "keep";
    EXPECT_FALSE(block.getText("missing", out, sizeof(out)));
    EXPECT_STREQ(out, "keep");
    EXPECT_TRUE(block.getText(longKey.substr(0, 99).c_str(), out, sizeof(out)));
    EXPECT_STREQ(out, "vvvvvvv");
}

TEST(EntityValues, ReadersFollowTheLeadingNumber)
{
    EXPECT_EQ(EntityBlock::readInt("  -12abc"), -12);
    EXPECT_EQ(EntityBlock::readInt("+7"), 7);
    EXPECT_EQ(EntityBlock::readInt("3.9"), 3);
    EXPECT_EQ(EntityBlock::readInt("abc"), 0);
    EXPECT_EQ(EntityBlock::readInt("99999999999999999999"), INT_MAX);
    EXPECT_EQ(EntityBlock::readInt("-99999999999999999999"), INT_MIN);

    EXPECT_FLOAT_EQ(EntityBlock::readFloat(" 1.5e2x"), 150.0f);
    EXPECT_FLOAT_EQ(EntityBlock::readFloat("-.25"), -0.25f);
    EXPECT_FLOAT_EQ(EntityBlock::readFloat("2e"), 2.0f);
    EXPECT_FLOAT_EQ(EntityBlock::readFloat("nan"), 0.0f);
    EXPECT_FLOAT_EQ(EntityBlock::readFloat("0x10"), 0.0f);
    EXPECT_FLOAT_EQ(EntityBlock::readFloat("."), 0.0f);
    EXPECT_TRUE(std::isinf(EntityBlock::readFloat("1e999")));

    Vector3 v = EntityBlock::readVector("1 2");
    EXPECT_FLOAT_EQ(v.x, 1.0f);
    EXPECT_FLOAT_EQ(v.y, 2.0f);
    EXPECT_FLOAT_EQ(v.z, 0.0f);

    EntityBlock block;
    block.parse("\"a\" \"5\"\n\"b\" \"0\"\n\"c\" \"-3\"\n");
    EXPECT_TRUE(block.getBool("a"));
    EXPECT_FALSE(block.getBool("b"));
    EXPECT_FALSE(block.getBool("c"));
    EXPECT_FALSE(block.getBool("missing"));
    EXPECT_EQ(block.getInt("missing"), 0);
    EXPECT_FLOAT_EQ(block.getFloat("missing"), 0.0f);
}

TEST(EntityValues, PairsAreCappedByLineFeeds)
{
    EntityBlock block;
    block.parse("\"a\" \"1\" \"b\" \"2\" \"c\" \"3\"");  // no line feed at all
    EXPECT_EQ(block.count(), 0);
    block.parse("\"a\" \"1\" \"b\" \"2\"\n\n");
    EXPECT_EQ(block.count(), 2);
    // Reparsing releases the previous pairs.
    block.parse("\"x\" \"1\"\n");
    ASSERT_EQ(block.count(), 1);
    EXPECT_STREQ(block.at(0).key, "x");
}

TEST(EntityValues, HugeBlocksStayBounded)
{
    std::string text;
    for (int i = 0; i < 100000; ++i)
        text += "\"key" + std::to_string(i) + "\" \"" + std::to_string(i) + "\"\n";
    EntityBlock block;
    block.parse(text.c_str());
    EXPECT_EQ(block.count(), 100000);
    EXPECT_EQ(block.getInt("key99999"), 99999);

    // A million line feeds and no quotes allocate nothing.
    std::string feeds(1000000, '\n');
    block.parse(feeds.c_str());
    EXPECT_EQ(block.count(), 0);
}
