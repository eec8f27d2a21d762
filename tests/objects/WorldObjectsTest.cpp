// Enemies, fountains and explosions in a real GL context, placed by the
// entity parser into a small real level; then a mutation corpus of entity
// text against the same level.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <SDL/SDL.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "TestLevel.h"
#include "TestWindow.h"
#include "app/FrameTimer.h"
#include "app/Game.h"
#include "app/Startup.h"
#include "app/TargetList.h"
#include "objects/Enemy.h"
#include "objects/Explosion.h"
#include "objects/ParticleSystem.h"
#include "platform/OglSdl.h"
#include "platform/SystemLog.h"
#include "resources/TextureManager.h"
#include "world/BspLoader.h"
#include "world/Camera.h"
#include "world/EntitieParser.h"
#include "world/Frustum.h"
#include "world/PhysicsBody.h"
#include "world/Renderer.h"

namespace {

// The fixed images (enemy.tga, particle.tga) live in the run folder.
class GameTestWindow : public TestWindow {
public:
    GameTestWindow() : TestWindow("game test", 320, 240) {}
    void SetUp() override
    {
        if (chdir(HALVEX_GAME_DIR) != 0)
            SystemLog::get().write(LOG_YELLOW "::test no run folder %s", HALVEX_GAME_DIR);
        TestWindow::SetUp();
    }
};
::testing::Environment* const window = ::testing::AddGlobalTestEnvironment(new GameTestWindow);

// The objects the game reaches, in the game's order of construction.
struct World {
    TargetList targets;
    Frustum frustum;
    FrameTimer timer;
    Camera camera;
    Renderer renderer;
    Game game;

    World()
    {
        frustum.setViewport(160.0f, 120.0f, 1.0f);
        renderer.setupMultitexture();
    }
    ~World()
    {
        targets.clear();
        renderer.freeLevel();
    }

    // The two-leaf level with the given entity text (leaf 0 is x >= 0).
    bool load(const std::string& entities)
    {
        TestLevel level;
        level.entities = entities;
        std::string path = std::string(HALVEX_BINARY_DIR) + "/tests/objects/objects_test.bsp";
        if (!level.write(path))
            return false;
        BspLoader loader;
        return loader.load(path.c_str(), &targets);
    }
    int entitiesIn(int leaf) const { return renderer.leafEntities[leaf].count; }
    WorldEntity* entity(int leaf, int i) const { return renderer.leafEntities[leaf].entities[i]; }
    void tick(float seconds)
    {
        timer.frameTime = seconds;
        timer.now += seconds;
    }
};

std::string enemyBlock(const char* origin, const char* radius = "20", const char* speed = "100")
{
    return std::string("{\n\"classname\" \"enemy\"\n\"origin\" \"") + origin + "\"\n\"radius\" \"" +
           radius + "\"\n\"speed\" \"" + speed + "\"\n}\n";
}

bool logHas(size_t from, const char* text)
{
    for (size_t i = from; i < SystemLog::get().storedLines(); ++i)
        if (strstr(SystemLog::get().line(i), text))
            return true;
    return false;
}

} // namespace

TEST(WorldObjects, EnemiesJoinTheirLeafAndTheTargetListInLumpOrder)
{
    World world;
    std::string text;
    for (int i = 0; i < 101; ++i)
        text += enemyBlock("50 0 0");
    text += enemyBlock("-50 0 -64");
    ASSERT_TRUE(world.load(text));

    // The 101st in leaf 0 is left out (and destroyed, so it is no target).
    EXPECT_EQ(world.entitiesIn(0), 100);
    EXPECT_EQ(world.entitiesIn(1), 1);
    ASSERT_EQ(world.targets.count(), 101);
    Enemy* last = dynamic_cast<Enemy*>(world.targets.at(100));
    ASSERT_NE(last, nullptr);
    EXPECT_FLOAT_EQ(last->position.y, -64.0f);  // file z becomes y
    EXPECT_EQ(last, world.entity(1, 0));
    EXPECT_FLOAT_EQ(last->radius, 20.0f);
    EXPECT_FLOAT_EQ(last->radiusSquared, 400.0f);
    EXPECT_EQ(last->life, 100);
}

TEST(WorldObjects, NonFiniteEnemiesAreRefused)
{
    World world;
    size_t mark = SystemLog::get().storedLines();
    ASSERT_TRUE(world.load(enemyBlock("50 0 0", "1e999") + enemyBlock("50 0 0", "20", "-1e999") +
                           enemyBlock("nan 0 0") + enemyBlock("50 0 0", "nan", "nan")));
    // "nan" reads as 0 for floats; the vector reader takes it as a number.
    EXPECT_EQ(world.targets.count(), 1);
    EXPECT_TRUE(logHas(mark, "::EntitieParser ERROR Enemy with a non-finite"));
}

TEST(WorldObjects, EnemyChasesWithinRangeAndExplodesOnTouch)
{
    World world;
    ASSERT_TRUE(world.load(enemyBlock("50 0 0") + enemyBlock("50 0 0")));
    Enemy* near = dynamic_cast<Enemy*>(world.targets.at(0));
    Enemy* far = dynamic_cast<Enemy*>(world.targets.at(1));
    ASSERT_TRUE(near && far);

    // 699 units chases, exactly 700 does not.
    world.camera.position = near->position + Vector3(699, 0, 0);
    world.tick(0.01f);
    EXPECT_TRUE(near->update());
    EXPECT_GT(near->body->velocity.x, 0.0f);
    world.camera.position = far->position + Vector3(0, 0, 700);
    EXPECT_TRUE(far->update());
    EXPECT_FLOAT_EQ(far->body->velocity.z, 0.0f);

    // 59 units away: dies in this update, the blast costs 32.
    near->body->velocity = Vector3();
    world.camera.position = near->position + Vector3(59, 0, 0);
    world.game.life = 100;
    EXPECT_FALSE(near->update());
    EXPECT_EQ(world.game.life, 68);
    ASSERT_NE(near->explosion, nullptr);
    EXPECT_EQ(near->explosion->group.live, 100u);
}

TEST(WorldObjects, TenShotsKillOnTheNextUpdate)
{
    World world;
    ASSERT_TRUE(world.load(enemyBlock("50 0 0")));
    Enemy* enemy = dynamic_cast<Enemy*>(world.targets.at(0));
    ASSERT_NE(enemy, nullptr);
    world.camera.position = enemy->position + Vector3(500, 0, 0);
    for (int i = 0; i < 10; ++i)
        enemy->takeDamage(10);
    EXPECT_EQ(enemy->life, 0);
    EXPECT_EQ(enemy->explosion, nullptr);
    world.tick(0.01f);
    EXPECT_FALSE(enemy->update());
    EXPECT_EQ(world.game.life, 99);  // 500 units away still costs one
}

TEST(WorldObjects, ExplosionLivesTwoSeconds)
{
    World world;
    world.camera.position = Vector3(0, 0, 500);
    Explosion explosion(Vector3(0, 0, 0), 20.0f);
    world.timer.frameTime = 0.01f;
    int frames = 0;
    while (explosion.draw() && frames < 1000)
        ++frames;
    // 0.5 life per second: gone after 200 frames of 10 ms, give or take
    // the rounding of the last step.
    EXPECT_GE(frames, 198);
    EXPECT_LE(frames, 201);
    EXPECT_EQ(explosion.group.live, 0u);
}

TEST(WorldObjects, FountainsEmitWithinLimitsAndMoveTheirSystem)
{
    World world;
    const char* fountain =
        "{\n\"classname\" \"particle_fountain\"\n\"origin\" \"%s 0 0\"\n\"num_particles\" \"%s\"\n"
        "\"max_life_fade\" \"0.05\"\n\"min_life_fade\" \"0.01\"\n\"max_velocity\" \"20\"\n"
        "\"min_velocity\" \"10\"\n\"axis\" \"0 0 1\"\n\"texture\" \"baseq3/textures/particle.tga\"\n"
        "\"txt_width\" \"4\"\n\"txt_height\" \"4\"\n%s}\n";
    char a[512], b[512], c[512];
    snprintf(a, sizeof(a), fountain, "50", "150", "");
    snprintf(b, sizeof(b), fountain, "60", "-5", "\"move_system\" \"1\"\n\"sys_velocity\" \"0 10 0\"\n");
    snprintf(c, sizeof(c), fountain, "-50", "0", "");
    ASSERT_TRUE(world.load(std::string(a) + b + c));
    ASSERT_EQ(world.entitiesIn(0), 2);
    ASSERT_EQ(world.entitiesIn(1), 1);
    auto* big = dynamic_cast<ParticleSystem*>(world.entity(0, 0));
    auto* moving = dynamic_cast<ParticleSystem*>(world.entity(0, 1));
    auto* empty = dynamic_cast<ParticleSystem*>(world.entity(1, 0));
    ASSERT_TRUE(big && moving && empty);
    EXPECT_EQ(big->group.live, 100u);
    EXPECT_EQ(moving->group.live, 100u);
    EXPECT_EQ(empty->group.live, 0u);
    EXPECT_FLOAT_EQ(big->group.distanceThreshold, 5000.0f);

    world.camera.position = Vector3(0, 0, 1000);
    world.timer.frameTime = 0.5f;
    EXPECT_FALSE(empty->draw());
    float y = moving->position.y;
    EXPECT_TRUE(moving->draw());
    EXPECT_FLOAT_EQ(moving->position.y, y + 5.0f);
    EXPECT_TRUE(moving->moved);
    // Fades of 1..6 per second: after a few half seconds every particle
    // has been re-emitted at least once, and all are alive again.
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(big->draw());
    for (unsigned i = 0; i < big->group.live; ++i)
        EXPECT_GT(big->group.particles[i].life, 0.0f);
}

TEST(WorldObjects, MutatedEntityTextNeverBreaksTheParser)
{
    World world;
    std::string base = "{\n\"classname\" \"worldspawn\"\n}\n{\n\"classname\" \"info_player_start\"\n"
                       "\"origin\" \"10 20 30\"\n}\n" +
                       enemyBlock("50 0 0") + enemyBlock("-50 0 0", "0", "0") +
                       "{\n\"classname\" \"particle_fountain\"\n\"origin\" \"40 0 0\"\n"
                       "\"num_particles\" \"20\"\n\"spread\" \"30\"\n\"axis\" \"0 0 1\"\n}\n";
    ASSERT_TRUE(world.load(base));
    const char specials[] = {'{', '}', '"', '\n', '\0', ' ', '-', '9', 'e'};

    srand(2024);
    for (int round = 0; round < 2000; ++round) {
        std::string text = base;
        int edits = 1 + rand() % 8;
        for (int e = 0; e < edits; ++e) {
            size_t at = static_cast<size_t>(rand()) % (text.size() + 1);
            switch (rand() % 4) {
            case 0: if (at < text.size()) text.erase(at, 1); break;
            case 1: text.insert(at, 1, specials[rand() % sizeof(specials)]); break;
            case 2: if (at < text.size()) text[at] = static_cast<char>(rand() % 256); break;
            default: text.resize(at); break;
            }
        }
        // Embedded NULs end the text as the level hands it over.
        EntitieParser parser;
        parser.parse(text.c_str(), &world.targets);

        // Empty the leaves again so every round starts alike.
        world.targets.clear();
        for (int leaf = 0; leaf < world.renderer.leafCount; ++leaf) {
            LeafEntityList& list = world.renderer.leafEntities[leaf];
            for (int i = 0; i < list.count; ++i)
                delete list.entities[i];
            list.count = 0;
        }
    }
    // Pathological sizes.
    std::string many = "{\n\"classname\" \"worldspawn\"\n";
    for (int i = 0; i < 100000; ++i)
        many += "\"k\" \"v\"\n";
    many += "}\n{";
    EntitieParser parser;
    parser.parse(many.c_str(), &world.targets);
    EXPECT_EQ(parser.lastBlock().count(), 100001);
    parser.parse(std::string(200000, '{').c_str(), &world.targets);
    parser.parse(std::string(200000, '"').c_str(), &world.targets);
}

namespace {

// One world frame with its marks, as the game draws them, read back.
std::vector<unsigned char> drawScene(World& world, bool reference)
{
    world.renderer.referenceDrawing = reference;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor3f(1.0f, 1.0f, 1.0f);  // as the game frame starts
    world.timer.frameCount++;
    world.renderer.updateCameraLeaf(world.camera, world.camera.position);
    world.camera.applyView();
    world.frustum.update(world.camera.position, world.camera.forward);
    world.renderer.renderLevel();
    world.game.drawMarks();
    world.renderer.referenceDrawing = false;
    std::vector<unsigned char> pixels(320 * 240 * 3);
    glReadPixels(0, 0, 320, 240, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

} // namespace

// Fountains, spinning enemies, an explosion and impact marks, batched and
// drawn from built geometry, against each drawn on its own as before: the
// same picture but for sprite edges a rounding apart.
TEST(WorldObjects, BatchedSpritesAndSpheresDrawTheSamePictures)
{
    World world;
    setGameGlState();
    std::string text;
    const char* fountain =
        "{\n\"classname\" \"particle_fountain\"\n\"origin\" \"%d 0 %d\"\n\"num_particles\" \"100\"\n"
        "\"max_life_fade\" \"0.05\"\n\"min_life_fade\" \"0.01\"\n\"max_velocity\" \"60\"\n"
        "\"min_velocity\" \"20\"\n\"spread\" \"30\"\n\"axis\" \"0 0 1\"\n\"color\" \"%s\"\n"
        "\"texture\" \"baseq3/textures/particle.tga\"\n\"txt_width\" \"3\"\n\"txt_height\" \"4\"\n}\n";
    char block[512];
    const char* colours[] = {"0.4 0.7 1", "0 0 0", "1 0.5 0"};
    for (int i = 0; i < 3; i++) {
        snprintf(block, sizeof block, fountain, -60 + 60 * i, 20 + 15 * i, colours[i]);
        text += block;
    }
    // The last enemy stands behind the camera: skipped, not drawn.
    text += enemyBlock("-50 -40 60") + enemyBlock("50 -30 90", "15") + enemyBlock("10 -60 40") +
            enemyBlock("0 -600 60");
    ASSERT_TRUE(world.load(text));
    ASSERT_TRUE(world.game.init(320, 240, nullptr));
    ASSERT_EQ(world.targets.count(), 4);
    auto* dying = dynamic_cast<Enemy*>(world.targets.at(2));
    ASSERT_TRUE(dying);
    dying->takeDamage(100);
    world.targets.update();  // the third one explodes
    ASSERT_TRUE(dying->explosion);
    world.game.placeMark(Vector3(-20, 60, 3));
    world.game.placeMark(Vector3(25, 75, 3));
    world.camera.position = Vector3(0, 60, 260);
    world.camera.forward = Vector3(0, -0.1f, -1);
    world.camera.recompute();

    // Let the sprites spread out, then hold time still: both pictures of
    // one moment.
    for (int i = 0; i < 4; i++) {
        world.tick(0.1f);
        drawScene(world, false);
    }
    world.tick(0.0f);
    std::vector<Enemy*> enemies;
    for (int leaf = 0; leaf < 2; leaf++)
        for (int i = 0; i < world.entitiesIn(leaf); i++)
            if (auto* enemy = dynamic_cast<Enemy*>(world.entity(leaf, i)))
                enemies.push_back(enemy);
    ASSERT_EQ(enemies.size(), 4u);
    std::vector<float> spins;
    for (Enemy* enemy : enemies)
        spins.push_back(enemy->spin);
    std::vector<unsigned char> batched = drawScene(world, false);
    auto* behind = dynamic_cast<Enemy*>(world.targets.at(3));
    int skipped = 0;
    for (Enemy* enemy : enemies)
        skipped += enemy->offScreen();
    EXPECT_EQ(skipped, 1);
    EXPECT_TRUE(behind && behind->offScreen());
    for (size_t i = 0; i < enemies.size(); i++)
        enemies[i]->spin = spins[i];
    std::vector<unsigned char> oneByOne = drawScene(world, true);

    size_t lit = 0, differ = 0, pixels = batched.size() / 3;
    int worst = 0;
    for (size_t i = 0; i < pixels; i++) {
        lit += batched[i * 3] + batched[i * 3 + 1] + batched[i * 3 + 2] > 30;
        int d = 0;
        for (int c = 0; c < 3; c++)
            d = std::max(d, std::abs(int(batched[i * 3 + c]) - int(oneByOne[i * 3 + c])));
        differ += d > 0;
        worst = std::max(worst, d);
    }
    printf("sprites: %zu lit pixels, %zu differ (worst by %d)\n", lit, differ, worst);
    EXPECT_GT(lit, pixels / 20);
    EXPECT_LT(differ, pixels / 1000);
}
