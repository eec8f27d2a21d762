// The player's frame: mouse look, held actions, shots, physics and the view.
#include "world/PlayerUpdate.h"

#include <SDL/SDL.h>
#include <cmath>

#include "app/AppState.h"
#include "app/FrameTimer.h"
#include "app/Game.h"
#include "script/ActionKeyTable.h"
#include "script/Player.h"
#include "world/Camera.h"
#include "world/Frustum.h"
#include "world/PhysicsBody.h"
#include "world/Renderer.h"

namespace {

// Radians of turn per pixel of mouse travel.
constexpr float kMouseTurn = 0.001f;

bool samePoint(const Vector3& a, const Vector3& b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

void performAction(Player& player, Camera& camera, int action, float step)
{
    if (action == ActionShoot) {
        if (Game::instance)
            Game::instance->shot();
        return;
    }
    // forward, backward, left, right, up, down
    static const float kSign[ActionShoot] = {1.0f, -1.0f, -1.0f, 1.0f, 1.0f, -1.0f};
    float amount = step * kSign[action];
    bool along = action <= ActionBackward;
    bool sideways = action == ActionLeft || action == ActionRight;
    if (!player.physicsEnabled) {
        // Free flight: straight through walls; up and down follow the world up.
        if (along)
            camera.moveForward(amount);
        else if (sideways)
            camera.moveRight(amount);
        else
            camera.moveUp(amount);
    } else if (player.body) {
        const Vector3& direction = along ? camera.forward : sideways ? camera.right : camera.trueUp;
        player.body->impulse(amount, direction);
    }
}

} // namespace

bool updatePlayer(Player& player, const PlayerInput& input)
{
    Camera* camera = Camera::instance;
    FrameTimer* timer = FrameTimer::instance;
    if (!camera || !timer)
        return false;

    bool recentre = false;

    if (player.mouseLook && player.windowWidth != 0 && player.windowHeight != 0) {
        int cx = player.windowWidth / 2;
        int cy = player.windowHeight / 2;
        float dx = static_cast<float>(cx - input.mouseX);
        float dy = static_cast<float>(cy - input.mouseY);
        if (std::fabs(dx) > 0.0001f || std::fabs(dy) > 0.0001f) {
            recentre = true;
            Vector3 axis = camera->right;
            float length = axis.length();
            if (length > 0.0f)
                axis *= 1.0f / length;
            camera->turn(dy * kMouseTurn, axis);
            camera->turn(dx * kMouseTurn, Vector3(0.0f, 1.0f, 0.0f));
        }
    }

    if (!consoleOpen && player.actionKeys) {
        float step = timer->frameTime * player.speed;
        for (int action = 0; action < ActionCount; action++) {
            if (!player.actionKeys->isHeld(action, input.keys, input.keyCount, input.buttons))
                continue;
            performAction(player, *camera, action, step);
        }
    }

    if (player.body)
        player.body->step(camera->position);

    // Every frame, after the step: the body drifts on with no key held, and
    // a level may have been loaded since. One leaf lookup.
    if (Renderer::instance)
        Renderer::instance->updateCameraLeaf(*camera, camera->position);

    camera->applyView();

    // The frustum follows any change of pose, whatever made it.
    Frustum* frustum = Frustum::instance;
    if (frustum && (!samePoint(frustum->coneVertex, camera->position) ||
                    !samePoint(frustum->coneAxis, camera->forward)))
        frustum->update(camera->position, camera->forward);
    return recentre;
}

void Player::update()
{
    PlayerInput input;
    input.buttons = SDL_GetMouseState(&input.mouseX, &input.mouseY);
    int keyCount = 0;
    input.keys = SDL_GetKeyState(&keyCount);
    // Never past SDL's own table, whatever it reports.
    input.keyCount = keyCount > SDLK_LAST ? SDLK_LAST : keyCount;
    if (updatePlayer(*this, input))
        SDL_WarpMouse(static_cast<Uint16>(windowWidth / 2), static_cast<Uint16>(windowHeight / 2));
}
