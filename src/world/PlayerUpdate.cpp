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

    bool turned = false;
    bool moved = false;
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
            turned = true;
        }
    }

    if (!consoleOpen && player.actionKeys) {
        float step = timer->frameTime * player.speed;
        for (int action = 0; action < ActionCount; action++) {
            if (!player.actionKeys->isHeld(action, input.keys, input.keyCount, input.buttons))
                continue;
            performAction(player, *camera, action, step);
            moved = true;
        }
    }

    Renderer* renderer = Renderer::instance;
    if (moved && renderer)
        renderer->updateCameraLeaf(*camera, camera->position);

    if (player.body)
        player.body->step(camera->position);

    camera->applyView();

    if ((moved || turned) && Frustum::instance)
        Frustum::instance->update(camera->position, camera->forward);
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
