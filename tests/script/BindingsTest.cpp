// Both input tables through real Lua, with the process-wide objects as the
// game constructs them.
#include "app/AppState.h"
#include "console/Console.h"
#include "script/ActionKeyTable.h"
#include "script/InputBindings.h"
#include "script/LuaHost.h"
#include "script/Player.h"
#include "world/PhysicsBody.h"

#include "LogProbe.h"

#include <gtest/gtest.h>

#include <SDL/SDL.h>

#include <string>
#include <utility>

namespace {

bool run(const std::string& text)
{
    return LuaHost::instance->runString(text.c_str());
}

const char* slot(int n)
{
    return InputBindings::instance->boundCommand(n);
}

ActionKey action(int n)
{
    return Player::instance->actionKeys->keys[n];
}

TEST(InputBindings, AllSlotsStartUnboundAndOutOfRangeIsNull)
{
    InputBindings* global = InputBindings::instance;
    {
        InputBindings fresh;
        EXPECT_EQ(InputBindings::instance, &fresh);
        for (int n = 0; n < 256; ++n)
            EXPECT_EQ(fresh.boundCommand(n), nullptr);
        EXPECT_EQ(fresh.boundCommand(-1), nullptr);
        EXPECT_EQ(fresh.boundCommand(256), nullptr);
        EXPECT_EQ(fresh.boundCommand(100000), nullptr);
        EXPECT_FALSE(fresh.runBoundCommand(300));
    }
    EXPECT_EQ(InputBindings::instance, nullptr);
    InputBindings::instance = global;
}

TEST(InputBindings, BindFillsTheSlotOfTheCharacter)
{
    LogProbe probe;
    EXPECT_TRUE(run("bind('print(\"lower\")', 'a') bind('print(\"upper\")', 'A')"));
    ASSERT_NE(slot(97), nullptr);
    ASSERT_NE(slot(65), nullptr);
    EXPECT_STREQ(slot(97), "print(\"lower\")");
    EXPECT_STREQ(slot(65), "print(\"upper\")");

    // Numeric keys: integer value, low 8 bits; numeric texts count as numbers.
    EXPECT_TRUE(run("bind('quit()', 27) bind('k321', 321) bind('k7', '7') bind('k9', 9.9) bind('kneg', -1)"));
    EXPECT_STREQ(slot(27), "quit()");
    EXPECT_STREQ(slot(65), "k321");
    EXPECT_STREQ(slot(7), "k7");
    EXPECT_STREQ(slot(9), "k9");
    EXPECT_STREQ(slot(255), "kneg");
    // Past the int range: still the low 8 bits, the key toggleConsole takes
    // for the same number; no finite number, no key.
    EXPECT_TRUE(run("bind('wide', 4294967393) bind('wideneg', -4294967187.7) "
                    "bind('never', 1/0) bind('never', -1/0) bind('never', 0/0)"));
    EXPECT_STREQ(slot(97), "wide");
    EXPECT_STREQ(slot(109), "wideneg");
    EXPECT_STREQ(slot(255), "kneg");
    EXPECT_STREQ(slot(27), "quit()");
    const std::pair<std::string, int> wide[] = {{"4294967393", 97}, {"-4294967187.7", 109}};
    for (const auto& key : wide) {
        EXPECT_TRUE(run("toggleConsole(" + key.first + ")"));
        EXPECT_EQ(consoleToggleKey, key.second);
    }
    consoleOpen = false;
    EXPECT_TRUE(run("bind('k0', 0) bind('hexkey', ' 0x20 ')"));
    EXPECT_STREQ(slot(0), "k0");
    EXPECT_STREQ(slot(32), "hexkey");

    // Text keys: the first character, as an unsigned byte.
    EXPECT_TRUE(run("bind('high', '\\233x') bind('empty', '')"));
    EXPECT_STREQ(slot(233), "high");
    EXPECT_STREQ(slot(0), "empty");

    // A number as command text is taken as its text.
    EXPECT_TRUE(run("bind(12, 'q')"));
    EXPECT_STREQ(slot('q'), "12");
    EXPECT_EQ(probe.count(), 0u);
}

TEST(InputBindings, BindIgnoresMissingAndUnusableArguments)
{
    LogProbe probe;
    EXPECT_TRUE(run("bind() bind('x()') bind('', 'b') bind({}, 'b') bind('x()', {}) "
                    "bind('x()', nil) bind('x()', true) bind(nil, 'b')"));
    EXPECT_EQ(slot('b'), nullptr);
    EXPECT_EQ(probe.count(), 0u);
}

TEST(InputBindings, LongCommandTextsAreCutTo63Characters)
{
    std::string text(63, 'y');
    run("bind('" + text + "', 'l')");
    EXPECT_EQ(std::string(slot('l')), text);
    run("bind('" + std::string(5000, 'z') + "', 'l')");
    EXPECT_EQ(std::string(slot('l')), std::string(63, 'z'));
    // Rebinding replaces the command.
    run("bind('short()', 'l')");
    EXPECT_STREQ(slot('l'), "short()");
}

TEST(InputBindings, BoundCommandRunsOncePerLookup)
{
    LogProbe probe;
    run("presses = 0 bind('presses = presses + 1', 'p')");
    EXPECT_TRUE(InputBindings::instance->runBoundCommand('p'));
    EXPECT_TRUE(InputBindings::instance->runBoundCommand('p'));
    EXPECT_FALSE(InputBindings::instance->runBoundCommand('P'));
    EXPECT_FALSE(InputBindings::instance->runBoundCommand(256 + 'p'));
    EXPECT_FALSE(InputBindings::instance->runBoundCommand(-5));
    EXPECT_TRUE(run("assert(presses == 2)"));

    // A command that fails leaves one red line; one that rebinds its own
    // slot while running is safe.
    run("bind('noSuchCommand()', 'e')");
    EXPECT_TRUE(InputBindings::instance->runBoundCommand('e'));
    EXPECT_EQ(probe.count(), 1u);
    EXPECT_EQ(probe.last().rfind(LOG_RED, 0), 0u);
    run("bind('bind(\"print(1)\", \"r\") print(2)', 'r')");
    InputBindings::instance->runBoundCommand('r');
    EXPECT_EQ(probe.last(), std::string(LOG_WHITE) + "2");
    InputBindings::instance->runBoundCommand('r');
    EXPECT_EQ(probe.last(), std::string(LOG_WHITE) + "1");
}

// Keys that type nothing are bound by name; other texts keep meaning their
// first character.
TEST(InputBindings, NamedKeysHaveSlotsOfTheirOwn)
{
    LogProbe probe;
    run("bind('print(\"shot\")', 'F12') bind('print(\"up\")', 'pageup') bind('print(\"F\")', 'Fx')");
    EXPECT_TRUE(InputBindings::instance->runNamedKeyCommand(SDLK_F12));
    EXPECT_EQ(probe.last(), std::string(LOG_WHITE) + "shot");
    EXPECT_TRUE(InputBindings::instance->runNamedKeyCommand(SDLK_PAGEUP));
    EXPECT_EQ(probe.last(), std::string(LOG_WHITE) + "up");
    EXPECT_FALSE(InputBindings::instance->runNamedKeyCommand(SDLK_F11));
    EXPECT_FALSE(InputBindings::instance->runNamedKeyCommand('a'));
    EXPECT_EQ(slot('F'), std::string("print(\"F\")"));
    EXPECT_EQ(probe.count(), 2u);
}

TEST(ActionKeys, PlayerStartsUnboundWithTheCameraBody)
{
    Player* global = Player::instance;
    {
        Player fresh;
        EXPECT_EQ(Player::instance, &fresh);
        for (int n = 0; n < ActionCount; ++n)
            EXPECT_EQ(fresh.actionKeys->keys[n].device, DeviceUnbound);
        EXPECT_TRUE(fresh.mouseLook);
        EXPECT_TRUE(fresh.physicsEnabled);
        EXPECT_FLOAT_EQ(fresh.speed, 10.0f);
        EXPECT_EQ(fresh.windowWidth, 0);
        ASSERT_NE(fresh.body, nullptr);
        EXPECT_FLOAT_EQ(fresh.body->radius, 20.0f);
        EXPECT_FLOAT_EQ(fresh.body->friction, 0.006f);
        EXPECT_TRUE(fresh.body->frictionOn);
        EXPECT_FLOAT_EQ(fresh.body->gravity.length(), 0.0f);
    }
    EXPECT_EQ(Player::instance, nullptr);
    Player::instance = global;
}

TEST(ActionKeys, CommandsInBothForms)
{
    LogProbe probe;
    const char* names[] = { "inputForward", "inputBackward", "inputLeft", "inputRight",
                            "inputUp", "inputDown", "inputShoot" };
    for (int n = 0; n < ActionCount; ++n) {
        run(std::string(names[n]) + "('" + char('a' + n) + "')");
        EXPECT_EQ(action(n).device, DeviceKeyboard) << names[n];
        EXPECT_EQ(action(n).code, 'a' + n) << names[n];
    }

    run("inputForward(119)");
    EXPECT_EQ(action(ActionForward).device, DeviceKeyboard);
    EXPECT_EQ(action(ActionForward).code, 119);
    run("inputShoot('', 1)");
    EXPECT_EQ(action(ActionShoot).device, DeviceMouse);
    EXPECT_EQ(action(ActionShoot).code, 1);
    run("inputShoot(1)");
    EXPECT_EQ(action(ActionShoot).device, DeviceKeyboard);
    EXPECT_EQ(action(ActionShoot).code, 1);
    run("inputShoot({}, '3')");
    EXPECT_EQ(action(ActionShoot).device, DeviceMouse);
    EXPECT_EQ(action(ActionShoot).code, 3);
    run("inputShoot('w', 'z')");
    EXPECT_EQ(action(ActionShoot).device, DeviceMouse);
    EXPECT_EQ(action(ActionShoot).code, 'z');
    // A table as second argument is no mouse button: the first argument counts.
    run("inputShoot('s', {})");
    EXPECT_EQ(action(ActionShoot).device, DeviceKeyboard);
    EXPECT_EQ(action(ActionShoot).code, 's');

    // Characters 128..255 give negative codes; numbers are truncated.
    run("inputLeft('\\200')");
    EXPECT_EQ(action(ActionLeft).code, -56);
    run("inputLeft(-7.9)");
    EXPECT_EQ(action(ActionLeft).code, -7);
    run("inputLeft(1e300)");
    EXPECT_EQ(action(ActionLeft).device, DeviceKeyboard);
    run("inputLeft('A')");
    EXPECT_EQ(action(ActionLeft).code, 65);
    EXPECT_EQ(probe.count(), 0u);
}

TEST(ActionKeys, MissingArgumentsChangeNothing)
{
    run("inputUp('u')");
    run("inputUp() inputUp({}) inputUp(nil) inputUp(true) inputUp(nil, nil)");
    EXPECT_EQ(action(ActionUp).device, DeviceKeyboard);
    EXPECT_EQ(action(ActionUp).code, 'u');
}

TEST(ActionKeys, HeldFollowsKeyStateAndButtonMask)
{
    ActionKeyTable table;
    uint8_t keys[SDLK_LAST] = {};
    keys[SDLK_w] = 1;
    EXPECT_FALSE(table.isHeld(ActionForward, keys, SDLK_LAST, 0xFF));

    table.set(ActionForward, DeviceKeyboard, SDLK_w);
    table.set(ActionBackward, DeviceKeyboard, SDLK_w);  // two actions may share a key
    EXPECT_TRUE(table.isHeld(ActionForward, keys, SDLK_LAST, 0));
    EXPECT_TRUE(table.isHeld(ActionBackward, keys, SDLK_LAST, 0));
    keys[SDLK_w] = 0;
    EXPECT_FALSE(table.isHeld(ActionForward, keys, SDLK_LAST, 0));

    // Codes outside the key state array are never held.
    table.set(ActionLeft, DeviceKeyboard, -56);
    EXPECT_FALSE(table.isHeld(ActionLeft, keys, SDLK_LAST, 0));
    table.set(ActionLeft, DeviceKeyboard, SDLK_LAST);
    EXPECT_FALSE(table.isHeld(ActionLeft, keys, SDLK_LAST, 0));
    EXPECT_FALSE(table.isHeld(ActionLeft, nullptr, 0, 0));

    // Mouse: bit (button - 1) of the low 8 bits.
    table.set(ActionShoot, DeviceMouse, 1);
    EXPECT_TRUE(table.isHeld(ActionShoot, keys, SDLK_LAST, SDL_BUTTON(1)));
    EXPECT_FALSE(table.isHeld(ActionShoot, keys, SDLK_LAST, SDL_BUTTON(3)));
    table.set(ActionShoot, DeviceMouse, 8);
    EXPECT_TRUE(table.isHeld(ActionShoot, keys, SDLK_LAST, 0x80));
    for (int code : { 0, 9, -1, 40 }) {
        table.set(ActionShoot, DeviceMouse, code);
        EXPECT_FALSE(table.isHeld(ActionShoot, keys, SDLK_LAST, 0xFFFFFFFFu)) << code;
    }

    // Other devices and actions out of range: never held.
    table.set(ActionUp, 3, SDLK_w);
    keys[SDLK_w] = 1;
    EXPECT_FALSE(table.isHeld(ActionUp, keys, SDLK_LAST, 0xFF));
    EXPECT_FALSE(table.isHeld(-1, keys, SDLK_LAST, 0xFF));
    EXPECT_FALSE(table.isHeld(ActionCount, keys, SDLK_LAST, 0xFF));
    table.set(ActionCount, DeviceKeyboard, 1);  // ignored

    // Against SDL's own (all released) state.
    EXPECT_FALSE(table.isHeld(ActionForward));
}

TEST(ActionKeys, ToggleMouseLook)
{
    bool before = Player::instance->mouseLook;
    run("toggleMouseLook()");
    EXPECT_EQ(Player::instance->mouseLook, !before);
    run("toggleMouseLook(1, 2, 3)");
    EXPECT_EQ(Player::instance->mouseLook, before);
}

TEST(ActionKeys, CommandsDoNothingWithoutAPlayer)
{
    Player* saved = Player::instance;
    Player::instance = nullptr;
    EXPECT_TRUE(run("inputForward('q') toggleMouseLook()"));
    Player::instance = saved;
    EXPECT_NE(action(ActionForward).code, 'q');
}

} // namespace
