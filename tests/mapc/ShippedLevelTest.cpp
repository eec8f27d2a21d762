// The shipped level as the game has it: compiled by the build, read by the
// game's BspLoader into the real Renderer, the player put at its start by
// the entity parser, drawn in a real window. Its lightmaps must show light
// and shadow from the start, and the camera's physics body, pushed around
// for thousands of frames, must never leave the rooms.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <SDL/SDL.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <vector>

#include "app/FrameTimer.h"
#include "app/TargetList.h"
#include "objects/WorldEntity.h"
#include "platform/OglSdl.h"
#include "resources/TextureManager.h"
#include "script/ActionKeyTable.h"
#include "script/Player.h"
#include "app/Startup.h"
#include "world/BspLoader.h"
#include "world/Camera.h"
#include "world/Frustum.h"
#include "world/PhysicsBody.h"
#include "world/PlayerUpdate.h"
#include "world/Renderer.h"

namespace {

const int kWidth = 320, kHeight = 240;
const char kLevel[] = "baseq3/maps/test.bsp";

class ShippedLevelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(chdir(HALVEX_GAME_DIR), 0);
        window = new OglSdl();
        ASSERT_TRUE(window->createWindow("shipped level test", kWidth, kHeight, 24, 45.0f));
        setGameGlState();
        ASSERT_TRUE(Renderer::instance->setupMultitexture());
        Frustum::instance->setViewport(kWidth / 2.0f, kHeight / 2.0f, 1.0f);

        Player* player = Player::instance;
        player->mouseLook = true;
        player->physicsEnabled = true;
        player->speed = 100.0f;  // what start-up sets
        player->setScreenSize(kWidth, kHeight);
        ActionKeyTable* keys = player->actionKeys;
        ASSERT_NE(keys, nullptr);
        keys->set(ActionForward, DeviceKeyboard, SDLK_w);
        keys->set(ActionBackward, DeviceKeyboard, SDLK_s);
        keys->set(ActionLeft, DeviceKeyboard, SDLK_a);
        keys->set(ActionRight, DeviceKeyboard, SDLK_d);
        keys->set(ActionUp, DeviceKeyboard, SDLK_SPACE);
        keys->set(ActionDown, DeviceKeyboard, SDLK_c);
        keys->set(ActionShoot, DeviceUnbound, 0);

        Camera::instance->position = Vector3(0, 0, 0);
        BspLoader loader;
        ASSERT_TRUE(loader.load(kLevel, TargetList::instance));
        ASSERT_TRUE(Renderer::instance->levelLoaded);
        start = Camera::instance->position;
    }

    void TearDown() override
    {
        Renderer::instance->freeLevel();
        TargetList::instance->clear();
        TextureManager::get().releaseAll();
        delete window;
    }

    // One player frame 10 ms after the last, with the mouse dx pixels right
    // of the window centre and the given SDL keys held.
    void playerFrame(int dx, int dy, const std::vector<SDLKey>& held)
    {
        clockMs += 10;
        FrameTimer::instance->tickAt(clockMs);
        static uint8_t keys[SDLK_LAST];
        std::fill(keys, keys + SDLK_LAST, 0);
        for (SDLKey k : held)
            keys[k] = 1;
        PlayerInput input;
        input.mouseX = kWidth / 2 + dx;
        input.mouseY = kHeight / 2 + dy;
        input.keys = keys;
        input.keyCount = SDLK_LAST;
        updatePlayer(*Player::instance, input);
    }

    // The level alone, drawn from the camera as it stands; returns RGB rows.
    std::vector<uint8_t> drawLevel()
    {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        clockMs += 10;
        FrameTimer::instance->tickAt(clockMs);  // each face is drawn once per frame count
        Camera::instance->applyView();
        glColor3f(1, 1, 1);
        Renderer::instance->renderLevel();
        std::vector<uint8_t> pixels(size_t(kWidth) * kHeight * 3);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
        SDL_GL_SwapBuffers();
        return pixels;
    }

    // Removes enemies and fountains: only the level's own surfaces are
    // looked at, and nothing moves between the passes.
    void dropEntities()
    {
        Renderer* r = Renderer::instance;
        TargetList::instance->clear();
        for (int leaf = 0; leaf < r->leafCount; ++leaf) {
            LeafEntityList& list = r->leafEntities[leaf];
            for (int i = 0; i < list.count; ++i)
                delete list.entities[i];
            list.count = 0;
        }
    }

    unsigned solidTexture(uint8_t red, uint8_t green, uint8_t blue)
    {
        const uint8_t rgb[3] = {red, green, blue};
        unsigned handle = 0;
        EXPECT_TRUE(TextureManager::get().createTexture(rgb, 1, 1, &handle));
        return handle;
    }

    OglSdl* window = nullptr;
    Vector3 start;
    uint32_t clockMs = 1000;
};

// True when p lies inside a brush of the loaded level by more than a hair.
bool insideSomeBrush(const Renderer& r, const Vector3& p, int* which)
{
    for (int b = 0; b < r.brushCount; ++b) {
        const bsp::BspBrush& brush = r.brushes[b];
        if (!(r.textures[brush.texture].contents & 1))
            continue;
        bool inside = brush.sideCount > 0;
        for (int s = 0; s < brush.sideCount && inside; ++s) {
            const bsp::BspPlane& plane = r.planes[r.brushSides[brush.firstSide + s].plane];
            float d = plane.normal[0] * p.x + plane.normal[1] * p.y + plane.normal[2] * p.z - plane.distance;
            inside = d < -0.01f;
        }
        if (inside) {
            *which = b;
            return true;
        }
    }
    return false;
}

int percentile(std::vector<int> values, double q)
{
    std::sort(values.begin(), values.end());
    return values[size_t(q * double(values.size() - 1))];
}

TEST_F(ShippedLevelTest, StartViewShowsLightAndShadow)
{
    Renderer* r = Renderer::instance;
    // The entity parser put the player at the start, in an open cluster.
    EXPECT_GT(TargetList::instance->count(), 0);
    int leaf = r->findLeaf(start);
    ASSERT_GE(r->leaves[leaf].cluster, 0);
    int brush = -1;
    EXPECT_FALSE(insideSomeBrush(*r, start, &brush));

    // Nothing is drawn until the first turn sets the frustum; one small turn.
    dropEntities();
    playerFrame(1, 0, {});
    std::vector<uint8_t> lit = drawLevel();
    ASSERT_GT(r->stats.facesDrawn, 0);

    // The same view with white lightmaps drawn as they are: the surface
    // textures alone.
    std::vector<unsigned> lightmaps(r->lightmapHandles, r->lightmapHandles + r->lightmapCount);
    unsigned white = solidTexture(255, 255, 255);
    float lightScale = r->lightScale;
    r->lightScale = 1.0f;
    std::fill(r->lightmapHandles, r->lightmapHandles + r->lightmapCount, white);
    std::vector<uint8_t> bare = drawLevel();

    // And with one flat colour per surface texture: which texture each pixel shows.
    std::vector<unsigned> surfaces(r->textureHandles, r->textureHandles + r->textureCount);
    ASSERT_LT(r->textureCount, 60);
    for (int t = 0; t < r->textureCount; ++t)
        r->textureHandles[t] = solidTexture(uint8_t(4 * (t + 1)), 200, 100);
    std::vector<uint8_t> ids = drawLevel();
    std::copy(lightmaps.begin(), lightmaps.end(), r->lightmapHandles);
    r->lightScale = lightScale;
    std::copy(surfaces.begin(), surfaces.end(), r->textureHandles);

    // Not black: a good part of the screen is clearly lit.
    size_t bright = 0, total = size_t(kWidth) * kHeight;
    for (size_t i = 0; i < total; ++i)
        bright += lit[i * 3] + lit[i * 3 + 1] + lit[i * 3 + 2] > 150;
    EXPECT_GT(bright, total / 5) << "the start view is mostly dark";

    // Light per pixel = lit / bare, in percent, grouped by texture.
    std::map<int, std::vector<int>> light;
    for (size_t i = 0; i < total; ++i) {
        const uint8_t* id = &ids[i * 3];
        if (id[1] != 200 || id[2] != 100 || id[0] % 4 != 0 || id[0] == 0)
            continue;
        int surface = bare[i * 3] + bare[i * 3 + 1] + bare[i * 3 + 2];
        if (surface < 90)
            continue;  // too dark a texel to measure light on
        int shown = lit[i * 3] + lit[i * 3 + 1] + lit[i * 3 + 2];
        light[id[0] / 4 - 1].push_back(shown * 100 / surface);
    }
    ASSERT_FALSE(light.empty());

    // On one texture seen widely, the brightest tenth is well lit and the
    // darkest tenth at most half as bright: lights and their shadows.
    bool found = false;
    for (const auto& entry : light) {
        if (entry.second.size() < total / 20)
            continue;
        int high = percentile(entry.second, 0.9);
        int low = percentile(entry.second, 0.1);
        SCOPED_TRACE(testing::Message() << "texture " << r->textures[entry.first].name << " pixels "
                                        << entry.second.size() << " light " << low << "%.." << high << "%");
        if (high >= 60 && low * 2 <= high)
            found = true;
    }
    EXPECT_TRUE(found) << "no widely seen texture shows both bright light and shadow";
}

TEST_F(ShippedLevelTest, PushedCameraStaysInsideTheRooms)
{
    Renderer* r = Renderer::instance;
    Player* player = Player::instance;
    ASSERT_NE(player->body, nullptr);
    dropEntities();
    Camera* camera = Camera::instance;
    std::srand(1234);

    const std::vector<SDLKey> keys = {SDLK_w, SDLK_s, SDLK_a, SDLK_d, SDLK_SPACE, SDLK_c};
    std::vector<SDLKey> held;
    int dx = 0, dy = 0;
    Vector3 lowest = start, highest = start;
    int clusters[2] = {r->leaves[r->findLeaf(start)].cluster, -1};
    for (int frame = 0; frame < 4000; ++frame) {
        // Every half second new keys and a new turn rate.
        if (frame % 50 == 0) {
            held.clear();
            for (SDLKey k : keys)
                if (std::rand() % 3 == 0)
                    held.push_back(k);
            dx = std::rand() % 41 - 20;
            dy = std::rand() % 11 - 5;
        }
        // Now and then a hard shove, up to 800 units per second, straight at something.
        if (frame % 97 == 0) {
            Vector3 d(float(std::rand() % 201 - 100), float(std::rand() % 201 - 100), float(std::rand() % 201 - 100));
            float length = d.length();
            if (length > 0.0f)
                player->body->impulse(float(std::rand() % 800) / length, d);
        }
        // Keep looking roughly level so forward keeps pointing into the rooms.
        if (camera->forward.y > 0.6f && dy < 0)
            dy = -dy;
        if (camera->forward.y < -0.6f && dy > 0)
            dy = -dy;
        playerFrame(dx, dy, held);

        const Vector3& p = camera->position;
        ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) << "frame " << frame;
        int leaf = r->findLeaf(p);
        ASSERT_GE(r->leaves[leaf].cluster, 0)
            << "frame " << frame << ": camera at " << p.x << " " << p.y << " " << p.z << " left the rooms";
        int brush = -1;
        ASSERT_FALSE(insideSomeBrush(*r, p, &brush))
            << "frame " << frame << ": camera at " << p.x << " " << p.y << " " << p.z << " inside brush " << brush;
        lowest = Vector3(std::min(lowest.x, p.x), std::min(lowest.y, p.y), std::min(lowest.z, p.z));
        highest = Vector3(std::max(highest.x, p.x), std::max(highest.y, p.y), std::max(highest.z, p.z));
        if (r->leaves[leaf].cluster != clusters[0])
            clusters[1] = r->leaves[leaf].cluster;
    }
    // It really moved about, not stuck at the start.
    EXPECT_GT((highest - lowest).length(), 200.0f);
    EXPECT_GE(clusters[1], 0) << "the camera never left its first cluster";
}

} // namespace
