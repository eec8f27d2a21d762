// The whole level load the map command does (read, check, tessellate,
// textures and lightmaps to GL, collision) of the levels with the most
// curves, with the curves' collision surfaces built against the same load
// with them skipped, rounds alternated in one run.
// Usage: bench_curve_load [level ...]  (needs a display)
#include <GL/gl.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/ArchiveGame.h"
#include "common/BenchClock.h"
#include "common/BenchWorld.h"
#include "resources/FileSystem.h"
#include "resources/GameFiles.h"
#include "resources/TextureManager.h"
#include "world/BspData.h"
#include "world/BspLoader.h"
#include "world/PatchCollision.h"

namespace fs = std::filesystem;

namespace {

// The archives the figures are pinned to, whatever else is installed.
const char* const kArchives[] = {"pak0.pk3", "pak1-maps.pk3", "pak4-textures.pk3",
                                 "pak5-TA.pk3", "pak6-misc.pk3", "pak6-patch085.pk3"};
const char* const kBaseoa = "/usr/share/games/openarena/baseoa";
const int kRounds = 11;

double timedLoad(World& w, const std::string& level, bool collision)
{
    w.renderer.freeLevel();
    w.targets.clear();
    BspLoader loader;
    loader.buildCurveCollision = collision;
    auto start = Clock::now();
    bool ok = loader.load(level.c_str(), &w.targets);
    glFinish();
    return ok ? secondsSince(start) : -1.0;
}

int patchCount(const std::string& level)
{
    std::vector<unsigned char> bytes;
    BspData data;
    char problem[256];
    if (!GameFiles::get().readFile(level.c_str(), bytes) ||
        readBspBuffer(bytes.data(), bytes.size(), data, problem, sizeof problem) != BspReadError::None)
        return -1;
    int patches = 0;
    for (int i = 0; i < data.faceCount; i++)
        patches += data.faces[i].type == bsp::FacePatch;
    return patches;
}

} // namespace

int main(int argc, char** argv)
{
    // The most curves by patch count, and the most facets (ctf_inyard).
    std::vector<std::string> names = {"oacmpdm1", "oacmpdm6",  "ctf_inyard", "czest3ctf",
                                      "oa_spirit3", "pul1ctf", "oa_shouse"};
    if (argc > 1)
        names.assign(argv + 1, argv + argc);

    // A folder holding only the pinned archives, entered as the game folder.
    fs::path pins = fs::absolute("bench_curve_load_pins");
    fs::remove_all(pins);
    fs::create_directories(pins);
    for (const char* name : kArchives)
        fs::create_symlink(fs::path(kBaseoa) / name, pins / name);
    if (!enterArchiveGame(pins.c_str(), "bench_curve_load_game"))
        return 1;

    OglSdl window;
    World w;
    if (!openBenchWorld(window, w, "bench_curve_load"))
        return 1;
    TextureManager::get().findShader("");  // scripts are read once per run, before any timing

    printf("whole load (map command path), median of %d alternated rounds:\n", kRounds);
    printf("  %-12s %7s %8s %12s %12s %7s\n", "level", "patches", "facets", "without ms", "with ms", "ratio");
    int status = 0;
    for (const std::string& name : names) {
        std::string level = "baseq3/maps/" + name + ".bsp";
        if (!GameFiles::get().exists(level.c_str())) {
            printf("  %-12s not in the pinned archives, skipped\n", name.c_str());
            continue;
        }
        // Warm-up of both kinds: page cache, and the facet count.
        timedLoad(w, level, false);
        if (timedLoad(w, level, true) < 0) {
            printf("  %-12s failed to load\n", name.c_str());
            status = 1;
            continue;
        }
        size_t facets = w.renderer.curves ? w.renderer.curves->facets.size() : 0;
        std::vector<double> with, without;
        for (int i = 0; i < kRounds; i++) {
            // Alternate which goes first so drift falls on both.
            bool first = i % 2 == 0;
            double a = timedLoad(w, level, first);
            double b = timedLoad(w, level, !first);
            (first ? with : without).push_back(a);
            (first ? without : with).push_back(b);
        }
        double on = median(with), off = median(without);
        printf("  %-12s %7d %8zu %12.2f %12.2f %6.3fx\n", name.c_str(), patchCount(level), facets, off * 1e3,
               on * 1e3, on / off);
        fflush(stdout);
    }
    w.renderer.freeLevel();
    TextureManager::get().releaseAll();
    return status;
}
