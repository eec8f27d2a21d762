// Game object costs per frame, each beside an empty frame (clear, view,
// swap) measured in the same run:
//   100 fountains of 100 particles each, updated and drawn;
//   50 enemies chasing the player through the shipped level, drawn.
// Usage: bench_game <run folder>   (needs a display: run.sh uses Xvfb)
#include <GL/gl.h>
#include <SDL/SDL.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "app/FrameTimer.h"
#include "app/Game.h"
#include "app/TargetList.h"
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

using Clock = std::chrono::steady_clock;
const int kFrames = 300;
const float kFrameTime = 0.005f;  // simulated: enemies close in slowly

// Median milliseconds per frame of body between clear and swap.
double timeFrames(FrameTimer& timer, Camera& camera, const std::function<void()>& body)
{
    std::vector<double> samples;
    for (int i = 0; i < kFrames; ++i) {
        Clock::time_point start = Clock::now();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        timer.frameTime = kFrameTime;
        timer.now += kFrameTime;
        timer.frameCount++;
        camera.applyView();
        body();
        glFinish();
        SDL_GL_SwapBuffers();
        samples.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
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

    // Fountains in a 10 x 10 grid in front of the camera.
    std::vector<ParticleSystem*> fountains;
    EntityBlock block;
    block.parse("\"color\" \"0.4 0.7 1\"\n\"max_life_fade\" \"0.05\"\n\"min_life_fade\" \"0.01\"\n"
                "\"max_velocity\" \"120\"\n\"min_velocity\" \"60\"\n\"spread\" \"15\"\n"
                "\"axis\" \"0 1 0\"\n\"gravity\" \"0 -60 0\"\n"
                "\"texture\" \"baseq3/textures/particle.tga\"\n\"txt_width\" \"3\"\n\"txt_height\" \"3\"\n");
    Vector3 eye = camera.position;
    camera.forward = Vector3(0, 0, -1);
    camera.recompute();
    for (int i = 0; i < 100; ++i) {
        Vector3 at = eye + Vector3(-225.0f + 50.0f * (i % 10), 0.0f, -300.0f - 50.0f * (i / 10));
        ParticleSystem* system = new ParticleSystem(block, at);
        system->emit(100);
        fountains.push_back(system);
    }

    // Enemies on a ring 400 to 650 units around the camera.
    std::vector<Enemy*> enemies;
    EntityBlock enemyKeys;
    enemyKeys.parse("\"radius\" \"20\"\n\"speed\" \"100\"\n");
    for (int i = 0; i < 50; ++i) {
        float angle = 6.2831853f * static_cast<float>(i) / 50.0f;
        float distance = 400.0f + 5.0f * static_cast<float>(i);
        Enemy* enemy = new Enemy();
        enemy->position = eye + Vector3(std::cos(angle) * distance, 0.0f, std::sin(angle) * distance);
        enemy->configure(enemyKeys);
        enemies.push_back(enemy);
        targets.add(enemy);
    }

    double empty = timeFrames(timer, camera, [] {});
    double particles = timeFrames(timer, camera, [&] {
        for (ParticleSystem* system : fountains)
            system->draw();
    });
    // The same particles' maths alone, without GL: what the drawing adds.
    double maths = timeFrames(timer, camera, [&] {
        for (ParticleSystem* system : fountains)
            for (unsigned i = 0; i < system->group.live; ++i) {
                Particle& p = system->group.particles[i];
                ParticleGroup::advance(p, system->group.gravity, kFrameTime);
                if (p.life <= 0.0f)
                    system->params.emit(p, system->position);
            }
    });
    int alive = 0;
    double chasing = timeFrames(timer, camera, [&] {
        targets.update();
        for (Enemy* enemy : enemies)
            enemy->draw();
    });
    for (Enemy* enemy : enemies)
        alive += enemy->explosion == nullptr;
    double emptyAgain = timeFrames(timer, camera, [] {});

    printf("game bench, 800 x 600, median of %d frames (ms per frame)\n", kFrames);
    printf("  empty frame (baseline)            %8.3f\n", empty);
    printf("  100 fountains x 100 particles     %8.3f   (+%.3f over empty)\n", particles,
           particles - empty);
    printf("  the same particles, maths only    %8.3f   (+%.3f over empty)\n", maths,
           maths - empty);
    printf("  50 chasing enemies (%2d alive)     %8.3f   (+%.3f over empty)\n", alive, chasing,
           chasing - empty);
    printf("  empty frame again                 %8.3f\n", emptyAgain);

    targets.clear();
    for (Enemy* enemy : enemies)
        delete enemy;
    for (ParticleSystem* system : fountains)
        delete system;
    renderer.freeLevel();
    TextureManager::get().releaseAll();
    return 0;
}
