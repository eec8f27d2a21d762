// Level timings, each beside a baseline measured in the same run:
//   load of the largest level: plain file read vs read+check+convert (no GL)
//   vs the whole load with textures;
//   a fixed fly-through of three levels at 640 x 400, 800 x 600 and
//   1280 x 1024: whole frames beside the fill floor at that size and empty
//   frames, the same frames drawn the reference way, and at 800 x 600 the
//   visibility walk alone.
// Usage: bench_level <maps folder> [folder with the .pk3 archives]
//   With the archives the levels are drawn with their textures, read from a
//   game folder of the bench's own. Needs a display: run.sh uses Xvfb.
#include <GL/gl.h>
#include <SDL/SDL.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "common/BenchClock.h"
#include "common/ArchiveGame.h"
#include "common/BenchWorld.h"
#include "common/FillFloor.h"
#include "app/FrameTimer.h"
#include "app/TargetList.h"
#include "platform/OglSdl.h"
#include "resources/TextureManager.h"
#include "world/BspData.h"
#include "world/BspLoader.h"
#include "world/Camera.h"
#include "world/Frustum.h"
#include "world/LevelValidation.h"
#include "world/Renderer.h"

namespace {

long fileSize(const std::string& path)
{
    struct stat s;
    return stat(path.c_str(), &s) == 0 ? long(s.st_size) : -1;
}

double plainRead(const std::string& path)
{
    auto start = Clock::now();
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return 0.0;
    std::vector<char> bytes(size_t(fileSize(path)));
    size_t got = fread(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    double t = secondsSince(start);
    return got == bytes.size() ? t : 0.0;
}

// First player start, file frame.
bool spawnOf(const BspData& data, Vector3& eye)
{
    std::string text = data.entities ? data.entities : "";
    for (const char* name : {"\"info_player_deathmatch\"", "\"info_player_start\""}) {
        size_t at = text.find(name);
        if (at == std::string::npos)
            continue;
        size_t block = text.rfind('{', at);
        size_t key = text.find("\"origin\"", block == std::string::npos ? 0 : block);
        float o[3];
        if (key != std::string::npos &&
            sscanf(text.c_str() + text.find('"', key + 8) + 1, "%f %f %f", &o[0], &o[1], &o[2]) == 3) {
            eye = fromFileFrame(o[0], o[1], o[2]) + Vector3(0, 16, 0);
            return true;
        }
    }
    return false;
}


const int kFrames = 180;

// One step of the fixed path: a full turn over the run, drifting forward.
void fly(World& w, int frame)
{
    w.camera.turn(2.0f * 3.14159265f / kFrames, Vector3(0, 1, 0));
    if (frame % 2 == 0)
        w.camera.moveForward(1.0f);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: bench_level <maps folder> [folder with the .pk3 archives]\n");
        return 2;
    }
    std::string dir = std::filesystem::absolute(argv[1]).string();
    if (argc > 2 && !enterArchiveGame(argv[2], "bench_level_game"))
        return 1;
    std::vector<std::string> paths;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name.size() > 4 && name.substr(name.size() - 4) == ".bsp")
                paths.push_back(dir + "/" + name);
        }
        closedir(d);
    }
    if (paths.empty()) {
        fprintf(stderr, "bench_level: no levels in %s\n", dir.c_str());
        return 1;
    }
    std::sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
        return fileSize(a) > fileSize(b);
    });

    OglSdl window;
    World w;
    if (!openBenchWorld(window, w, "bench_level"))
        return 1;

    // --- load ---
    const std::string& largest = paths.front();
    const int runs = 15;
    std::vector<double> readTimes, parseTimes, loadTimes;
    char problem[256];
    plainRead(largest);  // warm the page cache
    for (int i = 0; i < runs; i++) {
        readTimes.push_back(plainRead(largest));
        BspData data;
        auto start = Clock::now();
        bool ok = readBspFile(largest.c_str(), data, problem, sizeof problem) == BspReadError::None &&
                  validateLevel(data, problem, sizeof problem);
        parseTimes.push_back(secondsSince(start));
        if (!ok) {
            fprintf(stderr, "bench_level: %s refused: %s\n", largest.c_str(), problem);
            return 1;
        }
    }
    for (int i = 0; i < 5; i++) {
        w.renderer.freeLevel();
        TextureManager::get().releaseAll();
        BspLoader loader;
        auto start = Clock::now();
        loader.load(largest.c_str(), &w.targets);
        glFinish();
        loadTimes.push_back(secondsSince(start));
    }
    double read = median(readTimes), parse = median(parseTimes), load = median(loadTimes);
    printf("load  %s (%ld bytes), medians:\n", largest.c_str(), fileSize(largest));
    printf("  plain read (baseline)            %8.3f ms\n", read * 1e3);
    printf("  read + check + convert, no GL     %8.3f ms  = %.2f x the read (target <= 3 x)\n",
           parse * 1e3, parse / read);
    printf("  whole load with textures          %8.3f ms\n", load * 1e3);

    // --- fly-through of three levels at three sizes ---
    const int sizes[3][2] = {{640, 400}, {800, 600}, {1280, 1024}};
    std::vector<double> walkTimes, frameTimes[3], emptyTimes[3], referenceTimes[3], geometryTimes;
    FillFloor floors[3];
    long leaves = 0, faces = 0, drawn = 0, binds = 0, draws = 0, referenceBinds = 0;
    const double flown = double(std::min<size_t>(3, paths.size()));
    for (size_t level = 0; level < 3 && level < paths.size(); level++) {
        const std::string& path = paths[level];
        w.renderer.freeLevel();
        TextureManager::get().releaseAll();
        BspLoader loader;
        BspData data;
        Vector3 eye;
        if (readBspFile(path.c_str(), data, problem, sizeof problem) != BspReadError::None ||
            !spawnOf(data, eye) || !loader.load(path.c_str(), &w.targets)) {
            fprintf(stderr, "bench_level: cannot fly through %s\n", path.c_str());
            return 1;
        }
        for (int size = 0; size < 3; size++) {
            int width = sizes[size][0], height = sizes[size][1];
            // The program's own resize: a new mode, the context kept.
            window.screen = SDL_SetVideoMode(width, height, window.depth, window.flags);
            if (!window.screen)
                return 1;
            window.resizeViewport(width, height);
            w.frustum.setViewport(width / 2.0f, height / 2.0f, 1.0f);
            // At every level: the mean of floors taken a while apart evens
            // out the machine's drift.
            FillFloor f = measureFloor(w.renderer, width, height, 60);
            floors[size].width = width;
            floors[size].height = height;
            floors[size].clear += f.clear / flown;
            floors[size].oneTexture += f.oneTexture / flown;
            floors[size].twoTextures += f.twoTextures / flown;
            // Passes: empty frames, the walk alone, whole frames, and whole
            // frames drawn the reference way (the drawing before the faces
            // went near to far in runs), and at 800 x 600 the same frames
            // into a 4 x 4 viewport: what they cost apart from their pixels.
            for (int pass = 0; pass < (size == 1 ? 5 : 4); pass++) {
                w.camera.position = eye;
                w.camera.forward = Vector3(0, 0, 1);
                w.camera.recompute();
                for (int f = 0; f < kFrames; f++) {
                    fly(w, f);
                    auto start = Clock::now();
                    if (pass == 0) {  // empty frame
                        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
                        glFinish();
                        SDL_GL_SwapBuffers();
                        emptyTimes[size].push_back(secondsSince(start));
                        continue;
                    }
                    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
                    w.timer.frameCount++;
                    w.renderer.updateCameraLeaf(w.camera, w.camera.position);
                    w.camera.applyView();
                    w.frustum.update(w.camera.position, w.camera.forward);
                    if (pass == 1) {  // the walk and culling alone
                        if (size != 1)
                            continue;
                        auto walkStart = Clock::now();
                        w.renderer.collectVisibleLeaves();
                        walkTimes.push_back(secondsSince(walkStart));
                        continue;
                    }
                    w.renderer.referenceDrawing = pass == 3;
                    if (pass == 4)
                        glViewport(0, 0, 4, 4);
                    w.renderer.renderLevel();
                    w.renderer.referenceDrawing = false;
                    glFinish();
                    SDL_GL_SwapBuffers();
                    if (pass == 4) {
                        glViewport(0, 0, width, height);
                        geometryTimes.push_back(secondsSince(start));
                        continue;
                    }
                    if (pass == 3) {
                        referenceTimes[size].push_back(secondsSince(start));
                        if (size == 1)
                            referenceBinds += w.renderer.stats.faceBinds;
                        continue;
                    }
                    frameTimes[size].push_back(secondsSince(start));
                    if (size == 1) {
                        drawn++;
                        leaves += w.renderer.stats.leavesDrawn;
                        faces += w.renderer.stats.facesDrawn;
                        binds += w.renderer.stats.faceBinds;
                        draws += w.renderer.stats.faceDraws;
                    }
                }
            }
        }
        printf("fly   %s\n", path.c_str());
    }
    drawn = std::max(1L, drawn);
    printf("fly-through: %d frames per level and size (medians), at 800 x 600 on average %ld leaves "
           "and %ld faces drawn in %ld calls with %ld texture binds (%ld binds the reference way)\n",
           kFrames, leaves / drawn, faces / drawn, draws / drawn, binds / drawn, referenceBinds / drawn);
    for (int size = 0; size < 3; size++) {
        double empty = median(emptyTimes[size]) * 1e3;
        printFloor(floors[size]);
        char label[64];
        snprintf(label, sizeof label, "empty frame, %d x %d", sizes[size][0], sizes[size][1]);
        printFrame(label, empty, floors[size], empty);
        snprintf(label, sizeof label, "fly-through frame, %d x %d", sizes[size][0], sizes[size][1]);
        printFrame(label, median(frameTimes[size]) * 1e3, floors[size], empty);
        printFrame("  the same, drawn the reference way", median(referenceTimes[size]) * 1e3, floors[size], empty);
        if (size == 1)
            printFrame("  the same into a 4 x 4 viewport", median(geometryTimes) * 1e3, floors[size], empty);
    }
    double walk = median(walkTimes) * 1e3, frame = median(frameTimes[1]) * 1e3;
    printf("  walk + culling alone, no GL, 800 x 600 %8.3f ms  = %.2f %% of the frame (target < 5 %%)\n",
           walk, 100.0 * walk / frame);
    w.renderer.freeLevel();
    TextureManager::get().releaseAll();
    return 0;
}
