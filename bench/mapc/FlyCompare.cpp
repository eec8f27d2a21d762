// The same fly-through drawn in our compile of a level and in the reference
// compile of the same source, in one run, by the game's loader and renderer:
// per level, faces and leaves drawn per frame, clusters the camera's cluster
// sees, frame times (wall clock, and the process's CPU time, which other jobs
// on the machine sway less), and eyes that land outside the level.
//   bench_fly_compare [--pictures] GAME_DATA COMPILED_DIR NAME...
// GAME_DATA holds the .pk3 archives with the reference levels (maps/NAME.bsp)
// and their textures and shader scripts; COMPILED_DIR holds our NAME.bsp.
// Both are loaded as the game loads them: the archives linked into the
// bench's own baseq3/, the reference by its archive path, ours by its file
// path. The path: the level's player spawns (from the reference's entities,
// at most kSpawns of them spread over the list; ours when the reference has
// none), a full look around at each.
// Needs a display: fly_levels.sh runs it under Xvfb.
#include <GL/gl.h>
#include <SDL/SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "common/ArchiveGame.h"
#include "common/BenchClock.h"
#include "common/BenchWorld.h"
#include "resources/FileSystem.h"
#include "resources/GameFiles.h"
#include "resources/PngWriter.h"
#include "resources/TextureManager.h"
#include "world/BspData.h"
#include "world/BspLoader.h"
#include "world/EntitieParser.h"
#include "world/ViewAngles.h"

namespace {

const int kSpawns = 12;          // eyes on the path
const int kFramesPerSpawn = 60;  // one full turn at each
const int kRounds = 2;           // reference and ours drawn in turn, twice
const float kEyeLift = 16.0f;    // above the spawn's origin
const float kPitchSwing = 20.0f; // degrees up and down while turning

struct Eye {
    Vector3 position;
    float yaw = 0.0f;
};

// Player spawns of the entity text, in file order: every info_player_*
// (Nexuiz's team and race spawns too) and the team spawns of capture the flag.
bool isSpawn(const char* classname)
{
    static const char* const teams[] = {"team_CTF_redplayer", "team_CTF_blueplayer", "team_CTF_redspawn",
                                        "team_CTF_bluespawn"};
    return std::strncmp(classname, "info_player_", 12) == 0 ||
           std::any_of(std::begin(teams), std::end(teams), [&](const char* t) { return std::strcmp(classname, t) == 0; });
}

std::vector<Eye> spawnsOf(const char* text)
{
    std::vector<Eye> eyes;
    EntityBlock block;
    for (const char* open = text ? std::strchr(text, '{') : nullptr; open;) {
        const char* close = std::strchr(open, '}');
        if (!close)
            break;
        block.parse(std::string(open + 1, close).c_str());
        open = std::strchr(close, '{');
        const char* name = block.find("classname");
        if (!name || !isSpawn(name))
            continue;
        Vector3 o = block.getVector("origin");
        Eye eye;
        eye.position = fromFileFrame(o.x, o.y, o.z) + Vector3(0, kEyeLift, 0);
        eye.yaw = block.find("angle") ? block.getFloat("angle") : block.getVector("angles").y;
        if (eye.position.isFinite() && std::isfinite(eye.yaw))
            eyes.push_back(eye);
    }
    return eyes;
}

// At most kSpawns of them, spread evenly over the list.
std::vector<Eye> pathOf(const std::vector<Eye>& spawns)
{
    if (int(spawns.size()) <= kSpawns)
        return spawns;
    std::vector<Eye> path;
    for (int i = 0; i < kSpawns; i++)
        path.push_back(spawns[size_t(i) * spawns.size() / kSpawns]);
    return path;
}

// The frame's view: the turn at the eye, looking a little up and down.
void aim(Camera& camera, const Eye& eye, int frame)
{
    float t = float(frame) / kFramesPerSpawn;
    camera.position = eye.position;
    camera.lookAlong(forwardFromAngles(eye.yaw + 360.0f * t, kPitchSwing * std::sin(4.0f * 3.14159265f * t)));
}

// What one compile showed along the path, over every round.
struct Flight {
    std::string label;
    bool loaded = false;
    int faces = 0, clusters = 0;  // of the level
    std::vector<double> frameMs, cpuMs, facesDrawn, leavesDrawn, clustersSeen;
    std::vector<double> stagedFaces, binds, draws, pictureGrey;
    int emptyFrames = 0;  // no face drawn
    int eyesOutside = 0;  // eyes in a leaf without a cluster (solid or outside)
    std::vector<int> eyeClusters;
};

// Milliseconds of CPU used by the whole process (the driver's threads too):
// the frame's work, less swayed than the wall clock by other jobs on the
// machine.
double processCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) * 1e-6;
}

double mean(const std::vector<double>& v)
{
    double sum = 0.0;
    for (double x : v)
        sum += x;
    return v.empty() ? 0.0 : sum / double(v.size());
}

double top(const std::vector<double>& v)
{
    return v.empty() ? 0.0 : *std::max_element(v.begin(), v.end());
}

double percentile95(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(std::ceil(0.95 * double(v.size()))) - 1)];
}

// Clusters the camera's cluster sees (all of them from outside the level,
// as the renderer draws it then).
int clustersSeenFrom(const Renderer& r, int cluster)
{
    int seen = 0;
    for (int c = 0; c < r.visClusterCount; c++)
        seen += r.clusterVisible(c, cluster) ? 1 : 0;
    return seen;
}

// Loads the level as the map command does, after freeing the last one and
// its textures.
bool load(World& w, const std::string& path)
{
    w.renderer.freeLevel();
    TextureManager::get().releaseAll();
    w.targets.clear();
    BspLoader loader;
    bool ok = loader.load(path.c_str(), &w.targets);
    glFinish();
    return ok;
}

// The frame about to be swapped in, as STEM-eyeN.png; its mean grey (0-255).
double savePicture(const std::string& stem, size_t eye)
{
    std::vector<uint8_t> pixels(800 * 600 * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, 800, 600, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    std::string path = stem + "-eye" + std::to_string(eye) + ".png";
    if (!writePngBottomUp(path.c_str(), pixels.data(), 800, 600))
        fprintf(stderr, "bench_fly_compare: cannot write %s\n", path.c_str());
    double sum = 0.0;
    for (uint8_t c : pixels)
        sum += c;
    return sum / double(pixels.size());
}

// One lap of the path, every step-th frame of it; timed frames are added
// to the flight when there is one. With a stem, the first view at each eye
// is saved as a picture and its grey added to greys.
void flyLap(World& w, const std::vector<Eye>& path, Flight* into, int step = 1, const std::string& stem = "",
            std::vector<double>* greys = nullptr)
{
    for (size_t e = 0; e < path.size(); e++) {
        const Eye& eye = path[e];
        int cluster = -1;
        for (int f = 0; f < kFramesPerSpawn; f += step) {
            aim(w.camera, eye, f);
            auto start = Clock::now();
            double cpuStart = processCpuMs();
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            w.timer.frameCount++;
            w.renderer.updateCameraLeaf(w.camera, w.camera.position);
            w.camera.applyView();
            w.frustum.update(w.camera.position, w.camera.forward);
            w.renderer.renderLevel();
            glFinish();
            if (f == 0 && !stem.empty() && greys)
                greys->push_back(savePicture(stem, e));
            SDL_GL_SwapBuffers();
            double ms = secondsSince(start) * 1e3, cpu = processCpuMs() - cpuStart;
            cluster = w.camera.cluster;
            if (!into)
                continue;
            const RenderStats& s = w.renderer.stats;
            into->frameMs.push_back(ms);
            into->cpuMs.push_back(cpu);
            into->facesDrawn.push_back(s.facesDrawn);
            into->leavesDrawn.push_back(s.leavesDrawn);
            into->stagedFaces.push_back(s.stagedFaces);
            into->binds.push_back(s.faceBinds);
            into->draws.push_back(s.faceDraws + s.stageDraws);
            into->emptyFrames += s.facesDrawn == 0 ? 1 : 0;
        }
        if (!into)
            continue;
        int seen = clustersSeenFrom(w.renderer, cluster);
        for (int f = 0; f < kFramesPerSpawn; f++)
            into->clustersSeen.push_back(seen);
        if (into->eyeClusters.size() < path.size()) {
            into->eyeClusters.push_back(cluster);
            into->eyesOutside += cluster < 0 ? 1 : 0;
        }
    }
}

bool flyRound(World& w, const std::string& path, const std::vector<Eye>& eyes, Flight& flight,
              const std::string& stem)
{
    if (!load(w, path)) {
        fprintf(stderr, "bench_fly_compare: cannot load %s\n", path.c_str());
        return false;
    }
    flight.loaded = true;
    flight.faces = w.renderer.faceCount;
    flight.clusters = w.renderer.visClusterCount;
    // A short untimed lap first: textures reach the driver on first use.
    flyLap(w, eyes, nullptr, 6, stem, &flight.pictureGrey);
    flyLap(w, eyes, &flight);
    return true;
}

void printFlight(const char* name, const Flight& f)
{
    double share = f.clusters > 0 ? 100.0 * mean(f.clustersSeen) / f.clusters : 100.0;
    printf("%-10s %-4s %7d %6d  %8.0f %7.0f  %8.0f  %7.0f %5.1f%%  %7.2f %7.2f %7.2f  %5d %5d/%zu\n", name,
           f.label.c_str(), f.faces, f.clusters, mean(f.facesDrawn), top(f.facesDrawn), mean(f.leavesDrawn),
           mean(f.clustersSeen), share, mean(f.frameMs), percentile95(f.frameMs), mean(f.cpuMs), f.emptyFrames,
           f.eyesOutside, f.eyeClusters.size());
}

void printRatio(const Flight& ours, const Flight& ref)
{
    auto ratio = [](double a, double b) { return b > 0.0 ? a / b : 0.0; };
    printf("%-10s %-4s %7.2f %6.2f  %8.2f %7.2f  %8.2f  %7.2f %6s  %7.2f %7.2f %7.2f\n", "", "o/r",
           ratio(ours.faces, ref.faces), ratio(ours.clusters, ref.clusters),
           ratio(mean(ours.facesDrawn), mean(ref.facesDrawn)), ratio(top(ours.facesDrawn), top(ref.facesDrawn)),
           ratio(mean(ours.leavesDrawn), mean(ref.leavesDrawn)),
           ratio(mean(ours.clustersSeen), mean(ref.clustersSeen)), "",
           ratio(mean(ours.frameMs), mean(ref.frameMs)), ratio(percentile95(ours.frameMs), percentile95(ref.frameMs)),
           ratio(mean(ours.cpuMs), mean(ref.cpuMs)));
}

// How the faces were drawn, and how bright the saved views are.
void printDrawing(const Flight& ours, const Flight& ref)
{
    printf("%-10s per frame ours/ref: staged faces %.0f/%.0f, texture binds %.0f/%.0f, draw calls %.0f/%.0f\n", "",
           mean(ours.stagedFaces), mean(ref.stagedFaces), mean(ours.binds), mean(ref.binds), mean(ours.draws),
           mean(ref.draws));
    if (!ours.pictureGrey.empty())
        printf("%-10s mean grey of the saved views ours/ref: %.1f/%.1f\n", "", mean(ours.pictureGrey),
               mean(ref.pictureGrey));
}

// Eyes that see from a cluster in one compile and from outside the level in
// the other, by number on the path.
void printEyeDisagreement(const Flight& ours, const Flight& ref, const std::vector<Eye>& eyes)
{
    for (size_t i = 0; i < eyes.size() && i < ours.eyeClusters.size() && i < ref.eyeClusters.size(); i++) {
        if ((ours.eyeClusters[i] < 0) == (ref.eyeClusters[i] < 0))
            continue;
        Vector3 p = toFileFrame(eyes[i].position);
        printf("  eye %zu at (%.0f %.0f %.0f): ours cluster %d, reference cluster %d\n", i, p.x, p.y, p.z,
               ours.eyeClusters[i], ref.eyeClusters[i]);
    }
}

// The spawns of a level file, read as the loader reads it: a plain file, else
// an entry of the game's archives.
std::vector<Eye> spawnsIn(const std::string& path)
{
    BspData data;
    char problem[256] = "";
    BspReadError read = readBspFile(path.c_str(), data, problem, sizeof problem);
    std::vector<unsigned char> bytes;
    if (read == BspReadError::CannotOpen && GameFiles::get().readFile(path.c_str(), bytes))
        read = readBspBuffer(bytes.data(), bytes.size(), data, problem, sizeof problem);
    return read == BspReadError::None ? spawnsOf(data.entities) : std::vector<Eye>();
}

// The path of a level: its spawns as the reference compile lists them, else
// (a reference compiled before its source had spawns) as ours does.
std::vector<Eye> eyesOf(const std::string& refPath, const std::string& ourPath, const char** from)
{
    std::vector<Eye> spawns = spawnsIn(refPath);
    *from = "reference";
    if (spawns.empty()) {
        spawns = spawnsIn(ourPath);
        *from = "our compile";
    }
    return pathOf(spawns);
}

} // namespace

int main(int argc, char** argv)
{
    // --pictures: the first view at each eye of both compiles saved in the
    // working folder, NAME-ours-eyeN.png and NAME-ref-eyeN.png.
    bool pictures = argc > 1 && std::strcmp(argv[1], "--pictures") == 0;
    if (pictures) {
        argv++;
        argc--;
    }
    if (argc < 4) {
        fprintf(stderr, "usage: bench_fly_compare [--pictures] GAME_DATA COMPILED_DIR NAME...\n");
        return 2;
    }
    std::string compiled = std::filesystem::absolute(argv[2]).string();
    std::string here = std::filesystem::current_path().string();
    if (!enterArchiveGame(argv[1], "bench_fly_game"))
        return 1;
    OglSdl window;
    World w;
    if (!openBenchWorld(window, w, "bench_fly_compare"))
        return 1;

    printf("== Fly-through, our compile (ours) beside the reference compile (ref): up to %d eyes x %d frames, "
           "%d rounds, 800 x 600\n", kSpawns, kFramesPerSpawn, kRounds);
    printf("%-10s %-4s %7s %6s  %8s %7s  %8s  %15s  %7s %7s %7s  %5s %8s\n", "level", "", "faces", "clust",
           "drawn/fr", "max", "leaves/fr", "clusters seen", "ms mean", "ms p95", "cpu ms", "empty", "eyes out");
    int failed = 0;
    for (int i = 3; i < argc; i++) {
        std::string name = argv[i];
        std::string refPath = "baseq3/maps/" + name + ".bsp", ourPath = compiled + "/" + name + ".bsp";
        const char* from = "";
        std::vector<Eye> eyes = eyesOf(refPath, ourPath, &from);
        if (eyes.empty()) {
            printf("%-10s no player spawns in %s or %s\n", name.c_str(), refPath.c_str(), ourPath.c_str());
            failed++;
            continue;
        }
        Flight ref, ours;
        ref.label = "ref";
        ours.label = "ours";
        bool ok = true;
        std::string stem = here + "/" + name;
        for (int round = 0; round < kRounds && ok; round++) {
            bool saved = pictures && round == 0;
            ok = flyRound(w, refPath, eyes, ref, saved ? stem + "-ref" : "") &&
                 flyRound(w, ourPath, eyes, ours, saved ? stem + "-ours" : "");
        }
        if (!ok) {
            printf("%-10s FAILED to load %s\n", name.c_str(), ref.loaded ? ourPath.c_str() : refPath.c_str());
            failed++;
            continue;
        }
        printFlight(name.c_str(), ours);
        printFlight("", ref);
        printRatio(ours, ref);
        printDrawing(ours, ref);
        printf("%-10s %zu eyes, the spawns of the %s\n", "", eyes.size(), from);
        printEyeDisagreement(ours, ref, eyes);
        fflush(stdout);
    }
    w.renderer.freeLevel();
    TextureManager::get().releaseAll();
    return failed ? 1 : 0;
}
