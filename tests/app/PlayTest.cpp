// The game as it runs: the process-wide objects, the shipped level loaded
// through the map command, the real game frame, shots at an enemy until it
// explodes, marks on a wall, then death through kill(). Then the real
// levels through the main loop's own frame with real mouse and keys: every
// face the camera surely sees is drawn, the camera never draws from a
// cluster it has left, and curves hold the player and stop shots.
#include <chrono>
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <SDL/SDL.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "RealLevels.h"
#include "app/Frame.h"
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
#include "gui/GuiWidget.h"
#include "world/Collision.h"
#include "world/Frustum.h"
#include "world/PatchCollision.h"
#include "world/PhysicsBody.h"
#include "world/Renderer.h"
#include "world/SurfaceKind.h"
#include "world/ViewAngles.h"

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
        bool font = SharedFont::instance->init("faktos.ttf", Game::HUD_FONT_SIZE);
        ASSERT_TRUE(Game::instance->init(kWidth, kHeight, font ? SharedFont::instance : nullptr));
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

// Shooting away from an enemy close behind: it is not hurt, and no mark is
// left behind the shooter.
TEST(Play, EnemyBehindTheShooterIsNeverHit)
{
    Game* game = Game::instance;
    LuaHost::instance->runString("kill()");
    ASSERT_TRUE(LuaHost::instance->runString("map(\"baseq3/maps/test.bsp\")"));
    Enemy* enemy = nullptr;
    Vector3 direction;
    for (int i = 0; i < TargetList::instance->count() && !enemy; ++i) {
        Enemy* candidate = dynamic_cast<Enemy*>(TargetList::instance->at(i));
        if (candidate && candidate->radius > 0 && clearDirection(candidate->position, 300.0f, &direction))
            enemy = candidate;
    }
    ASSERT_NE(enemy, nullptr);
    Vector3 spot = enemy->position + direction * 100.0f;
    aim(spot, spot + direction * 1000.0f);
    int life = enemy->life;
    frame(true);
    EXPECT_EQ(game->bullets, 999);
    EXPECT_EQ(enemy->life, life);
    for (int i = 0; i < game->markCount; ++i)
        EXPECT_GT((game->marks[i].position - spot).dot(direction), 0.0f);
}

// The HUD's texts at their widest fit the room the HUD leaves them: life up
// to the bullets, the bullets and the frame rate up to the window's edge.
TEST(Play, HudTextsFitTheirSpace)
{
    Font* font = Game::instance->font;
    ASSERT_TRUE(font && font->loaded());
    const struct {
        const char* text;
        int room;
    } texts[] = {{"Life: 100", 100}, {"Bullets: 1000", 100}, {"FPS: 1000", 70}};
    for (const auto& t : texts) {
        // A few pixels short of the room, so no glyph touches the next text.
        EXPECT_LE(font->textWidth(t.text), t.room - 4) << t.text;
    }
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

namespace {

// The leaf holding p, by a walk of the tree written here.
int trueLeaf(const Renderer& r, const Vector3& p)
{
    int index = 0;
    while (index >= 0) {
        const bsp::BspPlane& plane = r.planes[r.nodes[index].plane];
        float side = plane.normal[0] * p.x + plane.normal[1] * p.y + plane.normal[2] * p.z -
                     plane.distance;
        index = r.nodes[index].children[side < 0.0f ? 1 : 0];
    }
    return ~index;
}

bool inPvs(const Renderer& r, int from, int to)
{
    if (!r.visBits || from < 0)
        return true;
    return to >= 0 && (r.visBits[from * r.visBytesPerCluster + to / 8] & (1 << (to & 7)));
}

// Brute force over the view: points on a grid of rays well inside the
// frustum of the camera's true pose, every 16 units to just short of the far
// plane, walls or not. A leaf holding such a point and in the PVS of the
// camera's true cluster must be drawn, with every face of the drawn kinds it
// lists. Returns how many of those faces the last frame did not draw.
int missedFaces(int* expected)
{
    const Renderer& r = *Renderer::instance;
    const Camera& camera = *Camera::instance;
    float projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    int cluster = r.leaves[trueLeaf(r, camera.position)].cluster;
    std::vector<char> leafSeen(size_t(r.leafCount), 0);
    for (int i = 0; i < 16; ++i) {
        for (int j = 0; j < 12; ++j) {
            // 90 % of the way to the frustum's sides; depth 1 along forward.
            float x = (-0.9f + 1.8f * i / 15.0f) / projection[0];
            float y = (-0.9f + 1.8f * j / 11.0f) / projection[5];
            Vector3 step = camera.forward + camera.right * x + camera.trueUp * y;
            for (float depth = 8.0f; depth < 2900.0f; depth += 16.0f)
                leafSeen[size_t(trueLeaf(r, camera.position + step * depth))] = 1;
        }
    }
    int32_t frame = int32_t(FrameTimer::instance->frameCount);
    std::vector<char> wanted(size_t(r.faceCount), 0);
    for (int l = 0; l < r.leafCount; ++l) {
        const bsp::BspLeaf& leaf = r.leaves[l];
        if (!leafSeen[l] || leaf.cluster < 0 || !inPvs(r, cluster, leaf.cluster))
            continue;
        for (int k = 0; k < leaf.leafFaceCount; ++k) {
            int f = r.leafFaces[leaf.firstLeafFace + k];
            int type = r.faces[f].type;
            // Tool faces (clip, hint, ...) are never drawn.
            bool hidden = r.faceKinds && r.faceKinds[f] == FaceHidden;
            wanted[f] = wanted[f] || (type != bsp::FacePatch && type != bsp::FaceBillboard && !hidden);
        }
    }
    int missed = 0;
    *expected = 0;
    for (int f = 0; f < r.faceCount; ++f) {
        *expected += wanted[f];
        missed += wanted[f] && r.faceMarks[f] != frame;
    }
    return missed;
}

// One pass of the main loop: every pending event routed, then the frame.
void loopOnce()
{
    SDL_Event event;
    while (SDL_PollEvent(&event))
        routeEvent(event);
    runFrame();
}

// Puts the pointer at (x, y) and waits until SDL reports it there.
void pointerTo(int x, int y)
{
    SDL_WarpMouse(Uint16(x), Uint16(y));
    for (int i = 0; i < 100; ++i) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
        }
        int px = 0, py = 0;
        SDL_GetMouseState(&px, &py);
        if (px == x && py == y)
            return;
        SDL_Delay(5);
    }
}

std::string xdotool(const std::string& args)
{
    std::string out;
    if (FILE* pipe = popen(("xdotool " + args + " 2>/dev/null").c_str(), "r")) {
        char buffer[128];
        while (std::fgets(buffer, sizeof buffer, pipe))
            out += buffer;
        pclose(pipe);
    }
    return out;
}

// Mouse look on, pointer at the centre, no motion left over.
struct MouseLook {
    MouseLook()
    {
        Player::instance->mouseLook = true;
        Player::instance->body->velocity = Vector3();
        pointerTo(kWidth / 2, kHeight / 2);
    }
    ~MouseLook() { Player::instance->mouseLook = false; }
};

} // namespace

// A level loaded by map() is drawn from its first frame, before any key,
// from where the level puts the player, and again after a small turn.
TEST(Play, EveryRealLevelIsDrawnFromItsFirstFrame)
{
    std::vector<std::string> paths = realLevels();
    ASSERT_EQ(paths.size(), 50u);
    MouseLook look;
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        float origin[3];
        ASSERT_TRUE(playerSpawn(levelEntities(path), origin));

        pointerTo(kWidth / 2, kHeight / 2);
        ASSERT_TRUE(LuaHost::instance->runString(("map('" + path + "')").c_str()));
        ASSERT_TRUE(Renderer::instance->levelLoaded);
        Player::instance->body->velocity = Vector3();
        Vector3 spawn = fromFileFrame(origin[0], origin[1], origin[2]);
        EXPECT_LT((Camera::instance->position - spawn).length(), 0.01f);

        loopOnce();
        int expected = 0;
        EXPECT_EQ(missedFaces(&expected), 0) << "of " << expected << " at the first frame";
        EXPECT_GT(expected, 0);

        SDL_WarpMouse(kWidth / 2 + 15, kHeight / 2 - 4);
        pointerTo(kWidth / 2 + 15, kHeight / 2 - 4);
        Vector3 before = Camera::instance->forward;
        loopOnce();
        ASSERT_GT((Camera::instance->forward - before).length(), 0.001f) << "no turn";
        EXPECT_EQ(missedFaces(&expected), 0) << "of " << expected << " after a turn";
        TextureManager::get().releaseAll();
    }
    Game::instance->init(kWidth, kHeight, Game::instance->font);
}

#ifndef PLAY_SOAK_FRAMES
#define PLAY_SOAK_FRAMES 1500
#endif

// Random held keys and mouse turns, real X input, on three real levels:
// the cluster the renderer draws from is always the one the camera is in.
TEST(Play, SoakNeverDrawsFromAStaleCluster)
{
    std::string window = xdotool("search --name '^game play test$'");
    window = window.substr(0, window.find('\n'));
    ASSERT_FALSE(window.empty());
    xdotool("windowfocus --sync " + window);
    const char* keys[] = {"w", "s", "a", "d", "r", "f"};
    const char* binds[] = {"inputForward('w')", "inputBackward('s')", "inputLeft('a')",
                           "inputRight('d')", "inputUp('r')", "inputDown('f')"};
    for (const char* bind : binds)
        ASSERT_TRUE(LuaHost::instance->runString(bind));
    Player::instance->speed = 100.0f;
    MouseLook look;
    std::srand(11);

    for (const char* name : {"oa_dm4", "ctf_inyard", "dm4ish"}) {
        SCOPED_TRACE(name);
        std::string path = realLevelDir() + "/" + name + ".bsp";
        ASSERT_TRUE(LuaHost::instance->runString(("map('" + path + "')").c_str()));
        ASSERT_TRUE(Renderer::instance->levelLoaded);
        const Renderer& r = *Renderer::instance;
        Camera& camera = *Camera::instance;
        int stale = 0;
        float travelled = 0.0f;
        std::string held;
        for (int frame = 0; frame < PLAY_SOAK_FRAMES; ++frame) {
            if (frame % 50 == 0) {
                if (!held.empty())
                    xdotool("keyup --window " + window + held);
                held.clear();
                // Every other stretch lets go of everything: the body drifts.
                if (frame % 100 == 0)
                    for (const char* key : keys)
                        if (std::rand() % 2 == 0)
                            held += std::string(" ") + key;
                if (!held.empty())
                    xdotool("keydown --window " + window + held);
            }
            if (frame % 5 == 0)
                SDL_WarpMouse(Uint16(kWidth / 2 + std::rand() % 41 - 20),
                              Uint16(kHeight / 2 + std::rand() % 21 - 10));
            Vector3 before = camera.position;
            loopOnce();
            travelled += (camera.position - before).length();
            int leaf = trueLeaf(r, camera.position);
            stale += camera.leaf != leaf || camera.cluster != r.leaves[leaf].cluster;
        }
        if (!held.empty())
            xdotool("keyup --window " + window + held);
        EXPECT_EQ(stale, 0);
        EXPECT_GT(travelled, 50.0f) << "the keys never moved the camera";
        TextureManager::get().releaseAll();
    }
    Game::instance->init(kWidth, kHeight, Game::instance->font);
}

namespace {

// A place on a curve: a point of one facet's surface and the way it faces.
struct CurveSpot {
    Vector3 centre, normal;
};

Vector3 facetNormal(const PatchFacet& facet)
{
    const float* n = facet.planes[0].normal;
    return Vector3(n[0], n[1], n[2]);
}

// The facet's box centre moved onto its surface.
Vector3 facetCentre(const PatchFacet& facet)
{
    const float* d = facet.bounds.distance;
    Vector3 box((d[0] - d[1]) * 0.5f, (d[2] - d[3]) * 0.5f, (d[4] - d[5]) * 0.5f);
    Vector3 n = facetNormal(facet);
    return box - n * (n.dot(box) - facet.planes[0].distance);
}

// True when the player has room in front of the spot and the curve holds it
// there: without the curves a sphere goes on at least 8 units farther.
bool onlyTheCurveHolds(const CurveSpot& spot)
{
    Renderer& r = *Renderer::instance;
    const Vector3 front = spot.centre + spot.normal * 40.0f;
    if (r.leaves[trueLeaf(r, front)].cluster < 0)
        return false;
    TraceResult clear, held, without;
    sphereTrace(r, clear, spot.centre + spot.normal * 90.0f, spot.centre + spot.normal * 22.0f, 20.0f);
    sphereTrace(r, held, front, spot.centre - spot.normal * 40.0f, 20.0f);
    CollisionLevel level = collisionLevelOf(r);
    level.curves = nullptr;
    without.radius = 20.0f;
    traceLevel(level, front, spot.centre - spot.normal * 40.0f, without, kBodyContents);
    return !clear.hit && held.hit && held.normal.dot(spot.normal) > 0.8f &&
           (held.endPosition - spot.centre).dot(spot.normal) > 19.0f &&
           (without.fraction - held.fraction) * 80.0f >= 8.0f;
}

// The first spot on a curved (not flat) facet whose normal's height lies in
// low..high; with seam, the spot lies halfway between two facets of two
// neighbouring patches that face alike.
bool findCurveSpot(float low, float high, bool seam, CurveSpot* out)
{
    const PatchCollision* curves = Renderer::instance->curves;
    if (!curves)
        return false;
    for (const CurveSurface& a : curves->surfaces) {
        for (int i = 0; i < a.facetCount; i++) {
            const PatchFacet& fa = curves->facets[size_t(a.firstFacet + i)];
            Vector3 n = facetNormal(fa);
            if (n.y < low || n.y > high || std::fabs(n.x) > 0.999f || std::fabs(n.y) > 0.999f ||
                std::fabs(n.z) > 0.999f)
                continue;
            CurveSpot spot{facetCentre(fa), n};
            for (size_t b = 0; seam && b < curves->surfaces.size(); b++) {
                const CurveSurface& other = curves->surfaces[b];
                if (&other == &a)
                    continue;
                for (int k = 0; k < other.facetCount; k++) {
                    const PatchFacet& fb = curves->facets[size_t(other.firstFacet + k)];
                    Vector3 m = facetNormal(fb);
                    Vector3 cb = facetCentre(fb);
                    if (m.dot(n) < 0.95f || (cb - spot.centre).length() > 24.0f)
                        continue;
                    Vector3 both = n + m;
                    CurveSpot between{(spot.centre + cb) * 0.5f, both * (1.0f / both.length())};
                    if (onlyTheCurveHolds(between)) {
                        *out = between;
                        return true;
                    }
                }
            }
            if (!seam && onlyTheCurveHolds(spot)) {
                *out = spot;
                return true;
            }
        }
    }
    return false;
}

} // namespace

// Real curves with camera physics on, through real frames and real keys: the
// player held down onto a curved floor rests on it, pushed into a curved wall
// or the seam of two patches stays on the near side; a shot at a curved wall
// stops there (the enemy behind it is not hit) and leaves a mark on it.
TEST(Play, CurvesHoldThePlayerAndStopShots)
{
    std::string window = xdotool("search --name '^game play test$'");
    window = window.substr(0, window.find('\n'));
    ASSERT_FALSE(window.empty());
    xdotool("windowfocus --sync " + window);
    for (const char* bind : {"inputForward('w')", "inputDown('f')"})
        ASSERT_TRUE(LuaHost::instance->runString(bind));
    Player& player = *Player::instance;
    player.speed = 100.0f;
    player.physicsEnabled = true;

    struct Case {
        const char* name;
        float low, high;
        bool seam;
        const char* key;
        bool done;
    } cases[] = {{"floor", 0.7f, 1.0f, false, "f", false},
                 {"wall", -0.3f, 0.3f, false, "w", false},
                 {"seam", -0.3f, 0.5f, true, "w", false}};
    bool shot = false;
    // The first of these curvy levels with a spot of each kind.
    for (const char* name : {"czest3ctf", "oa_spirit3", "pul1ctf", "oa_dm3", "oa_shouse", "kaos2"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(LuaHost::instance->runString(("map('" + realLevelDir() + "/" + name + ".bsp')").c_str()));
        ASSERT_TRUE(Renderer::instance->curves);
        TargetList::instance->clear();
        for (Case& c : cases) {
            CurveSpot spot;
            if (c.done || !findCurveSpot(c.low, c.high, c.seam, &spot))
                continue;
            SCOPED_TRACE(c.name);
            c.done = true;
            // The floor is pressed with the down key, looking level; the
            // walls with the forward key, looking at them. The player is
            // put there as a script would, in the file's frame.
            Vector3 start = toFileFrame(spot.centre + spot.normal * 40.0f);
            Vector3 level(spot.normal.z, 0.0f, -spot.normal.x);
            Vector3 look = c.key[0] == 'w' ? spot.normal * -1.0f : level.length() > 0.01f ? level : Vector3(1, 0, 0);
            float yaw = 0.0f, pitch = 0.0f;
            anglesOfForward(look, &yaw, &pitch);
            char place[160];
            std::snprintf(place, sizeof place, "setViewPos(%.3f, %.3f, %.3f, %.3f, %.3f)", start.x, start.y,
                          start.z, yaw, pitch);
            ASSERT_TRUE(LuaHost::instance->runString(place));

            float nearest = 1e9f;
            xdotool("keydown --window " + window + " " + c.key);
            // Held for a while by the clock, not by a count of frames: a
            // fast machine's frames are short and the body would not arrive.
            auto begun = std::chrono::steady_clock::now();
            for (int f = 0; f < 5000 && (f < 80 || std::chrono::steady_clock::now() - begun < std::chrono::milliseconds(1500)); ++f) {
                loopOnce();
                Vector3 offset = Camera::instance->position - spot.centre;
                float height = offset.dot(spot.normal);
                float aside = (offset - spot.normal * height).length();
                if (aside < 30.0f)
                    nearest = std::min(nearest, height);
            }
            xdotool("keyup --window " + window + " " + c.key);
            // Come up against the curve and kept about a radius off it.
            EXPECT_LT(nearest, 30.0f);
            EXPECT_GT(nearest, 15.0f);
        }

        // A shot at a curved wall, an enemy just behind it.
        CurveSpot wall;
        if (shot || !findCurveSpot(-0.3f, 0.3f, false, &wall))
            continue;
        shot = true;
        Enemy* enemy = new Enemy();
        enemy->position = wall.centre - wall.normal * 30.0f;
        enemy->radius = 16.0f;
        enemy->radiusSquared = 256.0f;
        ASSERT_TRUE(Renderer::instance->addEntity(Renderer::instance->findLeaf(enemy->position), enemy));
        TargetList::instance->add(enemy);
        Game* game = Game::instance;
        int marks = game->markCount;
        aim(wall.centre + wall.normal * 60.0f, wall.centre);
        FrameTimer::instance->now += 1.0f;
        game->shot();
        EXPECT_EQ(enemy->life, 100);
        ASSERT_TRUE(game->shotTrace.hit);
        EXPECT_NEAR((game->shotTrace.endPosition - wall.centre).dot(wall.normal), 0.0f, 0.5f);
        EXPECT_GT(game->shotTrace.normal.dot(wall.normal), 0.99f);
        ASSERT_EQ(game->markCount, marks + 1);
        EXPECT_NEAR((game->marks[marks].position - wall.centre).dot(wall.normal), 2.0f, 0.5f);
        TargetList::instance->clear();
    }
    for (const Case& c : cases)
        EXPECT_TRUE(c.done) << "no " << c.name << " spot on any of the levels";
    EXPECT_TRUE(shot);
    player.physicsEnabled = false;
}
