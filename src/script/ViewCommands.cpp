// Script commands that place and report the view (setViewPos and its kin).
#include "script/ViewCommands.h"

#include <cmath>

#include "app/AppState.h"
#include "platform/SystemLog.h"
#include "script/LuaHost.h"
#include "script/Player.h"
#include "script/ScriptArgs.h"
#include "world/Camera.h"
#include "world/PhysicsBody.h"
#include "world/ViewAngles.h"

namespace {

// What prints as 0.00 prints without a sign.
float unsigned0(float value) { return std::fabs(value) < 0.005f ? 0.0f : value; }

// setViewPos(x, y, z, yaw, pitch): x y z as the level file writes them (z
// up); the angles in degrees, 0 when left out.
int setViewPosCommand(lua_State* L)
{
    float origin[3] = {0.0f, 0.0f, 0.0f};
    for (int i = 0; i < 3; ++i)
        if (!scriptargs::finiteNumber(L, i + 1, &origin[i])) {
            SystemLog::get().write(LOG_RED "::setViewPos ERROR needs the numbers x, y, z [, yaw, pitch]");
            return 0;
        }
    float yaw = 0.0f, pitch = 0.0f;
    scriptargs::finiteNumber(L, 4, &yaw);
    scriptargs::finiteNumber(L, 5, &pitch);
    if (Camera::instance)
        placeEye(*Camera::instance, Player::instance ? Player::instance->body : nullptr,
                 Vector3(origin[0], origin[1], origin[2]), yaw, pitch);
    return 0;
}

// viewPos(): one line "::viewPos X Y Z YAW PITCH" in the file's frame.
int viewPosCommand(lua_State*)
{
    Camera* camera = Camera::instance;
    if (!camera)
        return 0;
    Vector3 file = toFileFrame(camera->position);
    float yaw = 0.0f, pitch = 0.0f;
    anglesOfForward(camera->forward, &yaw, &pitch);
    SystemLog::get().write(LOG_WHITE "::viewPos %.2f %.2f %.2f %.2f %.2f", unsigned0(file.x), unsigned0(file.y),
                           unsigned0(file.z), unsigned0(yaw), unsigned0(pitch));
    return 0;
}

// screenshot(): the frame being drawn is saved when it is finished.
int screenshotCommand(lua_State*)
{
    screenshotRequested = true;
    return 0;
}

// setHud(n): 0 hides the HUD, any other number shows it; no number toggles.
int setHudCommand(lua_State* L)
{
    int shown = 0;
    hudShown = scriptargs::integer(L, 1, &shown) ? shown != 0 : !hudShown;
    SystemLog::get().write(hudShown ? LOG_WHITE "::HUD shown" : LOG_WHITE "::HUD hidden");
    return 0;
}

} // namespace

void placeEye(Camera& camera, PhysicsBody* body, const Vector3& fileOrigin, float yawDegrees,
              float pitchDegrees)
{
    camera.position = fromFileFrame(fileOrigin.x, fileOrigin.y, fileOrigin.z);
    camera.lookAlong(forwardFromAngles(yawDegrees, pitchDegrees));
    if (body)
        body->velocity = Vector3();
}

void registerViewCommands()
{
    LuaHost* host = LuaHost::instance;
    if (!host)
        return;
    host->registerCommand("setViewPos", setViewPosCommand);
    host->registerCommand("viewPos", viewPosCommand);
    host->registerCommand("screenshot", screenshotCommand);
    host->registerCommand("setHud", setHudCommand);
}
