// Game object costs per frame at 800 x 600, each beside the fill floor and an
// empty frame (clear, view, swap) measured in the same run and window:
//   1 000, 10 000 and 100 000 particles (fountains of 100), updated and drawn,
//   the same with sprites shrunk to points (what is not fill), and the maths
//   of 10 000 alone;
//   10, 50 and 200 enemies chasing the player through the shipped level, drawn;
//   every count also drawn the renderer's reference way (one sprite at a
//   time, spheres made every frame): the drawing before batching, same run.
// Usage: bench_game <run folder>   (needs a display: run.sh uses Xvfb)
#include <GL/gl.h>
#include <SDL/SDL.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "app/FrameTimer.h"
#include "app/Game.h"
#include "app/TargetList.h"
#include "common/FillFloor.h"
#include "objects/Enemy.h"
#include "objects/ParticleSystem.h"
#include "platform/OglSdl.h"
#include "resources/TextureManager.h"
#include "world/BspLoader.h"
#include "world/Camera.h"
#include "world/EntitieParser.h"
#include "world/Frustum.h"
#include "world/Renderer.h"

namespace {

const int kFrames = 300;
const float kFrameTime = 0.005f;  // simulated: enemies close in slowly

struct Scene {
    FrameTimer& timer;
    Camera& camera;
    template <class Body>
    double frames(Body body, int count = kFrames)
    {
        return medianFrame(count, [&](int) {
            timer.frameTime = kFrameTime;
            timer.now += kFrameTime;
            timer.frameCount++;
            camera.applyView();
            body();
        });
    }
};

// Fountains of 100 particles in a square grid 300 to 800 units ahead, their
// sprites size units across each way from the centre.
std::vector<ParticleSystem*> makeFountains(int count, const Vector3& eye, float size)
{
    char keys[512];
    snprintf(keys, sizeof keys,
             "\"color\" \"0.4 0.7 1\"\n\"max_life_fade\" \"0.05\"\n\"min_life_fade\" \"0.01\"\n"
             "\"max_velocity\" \"120\"\n\"min_velocity\" \"60\"\n\"spread\" \"15\"\n"
             "\"axis\" \"0 1 0\"\n\"gravity\" \"0 -60 0\"\n"
             "\"texture\" \"baseq3/textures/particle.tga\"\n\"txt_width\" \"%g\"\n\"txt_height\" \"%g\"\n",
             size, size);
    EntityBlock block;
    block.parse(keys);
    int side = int(std::ceil(std::sqrt(float(count))));
    float step = 500.0f / float(side);
    std::vector<ParticleSystem*> fountains;
    for (int i = 0; i < count; ++i) {
        Vector3 at = eye + Vector3(-250.0f + step * float(i % side), 0.0f, -300.0f - step * float(i / side));
        ParticleSystem* system = new ParticleSystem(block, at);
        system->emit(100);
        fountains.push_back(system);
    }
    return fountains;
}

template <class T>
void deleteAll(std::vector<T*>& objects)
{
    for (T* object : objects)
        delete object;
    objects.clear();
}

// Enemies on a ring 400 to 650 units around the camera, in the target list.
std::vector<Enemy*> makeEnemies(int count, const Vector3& eye, TargetList& targets)
{
    EntityBlock keys;
    keys.parse("\"radius\" \"20\"\n\"speed\" \"100\"\n");
    std::vector<Enemy*> enemies;
    for (int i = 0; i < count; ++i) {
        float angle = 6.2831853f * float(i) / float(count);
        float distance = 400.0f + 250.0f * float(i) / float(count);
        Enemy* enemy = new Enemy();
        enemy->position = eye + Vector3(std::cos(angle) * distance, 0.0f, std::sin(angle) * distance);
        enemy->configure(keys);
        enemies.push_back(enemy);
        targets.add(enemy);
    }
    return enemies;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || chdir(argv[1]) != 0) {
        fprintf(stderr, "usage: bench_game <run folder with baseq3/>\n");
        return 1;
    }
    TargetList targets;
    Frustum frustum;
    FrameTimer timer;
    Camera camera;
    Renderer renderer;
    Game game;
    OglSdl window;
    if (!window.createWindow("game bench", 800, 600, 24, 45.0f) || !renderer.setupMultitexture()) {
        fprintf(stderr, "no GL window\n");
        return 1;
    }
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_TEXTURE_2D);
    glCullFace(GL_FRONT);
    glEnable(GL_CULL_FACE);
    frustum.setViewport(400.0f, 300.0f, 1.0f);
    BspLoader loader;
    if (!loader.load("baseq3/maps/test.bsp", &targets)) {
        fprintf(stderr, "cannot load baseq3/maps/test.bsp\n");
        return 1;
    }
    targets.clear();  // the level's own enemies stay out of the measure
    Vector3 eye = camera.position;
    camera.forward = Vector3(0, 0, -1);
    camera.recompute();
    // The view's planes, as the game sets them once the camera moved.
    camera.applyView();
    frustum.update(camera.position, camera.forward);
    Scene scene{timer, camera};

    // The machine's speed drifts over a run (other work shares it), so the
    // floor and the empty frame are measured again before every group of
    // rows and the rows are judged against that.
    FillFloor floor;
    double empty = 0.0;
    auto measureBaseline = [&] {
        floor = measureFloor(renderer, 800, 600, kFrames / 3);
        empty = scene.frames([] {}, kFrames / 3);
        printFloor(floor);
        printFrame("empty frame (clear, view, swap)", empty, floor, empty);
    };
    printf("game bench, 800 x 600, median of %d frames (%d for 100000 particles; half as many "
           "drawn the reference way)\n", kFrames, kFrames / 8);

    for (int fountainCount : {10, 100, 1000}) {
        // The largest count runs fewer frames: it was a second a frame once.
        int frames = fountainCount >= 1000 ? kFrames / 8 : kFrames;
        char label[64];
        snprintf(label, sizeof label, "%d particles", fountainCount * 100);
        measureBaseline();
        std::vector<ParticleSystem*> fountains = makeFountains(fountainCount, eye, 3.0f);
        auto drawAll = [&] {
            for (ParticleSystem* system : fountains)
                system->draw();
        };
        printFrame(label, scene.frames(drawAll, frames), floor, empty);
        renderer.referenceDrawing = true;
        printFrame("  the same, one sprite at a time", scene.frames(drawAll, frames / 2), floor, empty);
        renderer.referenceDrawing = false;
        if (fountainCount == 100) {
            // The same particles' maths alone, without GL: what drawing adds.
            double maths = scene.frames([&] {
                for (ParticleSystem* system : fountains)
                    for (unsigned i = 0; i < system->group.live; ++i) {
                        Particle& p = system->group.particles[i];
                        ParticleGroup::advance(p, system->group.gravity, kFrameTime);
                        if (p.life <= 0.0f)
                            system->params.emit(p, system->position);
                    }
            });
            printFrame("  the same, maths only", maths, floor, empty);
        }
        deleteAll(fountains);
        // What is left with (almost) no pixels: the rest is fill.
        fountains = makeFountains(fountainCount, eye, 0.01f);
        printFrame("  the same, sprites shrunk to points", scene.frames(drawAll, frames), floor, empty);
        deleteAll(fountains);
    }

    for (int enemyCount : {10, 50, 200}) {
        measureBaseline();
        std::vector<Enemy*> enemies = makeEnemies(enemyCount, eye, targets);
        auto chaseAndDraw = [&] {
            targets.update();
            for (Enemy* enemy : enemies)
                enemy->draw();
        };
        double ms = scene.frames(chaseAndDraw);
        int alive = 0;
        for (Enemy* enemy : enemies)
            alive += enemy->explosion == nullptr;
        char label[64];
        snprintf(label, sizeof label, "%d chasing enemies (%d alive)", enemyCount, alive);
        printFrame(label, ms, floor, empty);
        renderer.referenceDrawing = true;
        printFrame("  the same, spheres made every frame", scene.frames(chaseAndDraw, kFrames / 2), floor, empty);
        renderer.referenceDrawing = false;
        targets.clear();
        deleteAll(enemies);
    }

    renderer.freeLevel();
    TextureManager::get().releaseAll();
    return 0;
}
