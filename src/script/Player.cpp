// The player object and its action-binding script commands.
#include "script/Player.h"

#include "script/ActionKeyTable.h"
#include "script/LuaHost.h"
#include "script/ScriptArgs.h"
#include "world/PhysicsBody.h"

namespace {

// inputForward(key) binds a keyboard key; inputForward(anything, button) a
// mouse button. Numeric arguments are codes, texts give their first byte.
template <int Action>
int inputAction(lua_State* L)
{
    Player* player = Player::instance;
    if (!player || !player->actionKeys)
        return 0;
    int index = 1;
    int device = DeviceKeyboard;
    if (scriptargs::text(L, 2)) {
        index = 2;
        device = DeviceMouse;
    }
    int code = 0;
    if (!scriptargs::integer(L, index, &code)) {
        const char* t = scriptargs::text(L, index);
        if (!t)
            return 0;
        code = static_cast<signed char>(t[0]);
    }
    player->actionKeys->set(Action, device, code);
    return 0;
}

int toggleMouseLook(lua_State*)
{
    if (Player::instance)
        Player::instance->mouseLook = !Player::instance->mouseLook;
    return 0;
}

} // namespace

Player::Player()
{
    mouseLook = true;
    speed = 10.0f;
    windowWidth = 0;
    windowHeight = 0;

    actionKeys = new ActionKeyTable();
    // The camera's body: radius 20, friction 0.006, friction on, no gravity.
    body = new PhysicsBody(20.0f, 0.006f, true, Vector3(0.0f, 0.0f, 0.0f));
    physicsEnabled = true;

    if (LuaHost* host = LuaHost::instance) {
        host->registerCommand("inputForward", inputAction<ActionForward>);
        host->registerCommand("inputBackward", inputAction<ActionBackward>);
        host->registerCommand("inputLeft", inputAction<ActionLeft>);
        host->registerCommand("inputRight", inputAction<ActionRight>);
        host->registerCommand("inputUp", inputAction<ActionUp>);
        host->registerCommand("inputDown", inputAction<ActionDown>);
        host->registerCommand("inputShoot", inputAction<ActionShoot>);
        host->registerCommand("toggleMouseLook", toggleMouseLook);
    }
}

Player::~Player()
{
    delete actionKeys;
    actionKeys = nullptr;
    delete body;
    body = nullptr;
}

void Player::setScreenSize(int w, int h)
{
    windowWidth = w;
    windowHeight = h;
}
