// The game as it runs: the process-wide objects, the shipped level loaded
// through the map command, the real game frame, shots at an enemy until it
// explodes, marks on a wall, then death through kill().
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <SDL/SDL.h>
#include <unistd.h>

#include <cmath>
#include <vector>

#include "app/FrameTimer.h"
#include "app/Game.h"
#include "app/TargetList.h"
#include "gui/Menu.h"
#include "objects/Enemy.h"
#include "objects/Explosion.h"
#include "platform/OglSdl.h"
#include "resources/Font.h"
#include "resources/TextureManager.h"
#include "script/GameCommands.h"
#include "script/LuaHost.h"
#include "script/Player.h"
#include "app/Startup.h"
#include "world/Camera.h"
#include "world/PhysicsBody.h"
#include "gui/GuiWidget.h"
#include "world/Collision.h"
#include "world/Frustum.h"
#include "world/Renderer.h"

namespace {

const int kWidth = 400, kHeight = 300;

class GameWindow : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_EQ(chdir(HALVEX_GAME_DIR), 0);
        registerGameCommands();
        window = new OglSdl();
        ASSERT_TRUE(window->createWindow("game play test", kWidth, kHeight, 24, 45.0f));
        setGameGlState();
        ASSERT_TRUE(Renderer::instance->setupMultitexture());
        Frustum::instance->setViewport(kWidth / 2.0f, kHeight / 2.0f, 1.0f);
        bool font = Font::shared->init("faktos.ttf", 12);
        ASSERT_TRUE(Game::instance->init(kWidth, kHeight, font ? Font::shared : nullptr));
        // Start-up step 9: the menu with the shipped gui.gui.
        Menu::instance->init(kWidth, kHeight, false);
        // The test aims the camera itself.
        Player::instance->mouseLook = false;
        Player::instance->setScreenSize(kWidth, kHeight);
    }
    void TearDown() override
    {
        Renderer::instance->freeLevel();
        TargetList::instance->clear();
        TextureManager::get().releaseAll();
        delete window;
    }
    OglSdl* window = nullptr;
};
::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new GameWindow);

uint32_t clockMs = 1000;

// One frame as the main loop runs it, 10 ms after the last.
void frame(bool fire)
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    clockMs += 10;
    FrameTimer::instance->tickAt(clockMs);
    glColor3f(1, 1, 1);
    if (fire)
        Game::instance->shot();
    Game::instance->runGameFrame();
    OglSdl::instance->endOverlay();
    SDL_GL_SwapBuffers();
}

// Looks from where at target and lets the frustum and camera leaf follow,
// as the player update does after a turn.
void aim(const Vector3& from, const Vector3& target)
{
    Camera* camera = Camera::instance;
    camera->position = from;
    Vector3 d = target - from;
    camera->forward = d * (1.0f / d.length());
    camera->recompute();
    camera->applyView();
    Frustum::instance->update(camera->position, camera->forward);
    Renderer::instance->updateCameraLeaf(*camera, camera->position);
}

bool inSomeLeaf(const WorldEntity* entity)
{
    Renderer* r = Renderer::instance;
    for (int leaf = 0; leaf < r->leafCount; ++leaf)
        for (int i = 0; i < r->leafEntities[leaf].count; ++i)
            if (r->leafEntities[leaf].entities[i] == entity)
                return true;
    return false;
}

int targetIndex(const Target* target)
{
    for (int i = 0; i < TargetList::instance->count(); ++i)
        if (TargetList::instance->at(i) == target)
            return i;
    return -1;
}

// Lit pixels of the current back buffer.
size_t litPixels()
{
    std::vector<unsigned char> pixels(kWidth * kHeight * 3);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    size_t lit = 0;
    for (size_t i = 0; i < pixels.size(); i += 3)
        lit += pixels[i] + pixels[i + 1] + pixels[i + 2] > 30;
    return lit;
}

// A direction from p with that many clear units, found with the sphere trace.
bool clearDirection(const Vector3& p, float clear, Vector3* direction)
{
    const Vector3 directions[] = {{1, 0, 0}, {-1, 0, 0}, {0, 0, 1}, {0, 0, -1},
                                  {0.7071f, 0, 0.7071f}, {-0.7071f, 0, 0.7071f},
                                  {0.7071f, 0, -0.7071f}, {-0.7071f, 0, -0.7071f}};
    for (const Vector3& d : directions) {
        TraceResult trace;
        sphereTrace(*Renderer::instance, trace, p, p + d * clear, 25.0f);
        if (!trace.hit) {
            *direction = d;
            return true;
        }
    }
    return false;
}


TEST(Play, ShootAnEnemyUntilItExplodesThenDie)
{
    LuaHost* host = LuaHost::instance;
    Game* game = Game::instance;
    Menu::instance->menuActive = true;
    ASSERT_TRUE(host->runString("map(\"baseq3/maps/test.bsp\")"));
    ASSERT_TRUE(Renderer::instance->levelLoaded);
    EXPECT_FALSE(Menu::instance->menuActive);
    ASSERT_GT(TargetList::instance->count(), 0);

    // The first enemy with open space around it, seen from far enough that
    // its chase does not reach the player before ten shots.
    Enemy* enemy = nullptr;
    Vector3 direction;
    for (int i = 0; i < TargetList::instance->count() && !enemy; ++i) {
        Enemy* candidate = dynamic_cast<Enemy*>(TargetList::instance->at(i));
        if (candidate && candidate->radius > 0 && candidate->speed < 200 &&
            clearDirection(candidate->position, 600.0f, &direction))
            enemy = candidate;
    }
    ASSERT_NE(enemy, nullptr) << "no enemy with a clear line of fire";
    Vector3 home = enemy->position;
    Vector3 spot = home + direction * 500.0f;
    int bulletsBefore = game->bullets;

    // Fire, aiming at it every frame, until it leaves the target list.
    int lifeBefore = game->life;
    float deathDistanceSquared = -1.0f;
    for (int f = 0; f < 1000 && targetIndex(enemy) >= 0; ++f) {
        aim(spot, enemy->position);
        lifeBefore = game->life;
        frame(true);
        if (targetIndex(enemy) < 0)
            deathDistanceSquared = (Camera::instance->position - enemy->position).lengthSquared();
    }
    ASSERT_LT(targetIndex(enemy), 0) << "the enemy never died";
    ASSERT_NE(enemy->explosion, nullptr);
    EXPECT_LT(game->bullets, bulletsBefore);
    // Shot dead, not touched, and the blast took its share.
    EXPECT_LE(enemy->life, 0);
    EXPECT_GT(deathDistanceSquared, 3600.0f);
    EXPECT_EQ(game->life, Enemy::lifeAfterBlast(lifeBefore, deathDistanceSquared, enemy->radius));
    EXPECT_LT(game->life, lifeBefore);

    // The burst is drawn by the world pass: its particles age and light the frame.
    aim(spot, enemy->position);
    frame(false);
    ASSERT_TRUE(inSomeLeaf(enemy));
    EXPECT_LT(enemy->explosion->group.particles[0].life, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    Camera::instance->applyView();
    EXPECT_TRUE(enemy->draw());
    EXPECT_GT(litPixels(), 50u);

    // About two seconds later the world destroys it. Seen from close by only
    // some particles age, so the viewer steps back.
    Vector3 burst = enemy->position;
    Vector3 away = home + direction * 590.0f;
    ASSERT_GT((away - burst).lengthSquared(), 5000.0f);
    int frames = 0;
    while (frames < 300 && inSomeLeaf(enemy)) {
        aim(away, burst);
        frame(false);
        ++frames;
    }
    EXPECT_FALSE(inSomeLeaf(enemy));
    EXPECT_GT(frames, 150);
}

TEST(Play, FiftyMarksThenBulletsWithoutMarks)
{
    Game* game = Game::instance;
    LuaHost::instance->runString("kill()");
    ASSERT_TRUE(LuaHost::instance->runString("map(\"baseq3/maps/test.bsp\")"));
    ASSERT_TRUE(Renderer::instance->levelLoaded);
    TargetList::instance->clear();  // nothing in the way of the wall

    // Straight down onto the floor from the player start.
    Vector3 start = Camera::instance->position;
    aim(start, start + Vector3(0.01f, -1, 0));
    for (int i = 0; i < 60; ++i) {
        FrameTimer::instance->now += 0.2f;
        game->shot();
    }
    EXPECT_EQ(game->bullets, 940);
    EXPECT_EQ(game->markCount, 50);
    EXPECT_TRUE(game->shotTrace.hit);
    // Two units in front of the surface it struck.
    Vector3 mark = game->marks[0].position;
    EXPECT_NEAR((mark - game->shotTrace.endPosition).length(), 2.0f, 1e-3f);
}

TEST(Play, LifeAtZeroRunsKill)
{
    Game* game = Game::instance;
    ASSERT_TRUE(LuaHost::instance->runString("map(\"baseq3/maps/test.bsp\")"));
    ASSERT_TRUE(Renderer::instance->levelLoaded);
    game->bullets = 10;
    game->life = 0;
    frame(false);
    EXPECT_FALSE(Renderer::instance->levelLoaded);
    EXPECT_EQ(game->life, 100);
    EXPECT_EQ(game->bullets, 1000);
    EXPECT_EQ(game->markCount, 0);
    EXPECT_EQ(TargetList::instance->count(), 0);
    EXPECT_TRUE(Menu::instance->menuActive);
    EXPECT_EQ(Menu::instance->currentScreen, menu::ScreenKill);
}

// The New Game button clicked as the main loop delivers it: a left press
// and release at its centre, routed while the menu is shown.
void clickNewGame()
{
    GuiWindow* main = Menu::instance->screens[menu::ScreenMain];
    ASSERT_NE(main, nullptr);
    GuiWidget* button = main->findWidget("btn_newGame");
    ASSERT_NE(button, nullptr);
    SDL_Event e = {};
    e.button.button = SDL_BUTTON_LEFT;
    e.button.x = static_cast<Uint16>((button->rect.x0 + button->rect.x1) / 2);
    e.button.y = static_cast<Uint16>((button->rect.y0 + button->rect.y1) / 2);
    for (Uint8 type : { SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP }) {
        e.type = e.button.type = type;
        routeEvent(e);
    }
}

TEST(Play, NewGameOverARunningGameStartsAfresh)
{
    Game* game = Game::instance;
    ASSERT_TRUE(LuaHost::instance->runString("map(\"baseq3/maps/test.bsp\")"));
    ASSERT_TRUE(Renderer::instance->levelLoaded);
    TargetList::instance->clear();
    Vector3 start = Camera::instance->position;
    aim(start, start + Vector3(0.01f, -1, 0));
    game->lastShotTime = FrameTimer::instance->now;  // earlier tests ran the clock on
    for (int i = 0; i < 5; ++i) {
        FrameTimer::instance->now += 0.2f;
        game->shot();
    }
    game->life = 40;
    Player::instance->body->velocity = Vector3(30, 0, 0);
    ASSERT_GT(game->markCount, 0);
    ASSERT_EQ(game->bullets, 995);

    // Escape during play shows the menu over the game; New Game from there.
    LuaHost::instance->runString("quit()");
    ASSERT_TRUE(Menu::instance->menuActive);
    Menu::instance->showScreen(menu::ScreenMain);  // an earlier test left the killed dialog up
    clickNewGame();
    EXPECT_FALSE(Menu::instance->menuActive);
    EXPECT_TRUE(Renderer::instance->levelLoaded);
    EXPECT_EQ(game->life, 100);
    EXPECT_EQ(game->bullets, 1000);
    EXPECT_EQ(game->markCount, 0);
    Vector3 forward = Camera::instance->forward;
    EXPECT_EQ(forward.x, 0.0f);
    EXPECT_EQ(forward.y, 0.0f);
    EXPECT_EQ(forward.z, 1.0f);
    EXPECT_EQ(Player::instance->body->velocity.length(), 0.0f);
    frame(false);
}

} // namespace
