// Real content timings, each beside a baseline measured in the same run:
//   the largest OpenArena level with its textures loaded from the archives
//   vs the same level and pictures as plain files;
//   a fixed turn through the level with the most curved surfaces, frames
//   with the curves drawn vs the same frames with them left out.
// Usage: bench_content <folder with the .pk3 archives>  (needs a display)
#include <GL/gl.h>
#include <SDL/SDL.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/BenchClock.h"
#include "common/ArchiveGame.h"
#include "common/BenchWorld.h"
#include "app/FrameTimer.h"
#include "app/TargetList.h"
#include "platform/OglSdl.h"
#include "resources/FileSystem.h"
#include "resources/GameFiles.h"
#include "resources/TextureManager.h"
#include "world/BspData.h"
#include "world/BspLoader.h"
#include "world/Camera.h"
#include "world/Frustum.h"
#include "world/Renderer.h"
#include "world/SurfaceKind.h"

namespace fs = std::filesystem;

namespace {


double timedLoad(World& w, const std::string& level)
{
    w.renderer.freeLevel();
    w.targets.clear();
    BspLoader loader;
    auto start = Clock::now();
    bool ok = loader.load(level.c_str(), &w.targets);
    glFinish();
    return ok ? secondsSince(start) : -1.0;
}

const int kFrames = 240;

// Average frame time over a full turn from the level's centre of faces.
double turnFrames(World& w, long* faces)
{
    Renderer& r = w.renderer;
    double total = 0.0;
    w.camera.forward = Vector3(0, 0, 1);
    w.camera.recompute();
    for (int f = 0; f < kFrames; f++) {
        w.camera.turn(2.0f * 3.14159265f / kFrames, Vector3(0, 1, 0));
        auto start = Clock::now();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        w.timer.frameCount++;
        r.updateCameraLeaf(w.camera, w.camera.position);
        w.camera.applyView();
        w.frustum.update(w.camera.position, w.camera.forward);
        r.renderLevel();
        SDL_GL_SwapBuffers();
        glFinish();
        total += secondsSince(start);
        *faces += r.stats.facesDrawn;
    }
    return total / kFrames;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: bench_content <folder with the .pk3 archives>\n");
        return 2;
    }
    if (!enterArchiveGame(argv[1], "bench_content_game"))
        return 1;
    fs::path root = fs::current_path();

    OglSdl window;
    World w;
    if (!openBenchWorld(window, w, "bench_content"))
        return 1;

    // The largest level, and the one with the most curves.
    FileSystem& files = GameFiles::get();
    std::string largest, curved;
    size_t largestSize = 0;
    int mostPatches = -1;
    for (const std::string& path : files.list("baseq3/maps", ".bsp")) {
        std::vector<unsigned char> bytes;
        if (!files.readFile(path.c_str(), bytes))
            continue;
        if (bytes.size() > largestSize) {
            largestSize = bytes.size();
            largest = path;
        }
        BspData data;
        char problem[256];
        if (readBspBuffer(bytes.data(), bytes.size(), data, problem, sizeof problem) != BspReadError::None)
            continue;
        int patches = 0;
        for (int i = 0; i < data.faceCount; i++)
            patches += data.faces[i].type == bsp::FacePatch;
        if (patches > mostPatches) {
            mostPatches = patches;
            curved = path;
        }
    }
    if (largest.empty())
        return 1;
    TextureManager::get().findShader("");  // scripts are read once per run, before any timing

    // --- load: archives, then the same files written out plain ---
    std::vector<std::string> used;
    files.recordReads(&used);
    timedLoad(w, largest);  // warm-up, and the list of files the level reads
    files.recordReads(nullptr);
    std::vector<double> fromArchives, fromPlain;
    for (int i = 0; i < 5; i++)
        fromArchives.push_back(timedLoad(w, largest));
    for (const std::string& path : used) {
        std::vector<unsigned char> bytes;
        if (!files.readFile(path.c_str(), bytes))
            continue;
        fs::create_directories(fs::path(path).parent_path());
        if (FILE* f = fopen(path.c_str(), "wb")) {
            fwrite(bytes.data(), 1, bytes.size(), f);
            fclose(f);
        }
    }
    timedLoad(w, largest);  // warm the page cache for the plain files
    for (int i = 0; i < 5; i++)
        fromPlain.push_back(timedLoad(w, largest));
    double plain = median(fromPlain), archive = median(fromArchives);
    printf("load  %s (%zu bytes, %zu files read), medians:\n", largest.c_str(), largestSize, used.size());
    printf("  level and pictures as plain files (baseline)  %8.2f ms\n", plain * 1e3);
    printf("  level and pictures from the archives          %8.2f ms  = %.2f x\n", archive * 1e3,
           archive / plain);
    fs::remove_all(root / "baseq3" / "maps");
    fs::remove_all(root / "baseq3" / "textures");

    // --- frames with and without the curves ---
    if (timedLoad(w, curved) < 0)
        return 1;
    Renderer& r = w.renderer;
    // Stand in the middle of the level's vertices, where its rooms are.
    Vector3 centre;
    for (int i = 0; i < r.vertexCount; i++)
        centre = centre + Vector3(r.vertices[i].position[0], r.vertices[i].position[1], r.vertices[i].position[2]);
    w.camera.position = centre * (1.0f / float(std::max(1, r.vertexCount)));
    int triangles = 0;
    for (int i = 0; i < r.faceCount; i++)
        if (r.faces[i].type == bsp::FacePatch)
            triangles += r.faces[i].meshVertexCount / 3;
    long facesWith = 0, facesWithout = 0;
    turnFrames(w, &facesWith);  // warm-up
    facesWith = 0;
    double with = turnFrames(w, &facesWith);
    for (int i = 0; i < r.faceCount; i++)
        if (r.faces[i].type == bsp::FacePatch)
            r.faceKinds[i] = FaceHidden;
    double without = turnFrames(w, &facesWithout);
    printf("frames: %d at 800 x 600 turning in %s (%d curved surfaces, %d triangles)\n", kFrames,
           curved.c_str(), mostPatches, triangles);
    printf("  curves left out (baseline)  %8.3f ms, %ld faces a frame\n", without * 1e3, facesWithout / kFrames);
    printf("  curves drawn                %8.3f ms, %ld faces a frame  = %.2f x\n", with * 1e3,
           facesWith / kFrames, with / without);
    w.renderer.freeLevel();
    TextureManager::get().releaseAll();
    return 0;
}
