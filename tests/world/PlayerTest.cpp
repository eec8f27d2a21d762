// The player's frame with the game's process-wide objects and a real GL
// window: mouse look, the seven actions in both modes, the view transform,
// the frustum refresh and the two script toggles.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>
#include <SDL/SDL.h>
#include <cmath>
#include <cstdlib>

#include "app/AppState.h"
#include "app/FrameTimer.h"
#include "app/Game.h"
#include "objects/Enemy.h"
#include "world/EntitieParser.h"
#include "script/GameCommands.h"
#include "script/LuaHost.h"
#include "script/Player.h"
#include "world/Camera.h"
#include "world/Frustum.h"
#include "world/PhysicsBody.h"
#include "world/PlayerUpdate.h"

namespace {

class PlayerFrame : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0);
        ASSERT_NE(SDL_SetVideoMode(800, 600, 0, SDL_OPENGL), nullptr);
        registerGameCommands();
    }
    static void TearDownTestSuite() { SDL_Quit(); }

    void SetUp() override
    {
        ASSERT_TRUE(player && camera && timer && frustum && host);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(90.0, 800.0 / 600.0, 1.0, 10000.0);
        glMatrixMode(GL_MODELVIEW);

        player->setScreenSize(800, 600);
        player->speed = 100.0f;
        player->mouseLook = true;
        player->physicsEnabled = true;
        player->body->velocity = Vector3();
        frustum->setViewport(400.0f, 300.0f, 1.0f);
        frustum->locked = false;
        frustum->coneAngle = 0.0f;
        camera->position = Vector3();
        camera->forward = Vector3(0, 0, 1);
        camera->recompute();
        consoleOpen = false;
        timer->frameTime = 0.5f;
        timer->now = 100.0f;
        for (int i = 0; i < ActionCountForTest; i++)
            host->runString(bindings[i]);
        std::fill(std::begin(keys), std::end(keys), 0);
    }

    // Mouse at the centre, nothing held.
    PlayerInput still()
    {
        PlayerInput in;
        in.mouseX = 400;
        in.mouseY = 300;
        in.keys = keys;
        in.keyCount = SDLK_LAST;
        return in;
    }

    static constexpr int ActionCountForTest = 7;
    const char* bindings[ActionCountForTest] = {"inputForward('w')", "inputBackward('s')",
                                                "inputLeft('a')",    "inputRight('d')",
                                                "inputUp('r')",      "inputDown('f')",
                                                "inputShoot('',1)"};
    uint8_t keys[SDLK_LAST] = {};
    Player* player = Player::instance;
    Camera* camera = Camera::instance;
    FrameTimer* timer = FrameTimer::instance;
    Frustum* frustum = Frustum::instance;
    LuaHost* host = LuaHost::instance;
};

TEST_F(PlayerFrame, MouseAtTheCentreDoesNotTurnAndAStillCameraKeepsItsFrustum)
{
    // The first frame builds the frustum for wherever the camera is now.
    frustum->coneAxis = Vector3();
    EXPECT_FALSE(updatePlayer(*player, still()));
    EXPECT_EQ(camera->forward.z, 1.0f);
    EXPECT_NEAR(frustum->coneAngle, std::atan(5.0f / 3.0f), 1e-6);
    frustum->coneAngle = 0.0f;
    EXPECT_FALSE(updatePlayer(*player, still()));
    EXPECT_EQ(frustum->coneAngle, 0.0f);
    // Moved by anything but the keys (a level's player start): rebuilt.
    camera->position = Vector3(0, 0, 5);
    updatePlayer(*player, still());
    EXPECT_NEAR(frustum->coneAngle, std::atan(5.0f / 3.0f), 1e-6);
}

TEST_F(PlayerFrame, MouseLookTurnsAndLoadsTheView)
{
    PlayerInput in = still();
    in.mouseX = 410;  // 10 pixels right: yaw by -0.01 about world up
    in.mouseY = 290;  // 10 pixels up: pitch by 0.01 about right
    EXPECT_TRUE(updatePlayer(*player, in));
    EXPECT_NEAR(camera->forward.y, std::sin(0.01f), 1e-4);
    EXPECT_LT(camera->forward.x, 0.0f);
    EXPECT_NEAR(frustum->coneAngle, std::atan(5.0f / 3.0f), 1e-6);
    EXPECT_NEAR(frustum->coneAxis.x, camera->forward.x, 1e-6);

    // GL's model-view is the camera's view followed by -position.
    float modelView[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
    for (int i = 0; i < 12; i++)
        EXPECT_NEAR(modelView[i], camera->viewMatrix[i], 1e-6) << i;
    // The near plane faces along forward.
    const float* n = frustum->planes[Frustum::Near];
    EXPECT_NEAR(n[0] * camera->forward.x + n[1] * camera->forward.y + n[2] * camera->forward.z,
                1.0f, 1e-4);

    player->mouseLook = false;
    Vector3 before = camera->forward;
    EXPECT_FALSE(updatePlayer(*player, in));
    EXPECT_EQ(camera->forward.x, before.x);
}

TEST_F(PlayerFrame, FreeFlightMovesTheCameraDirectly)
{
    ASSERT_TRUE(host->runString("toggleCameraPhysics()"));
    ASSERT_FALSE(player->physicsEnabled);
    PlayerInput in = still();
    keys['w'] = 1;
    updatePlayer(*player, in);  // 0.5 s at 100 units/s
    EXPECT_NEAR(camera->position.z, 50.0f, 1e-4);
    EXPECT_NEAR(frustum->coneAngle, std::atan(5.0f / 3.0f), 1e-6);  // moved: refreshed

    keys['w'] = 0;
    keys['a'] = 1;  // right is -x while looking down +z
    keys['r'] = 1;
    camera->turn(0.5f, camera->right);  // pitched: up still follows the world up
    updatePlayer(*player, in);
    EXPECT_NEAR(camera->position.y, 50.0f, 1e-4);
    EXPECT_NEAR(camera->position.x, 50.0f, 1e-4);
    EXPECT_EQ(player->body->velocity.lengthSquared(), 0.0f);
    ASSERT_TRUE(host->runString("toggleCameraPhysics()"));
    EXPECT_TRUE(player->physicsEnabled);
}

TEST_F(PlayerFrame, PhysicsPushesTheBodyWhichMovesTheCamera)
{
    PlayerInput in = still();
    keys['s'] = 1;
    updatePlayer(*player, in);
    // Impulse of 50 backwards, then the step moves 50 * 0.5 before friction,
    // which takes half a second's worth: thirty sixtieths.
    const float kept = std::pow(0.994f, 30.0f);
    EXPECT_NEAR(camera->position.z, -25.0f, 1e-4);
    EXPECT_NEAR(player->body->velocity.z, -50.0f * kept, 1e-3);

    // Released keys: the body drifts on, and the frustum follows it.
    keys['s'] = 0;
    frustum->coneAngle = 0.0f;
    updatePlayer(*player, in);
    EXPECT_LT(camera->position.z, -25.0f);
    EXPECT_NEAR(frustum->coneAngle, std::atan(5.0f / 3.0f), 1e-6);
    EXPECT_EQ(frustum->coneVertex.z, camera->position.z);

    // Up with physics follows the true up.
    player->body->velocity = Vector3();
    camera->position = Vector3();
    camera->turn(0.5f, camera->right);
    Vector3 trueUp = camera->trueUp;
    keys['r'] = 1;
    updatePlayer(*player, in);
    EXPECT_NEAR(player->body->velocity.x, 50.0f * kept * trueUp.x, 1e-3);
    EXPECT_NEAR(player->body->velocity.z, 50.0f * kept * trueUp.z, 1e-3);
}

TEST_F(PlayerFrame, ConsoleBlocksActionsButNotMouseLook)
{
    consoleOpen = true;
    PlayerInput in = still();
    keys['w'] = 1;
    in.mouseX = 390;
    EXPECT_TRUE(updatePlayer(*player, in));
    EXPECT_EQ(player->body->velocity.lengthSquared(), 0.0f);
    EXPECT_GT(camera->forward.x, 0.0f);
    consoleOpen = false;
}

TEST_F(PlayerFrame, MouseButtonShootsThroughTheGame)
{
    ASSERT_NE(Game::instance, nullptr);
    Game::instance->reset();
    Game::instance->lastShotTime = 0.0f;
    PlayerInput in = still();
    in.buttons = SDL_BUTTON(1);
    updatePlayer(*player, in);
    EXPECT_EQ(Game::instance->bullets, 999);
    in.buttons = SDL_BUTTON(3);
    updatePlayer(*player, in);
    EXPECT_EQ(Game::instance->bullets, 999);
}

TEST_F(PlayerFrame, LockedFrustumStaysPut)
{
    ASSERT_TRUE(host->runString("lockFrustum()"));
    ASSERT_TRUE(frustum->locked);
    PlayerInput in = still();
    in.mouseX = 500;
    updatePlayer(*player, in);
    EXPECT_EQ(frustum->coneAngle, 0.0f);
    ASSERT_TRUE(host->runString("lockFrustum()"));
    EXPECT_FALSE(frustum->locked);
}

TEST_F(PlayerFrame, RealMouseMotionTurnsAndIsWarpedBack)
{
    // Through SDL's own state: warp the pointer away, let SDL see it, then
    // the update turns the camera and puts the pointer back at the centre.
    SDL_WarpMouse(500, 300);
    SDL_Event e;
    for (int i = 0; i < 50; i++) {
        while (SDL_PollEvent(&e)) {
        }
        int x = 0, y = 0;
        SDL_GetMouseState(&x, &y);
        if (x == 500)
            break;
        SDL_Delay(10);
    }
    int x = 0, y = 0;
    SDL_GetMouseState(&x, &y);
    ASSERT_EQ(x, 500);
    player->update();
    EXPECT_NEAR(camera->forward.x, std::sin(-0.1f), 1e-4);
    for (int i = 0; i < 50; i++) {
        while (SDL_PollEvent(&e)) {
        }
        SDL_GetMouseState(&x, &y);
        if (x == 400)
            break;
        SDL_Delay(10);
    }
    EXPECT_EQ(x, 400);
    EXPECT_EQ(y, 300);
}

// What 30, 60 and 300 frames a second make of a held key, its release and an
// enemy's chase, with fixed frame times through the real player and enemy
// updates.
struct PaceResult {
    float speed = 0.0f;        // after 10 s of a held key
    float drift = 0.0f;        // covered after the release
    float chaseSeconds = 0.0f; // for an enemy 600 units away to touch
};

PaceResult paceAt(float fps, Player& player, Camera& camera, FrameTimer& timer, uint8_t* keys,
                  const PlayerInput& in)
{
    PaceResult result;
    float dt = 1.0f / fps;
    timer.frameTime = dt;
    player.body->velocity = Vector3();
    camera.position = Vector3();
    keys['w'] = 1;
    for (int f = 0; f < int(10.0f * fps + 0.5f); f++)
        updatePlayer(player, in);
    result.speed = player.body->velocity.length();
    keys['w'] = 0;
    Vector3 released = camera.position;
    for (int f = 0; f < int(20.0f * fps + 0.5f); f++)
        updatePlayer(player, in);
    result.drift = (camera.position - released).length();

    camera.position = Vector3();
    Enemy enemy;
    EntityBlock block;
    block.parse("\"radius\" \"20\"\n\"speed\" \"150\"\n");
    enemy.configure(block);
    enemy.position = Vector3(0, 0, 600);
    int frames = 0;
    while ((enemy.position - camera.position).lengthSquared() >= 3600.0f && frames < 100000) {
        enemy.update();
        frames++;
    }
    result.chaseSeconds = frames * dt;
    return result;
}

TEST_F(PlayerFrame, SpeedDriftAndChaseDoNotDependOnTheFrameRate)
{
    PlayerInput in = still();
    // One frame of exactly 1/60 s loses 0.6 % of the speed, as it always did.
    timer->frameTime = 1.0f / 60.0f;
    player->body->velocity = Vector3(0, 0, 100);
    updatePlayer(*player, in);
    EXPECT_EQ(player->body->velocity.z, 100.0f - 100.0f * 0.006f);

    PaceResult at60 = paceAt(60.0f, *player, *camera, *timer, keys, in);
    ASSERT_GT(at60.speed, 200.0f);
    ASSERT_GT(at60.drift, 500.0f);
    ASSERT_GT(at60.chaseSeconds, 1.0f);
    for (float fps : {30.0f, 300.0f}) {
        SCOPED_TRACE(fps);
        PaceResult r = paceAt(fps, *player, *camera, *timer, keys, in);
        EXPECT_NEAR(r.speed / at60.speed, 1.0f, 0.02f);
        EXPECT_NEAR(r.drift / at60.drift, 1.0f, 0.02f);
        EXPECT_NEAR(r.chaseSeconds / at60.chaseSeconds, 1.0f, 0.02f);
    }
}

} // namespace
