// input.lua and videoSettings.lua as the menu writes them: the exact bytes,
// run back through the real Lua commands, and the writer's refusals.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "gui/SettingsFiles.h"
#include "script/ActionKeyTable.h"
#include "script/LuaHost.h"
#include "script/Player.h"

namespace {

const std::string kInputHeader = "-- This file was created my Halvex, feel free to edit it\n"
                                 "-- for avalible commands check out settings.lua\n";

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(SettingsFiles, InputFileForTheShippedKeysAndItsOddContents)
{
    // forward, backward, up, down, left, right, shoot
    const char* keys[menu::kActionFieldCount] = { "w", "s", " ", "c", "a", "d", "*1" };
    EXPECT_EQ(settings::inputFileText(keys), kInputHeader +
                                                 "inputForward(\"w\")\n"
                                                 "inputBackward(\"s\")\n"
                                                 "inputUp(\" \")\n"
                                                 "inputDown(\"c\")\n"
                                                 "inputLeft(\"a\")\n"
                                                 "inputRight(\"d\")\n"
                                                 "inputShoot(\"\",1)\n"
                                                 "updateGuiControls()\n");

    EXPECT_EQ(settings::inputLine("inputForward", "wx"), "inputForward(\"w\")\n");
    // Nothing to write: the action keeps its key.
    for (const char* none : { "", "*", "*x", "*)" })
        EXPECT_EQ(settings::inputLine("inputForward", none), "") << none;
    // Digits and bytes a Lua string cannot hold plainly go as their codes.
    EXPECT_EQ(settings::inputLine("inputUp", "1"), "inputUp(49)\n");
    EXPECT_EQ(settings::inputLine("inputUp", "\""), "inputUp(34)\n");
    EXPECT_EQ(settings::inputLine("inputUp", "\\"), "inputUp(92)\n");
    EXPECT_EQ(settings::inputLine("inputUp", "\n"), "inputUp(10)\n");

    // A missing box writes no line either.
    const char* partial[menu::kActionFieldCount] = { "q", nullptr, nullptr, nullptr, nullptr, nullptr, "" };
    EXPECT_EQ(settings::inputFileText(partial), kInputHeader + "inputForward(\"q\")\nupdateGuiControls()\n");
}

TEST(SettingsFiles, WrittenKeysReadBackAsTheKeysTheBoxesShow)
{
    ActionKeyTable* table = Player::instance->actionKeys;
    table->set(ActionBackward, DeviceKeyboard, 'k');
    const char* keys[menu::kActionFieldCount] = { "1", "", "\"", "\\", "*3", "*", "z" };
    ASSERT_TRUE(LuaHost::instance->runString(settings::inputFileText(keys).c_str()));
    // In table order: forward, backward, left, right, up, down, shoot.
    const int expected[ActionCount][2] = {
        { DeviceKeyboard, '1' }, { DeviceKeyboard, 'k' }, { DeviceMouse, 3 }, { DeviceUnbound, 0 },
        { DeviceKeyboard, '"' }, { DeviceKeyboard, '\\' }, { DeviceKeyboard, 'z' },
    };
    const char* shown[ActionCount] = { "1", "k", "*3", "", "\"", "\\", "z" };
    for (int a = 0; a < ActionCount; ++a) {
        EXPECT_EQ(table->keys[a].device, expected[a][0]) << a;
        EXPECT_EQ(table->keys[a].code, expected[a][1]) << a;
        EXPECT_EQ(settings::keyText(table->keys[a]), shown[a]) << a;
    }
}

TEST(SettingsFiles, VideoFileAndTheWritersRefusals)
{
    const std::string header = "-- This file was created my Halvex, feel free to edit this file\n"
                               "-- for avalible commands check out settings.lua\n";
    EXPECT_EQ(settings::videoFileText("1280x1024", true), header + "setRes(\"1280x1024\",1)\n");
    EXPECT_EQ(settings::videoFileText("800x600", false), header + "setRes(\"800x600\",0)\n");
    EXPECT_EQ(settings::videoFileText(nullptr, true), header);

    std::string dir = "settings_files_" + std::to_string(getpid());
    mkdir(dir.c_str(), 0755);
    std::string file = dir + "/videoSettings.lua";
    ASSERT_TRUE(settings::replaceFile(file.c_str(), "first\n"));
    ASSERT_TRUE(settings::replaceFile(file.c_str(), "second\n"));
    EXPECT_EQ(readAll(file), "second\n");
    EXPECT_NE(access((file + ".new").c_str(), F_OK), 0);

    // A folder of that name stays a folder.
    std::string folder = dir + "/input.lua";
    mkdir(folder.c_str(), 0755);
    EXPECT_FALSE(settings::replaceFile(folder.c_str(), "x\n"));
    struct stat st;
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    // A read-only file keeps its content (root may write anything: skipped).
    chmod(file.c_str(), 0444);
    if (geteuid() != 0) {
        EXPECT_FALSE(settings::replaceFile(file.c_str(), "third\n"));
        EXPECT_EQ(readAll(file), "second\n");
    }
    // A folder that cannot be written to: nothing is made there.
    EXPECT_FALSE(settings::replaceFile((dir + "/no/such/folder.lua").c_str(), "x\n"));
    chmod(file.c_str(), 0644);
    rmdir(folder.c_str());
    std::remove(file.c_str());
    rmdir(dir.c_str());
}

} // namespace
