// Compiles real editor sources and compares each result with the level the
// content's authors compiled from the same source (shipped beside it):
//   bench_mapc_compare MAPS_DIR OUT_DIR NAME...
// Per level: brushes, faces, leaves, clusters (ours / reference), compile
// seconds and peak memory (each compile in its own child process), solid
// agreement on 100 000 random points, drawn area ratio, spawn spheres not in
// solid, visibility checked along 10 000 random sight lines, the mean share
// of clusters visible from a cluster (ours / reference), the same counted
// only over the clusters a player can be in (see InsideClusters), the mean
// share of open space seen from a point (see seenSpacePercent) and
// whether our portal flow finished or ran out of its budget. With --kinds
// first: the drawn area per shader and face kind too. With --light: compiled
// with no time for the flow, for quick runs over the light ratio. The
// measures are in LevelMeasures.cpp; this file compiles and prints the table.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "Compiler.h"
#include "MapScale.h"
#include "LevelMeasures.h"
#include "resources/FileSystem.h"
#include "world/BspData.h"
#include "world/LevelValidation.h"

namespace {

const char* const kGameData = "/usr/share/games/nexuiz/data";

// Block grids the reference compiles were made with where their sources
// name none (given to their compiler on its command line): aneurysm's tree
// opens with cuts every 256 units (x -1024, -768, -512, -256, 0, 256), where
// the others open on the usual 1024. Ours is compiled with the same grid.
const std::map<std::string, double> kReferenceBlocks = {{"aneurysm", 256.0}};

// The stages of the command line the reference's compiler recorded in its
// worldspawn, split at ';'; false when it recorded none.
bool recordedStages(const std::string& entities, std::vector<std::string>& stages)
{
    const std::string key = "\"_q3map2_cmdline\" \"";
    const size_t at = entities.find(key);
    if (at == std::string::npos) return false;
    const size_t start = at + key.size(), end = entities.find('"', start);
    std::istringstream line(entities.substr(start, end == std::string::npos ? std::string::npos : end - start));
    std::string stage;
    while (std::getline(line, stage, ';')) stages.push_back(stage);
    return true;
}

// The corner dirt the reference was lit with, from its recorded command
// line: its light stage's "-dirtscale", 1 for "-dirty" alone, 0 without
// "-dirty"; -1 where none was recorded.
double referenceDirtScale(const std::string& entities)
{
    std::vector<std::string> stages;
    if (!recordedStages(entities, stages)) return -1.0;
    for (const std::string& stage : stages) {
        std::istringstream words(stage);
        std::string word, first;
        words >> first;
        if (first != "-light") continue;
        double scale = 0.0;
        while (words >> word) {
            if (word == "-dirty" && scale == 0.0) scale = 1.0;
            if (word == "-dirtscale" && !(words >> scale)) return -1.0;
        }
        return scale;
    }
    return -1.0;
}

std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Outside what halvex-mapc -scale takes: 1.
double inScaleRange(double scale)
{
    return mapc::isMapScale(scale) ? scale : 1.0;
}

// The size the reference was lit at, over its source's. A recorded command
// line tells when it was scaled: aggressor's ("...; -light ...; -scale 1.25")
// scaled the lit level, which leaves its light as lit. The older compiles
// recorded none; those scaled were lit at their new size, their point lights
// as far off as the level grew (bloodprison's point-lit luxels are 1.2^2 times
// dimmer than its source's distances give, its sky- and glow-lit ones are not).
double referenceLitScale(const std::string& entities, const std::string& source)
{
    std::vector<std::string> stages;
    double scale = 1.0;
    if (recordedStages(entities, stages)) {
        // A "-scale" stage counts when it ran before the light stage.
        double before = 1.0;
        for (const std::string& stage : stages) {
            std::istringstream words(stage);
            std::string first;
            words >> first;
            if (first == "-light") {
                scale = before;
                break;
            }
            if (first == "-scale" && !(words >> before)) before = 1.0;
        }
    } else {
        scale = levelScale(source, entities);
    }
    return inScaleRange(scale);
}

// The reference's size over its source's, for compiling ours as large
// (fly_levels.sh flies both through the reference's spawns).
void printSizes(const std::string& maps, char** names, int count)
{
    for (int i = 0; i < count; ++i) {
        RawLevel ref;
        const std::string base = maps + "/" + names[i];
        const double size = ref.load(base + ".bsp") ? inScaleRange(levelScale(readText(base + ".map"), ref.entities)) : 1.0;
        std::printf("%s %g\n", names[i], size);
    }
}

// Prints the shaders and kinds whose area differs most, largest first.
void printKinds(const RawLevel& mine, const RawLevel& ref, double scale)
{
    std::map<std::string, KindArea> kinds;
    addKinds(mine, 0, scale * scale, kinds);
    addKinds(ref, 1, 1.0, kinds);
    std::vector<std::pair<std::string, KindArea>> rows(kinds.begin(), kinds.end());
    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        return std::fabs(a.second.area[0] - a.second.area[1]) > std::fabs(b.second.area[0] - b.second.area[1]);
    });
    double total[2] = {drawnArea(mine) * scale * scale, drawnArea(ref)};
    std::printf("  %-60s %12s %12s %7s %13s\n", "shader kind", "area ours", "area ref", "ratio", "faces o/r");
    for (size_t i = 0; i < rows.size() && i < 40; ++i) {
        const KindArea& k = rows[i].second;
        if (std::fabs(k.area[0] - k.area[1]) < 0.001 * total[1]) break;
        std::printf("  %-60s %12.0f %12.0f %7.3f %6d/%-6d\n", rows[i].first.c_str(), k.area[0], k.area[1],
                    k.area[1] > 0 ? k.area[0] / k.area[1] : 0.0, k.faces[0], k.faces[1]);
    }
    std::printf("  %-60s %12.0f %12.0f %7.3f\n", "all", total[0], total[1], total[0] / std::max(total[1], 1.0));
}

// Prints the groups that make up most lit area, with their mean lightmap
// brightness in both levels.
void printLightRows(const char* title, const std::map<std::string, ShaderLight>& groups, size_t most)
{
    std::vector<std::pair<std::string, ShaderLight>> rows(groups.begin(), groups.end());
    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        return a.second.area[0] + a.second.area[1] > b.second.area[0] + b.second.area[1];
    });
    std::printf("  %-60s %12s %12s %8s %8s %7s\n", title, "lit ours", "lit ref", "mean o", "mean r", "ratio");
    for (size_t i = 0; i < rows.size() && i < most; ++i) {
        const ShaderLight& s = rows[i].second;
        const double mean[2] = {s.area[0] > 0 ? s.light[0] / s.area[0] : 0.0, s.area[1] > 0 ? s.light[1] / s.area[1] : 0.0};
        std::printf("  %-60s %12.0f %12.0f %8.1f %8.1f %7.3f\n", rows[i].first.c_str(), s.area[0], s.area[1], mean[0],
                    mean[1], mean[1] > 0 ? mean[0] / mean[1] : 0.0);
    }
}

// The lightmap brightness by the way faces look (a bounce too strong
// lights ceilings most), then of the shaders with the most lit area.
void printShaderLight(const RawLevel& mine, const LightPages& ourPages, const RawLevel& ref, const LightPages& refPages)
{
    std::map<std::string, ShaderLight> facings, shaders;
    addFacingLight(mine, ourPages, 0, facings);
    addFacingLight(ref, refPages, 1, facings);
    printLightRows("faces", facings, 4);
    addShaderLight(mine, ourPages, 0, shaders);
    addShaderLight(ref, refPages, 1, shaders);
    printLightRows("shader", shaders, 25);
}

struct Figures {
    bool compiled = false;
    bool flowCut = false;  // the portal flow ran out of budget
    double seconds = 0, peakMb = 0;
    int brushes = 0, faces = 0, leaves = 0, clusters = 0, portals = 0;
};

// Compiles in a child so time and memory are this compile's alone.
Figures compileChild(const std::string& source, const std::string& output, const std::string& base, bool facesOnly,
                     double blockSize, double dirtScale, double litScale, bool lightOnly)
{
    Figures fig;
    auto start = std::chrono::steady_clock::now();
    std::fflush(nullptr);
    int pipeEnds[2] = {-1, -1};
    if (pipe(pipeEnds) != 0) return fig;
    pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        if (!std::freopen("/dev/null", "w", stderr)) _exit(3);
        FileSystem files;
        files.setReporter([](void*, bool, const char*) {}, nullptr);
        files.addFolder(base.c_str());
        files.addArchives(kGameData);  // the textures' images
        mapc::CompileOptions options;
        options.files = &files;
        if (facesOnly) options.visSeconds = options.lightSeconds = 0;
        options.blockSize = blockSize;
        options.dirtScale = dirtScale;
        options.scale = litScale;
        if (lightOnly) options.visSeconds = 0;
        mapc::Diagnostics diag(false);
        mapc::CompileStats stats;
        if (!mapc::compileMapFile(source.c_str(), output.c_str(), diag, &stats, options)) _exit(1);
        if (write(pipeEnds[1], &stats.portals, sizeof(stats.portals)) != sizeof(stats.portals)) _exit(1);
        _exit(stats.visCutShort ? 4 : 0);
    }
    close(pipeEnds[1]);
    if (read(pipeEnds[0], &fig.portals, sizeof(fig.portals)) != sizeof(fig.portals)) fig.portals = -1;
    close(pipeEnds[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    fig.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    fig.peakMb = usage.ru_maxrss / 1024.0;
    fig.compiled = WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 4);
    fig.flowCut = WIFEXITED(status) && WEXITSTATUS(status) == 4;
    return fig;
}

void countsOf(const RawLevel& l, Figures& f)
{
    f.brushes = l.counts[bsp::LumpBrushes];
    f.faces = l.counts[bsp::LumpFaces];
    f.leaves = l.counts[bsp::LumpLeaves];
    f.clusters = l.clusters;
}

} // namespace

int main(int argc, char** argv)
{
    // --kinds: also the area per shader and face kind, compiled with no
    // time for light and flow (the faces do not depend on them).
    // --default-grid: every level on the default block grid, not on the
    // one its reference was compiled with. --light: no time for the flow.
    // --light-shaders: also the lightmap brightness by facing and per shader. --size:
    // only print each reference's size over its source's ("NAME S").
    bool kinds = false, referenceGrid = true, lightOnly = false, lightShaders = false, sizes = false;
    for (; argc > 1 && std::strncmp(argv[1], "--", 2) == 0; ++argv, --argc) {
        sizes = sizes || std::strcmp(argv[1], "--size") == 0;
        kinds = kinds || std::strcmp(argv[1], "--kinds") == 0;
        lightOnly = lightOnly || std::strcmp(argv[1], "--light") == 0;
        lightShaders = lightShaders || std::strcmp(argv[1], "--light-shaders") == 0;
        referenceGrid = referenceGrid && std::strcmp(argv[1], "--default-grid") != 0;
    }
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_mapc_compare [--kinds] [--light] [--light-shaders] [--default-grid] [--size] MAPS_DIR OUT_DIR NAME...\n");
        return 2;
    }
    std::string maps = argv[1], outDir = argv[2];
    if (sizes) {
        printSizes(maps, argv + 3, argc - 3);
        return 0;
    }
    std::printf("%-12s %15s %13s %13s %11s %7s %7s %7s %7s %7s %9s %9s %11s %11s %11s %5s %6s %6s %7s\n", "level",
                "brushes", "faces", "leaves", "clusters", "secs", "peakMB", "valid", "solid%", "area", "spawns", "vis-fail",
                "vis %", "inside %", "space %", "flow", "scale", "light", "portals");
    std::printf("%-12s %15s %13s %13s %11s %7s %7s %7s %7s %7s %9s %9s %11s %11s %11s %5s %6s %6s %7s\n", "",
                "ours/ref", "ours/ref", "ours/ref", "ours/ref", "", "", "game", "agree", "ratio", "bad o/r", "of 10000",
                "ours/ref", "ours/ref", "ours/ref", "", "ref", "ratio", "ours");
    FileSystem refFiles;
    refFiles.setReporter([](void*, bool, const char*) {}, nullptr);
    refFiles.addArchives(kGameData);
    int failures = 0;
    for (int a = 3; a < argc; ++a) {
        std::string name = argv[a];
        std::string ourPath = outDir + "/" + name + ".bsp";
        const auto grid = kReferenceBlocks.find(name);
        const double blockSize = referenceGrid && grid != kReferenceBlocks.end() ? grid->second : 0.0;
        RawLevel mine, ref;
        const bool refRead = ref.load(maps + "/" + name + ".bsp");
        const double dirtScale = refRead ? referenceDirtScale(ref.entities) : -1.0;
        const std::string source = maps + "/" + name + ".map";
        const double litScale = refRead ? referenceLitScale(ref.entities, readText(source)) : 1.0;
        Figures ours = compileChild(source, ourPath, maps + "/..", kinds, blockSize, dirtScale, litScale, lightOnly);
        if (!ours.compiled || !mine.load(ourPath) || !refRead) {
            std::printf("%-12s compile or read FAILED\n", name.c_str());
            ++failures;
            continue;
        }
        Figures theirs;
        countsOf(mine, ours);
        countsOf(ref, theirs);

        // The game's own reader and validation.
        BspData data;
        char problem[256] = "";
        bool valid = readBspFile(ourPath.c_str(), data, problem, sizeof(problem)) == BspReadError::None &&
                     validateLevel(data, problem, sizeof(problem));

        // Some references were compiled scaled up (the compiler's -scale);
        // their spawn points tell by how much.
        double scale = levelScale(mine.entities, ref.entities);
        std::mt19937 rng(1234);
        const bsp::BspModel& world = ref.models[0];
        std::uniform_real_distribution<double> ux(world.mins[0] / scale, world.maxs[0] / scale),
            uy(world.mins[1] / scale, world.maxs[1] / scale), uz(world.mins[2] / scale, world.maxs[2] / scale);
        int agree = 0;
        const int points = 100000;
        InsideClusters inside(mine, ref);
        std::vector<int> ourPoints, refPoints;  // clusters of the points open in both
        for (int i = 0; i < points; ++i) {
            double p[3] = {ux(rng), uy(rng), uz(rng)};
            double q[3] = {p[0] * scale, p[1] * scale, p[2] * scale};
            const bool refSolid = ref.inSolid(q);
            agree += mine.inSolid(p) == refSolid;
            if (!inside.mark(mine, ref, scale, p) || refSolid) continue;
            const int rc = ref.leaves[ref.leafAt(q)].cluster;
            if (rc < 0 || rc >= ref.clusters) continue;
            ourPoints.push_back(mine.leaves[mine.leafAt(p)].cluster);
            refPoints.push_back(rc);
        }
        inside.sampleLeaves(mine, ref, scale);
        double areaRatio = drawnArea(mine) * scale * scale / std::max(drawnArea(ref), 1.0);
        const LightPages ourPages = internalPages(mine), refPages = externalPages(refFiles, name);
        double ourLight = meanLightmap(mine, ourPages);
        double refLight = meanLightmap(ref, refPages);
        double lightRatio = ourLight >= 0 && refLight > 0 ? ourLight / refLight : 0.0;
        int badOurs = spawnsInSolid(mine, spawnPoints(mine.entities));
        int badRef = spawnsInSolid(ref, spawnPoints(ref.entities));

        // Sight lines from random open points: every leaf a line reaches
        // must be in the source's visible set (up to the far plane on a
        // fogged level).
        const double sight = farPlaneOf(mine.entities) > 0 ? farPlaneOf(mine.entities) : 65536.0;
        int visFail = 0, lines = 0;
        std::normal_distribution<double> gauss;
        for (int tries = 0; lines < 10000 && tries < 1000000; ++tries) {
            double p[3] = {ux(rng), uy(rng), uz(rng)};
            int from = mine.leaves[mine.leafAt(p)].cluster;
            if (from < 0 || mine.inSolid(p)) continue;
            double d[3] = {gauss(rng), gauss(rng), gauss(rng)};
            double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            if (len < 1e-9) continue;
            double q[3];
            for (int i = 0; i < 3; ++i) q[i] = p[i] + d[i] / len * sight;
            std::vector<int> reached;
            walkSegment(mine, 0, p, q, reached);
            ++lines;
            for (int leaf : reached)
                if (!mine.sees(from, mine.leaves[leaf].cluster)) { ++visFail; break; }
        }
        double solidPct = 100.0 * agree / points;
        // Every target the level misses, by name.
        // A reference whose outside was left open counts the void's clusters
        // in its share; there the share is judged on the clusters a player
        // can be in, ours and the reference's alike.
        const long refUnreached = std::count(inside.ref.begin(), inside.ref.end(), 0);
        const bool refOutsideOpen = openCorners(ref) > 0;
        const double insideOurs = insideVisiblePercent(mine, inside.ours), insideRef = insideVisiblePercent(ref, inside.ref);
        const double visOurs = visiblePercent(mine), visRef = visiblePercent(ref);
        const double judgedOurs = refOutsideOpen ? insideOurs : visOurs, judgedRef = refOutsideOpen ? insideRef : visRef;
        std::string misses;
        auto miss = [&](bool met, const char* what) { if (!met) misses += std::string(" ") + what; };
        miss(valid, "valid");
        miss(solidPct >= 99.9, "solid");
        miss(std::fabs(areaRatio - 1.0) <= 0.10, "area");
        miss(badOurs == 0, "spawns");
        miss(visFail == 0, "vis-fail");
        miss(ours.seconds < 60.0, "secs");
        miss(!ours.flowCut, "flow");
        miss(theirs.clusters == 0 || ours.clusters <= 1.3 * theirs.clusters, "clusters");
        miss(judgedOurs <= 1.25 * judgedRef + 3.0, refOutsideOpen ? "inside%" : "vis%");
        miss(lightRatio >= 0.9 && lightRatio <= 1.1, "light");
        failures += !misses.empty();
        std::printf("%-12s %7d/%-7d %6d/%-6d %6d/%-6d %5d/%-5d %7.1f %7.0f %7s %7.2f %7.3f %4d/%-4d %9d %5.1f/%-5.1f %5.1f/%-5.1f %5.1f/%-5.1f %5s %6.3g %6.2f %7d%s\n",
                    name.c_str(), ours.brushes, theirs.brushes, ours.faces, theirs.faces, ours.leaves, theirs.leaves,
                    ours.clusters, theirs.clusters, ours.seconds, ours.peakMb, valid ? "yes" : "NO", solidPct,
                    areaRatio, badOurs, badRef, visFail, visOurs, visRef,
                    insideOurs, insideRef,
                    seenSpacePercent(mine, ourPoints), seenSpacePercent(ref, refPoints),
                    ours.flowCut ? "cut" : "done", scale, lightRatio, ours.portals, misses.empty() ? "" : ("  <- misses:" + misses).c_str());
        if (!valid) std::printf("             game refuses it: %s\n", problem);
        if (refOutsideOpen)
            std::printf("             reference's outside is open (%d of 8 world corners in clusters, %ld of %d clusters unreached): share judged on inside %%\n",
                        openCorners(ref), refUnreached, ref.clusters);
        if (blockSize > 0) std::printf("             compiled on a %g-unit block grid, as its reference was\n", blockSize);
        if (dirtScale >= 0) std::printf("             lit with dirt scale %g, as its reference's recorded command line asks\n", dirtScale);
        if (litScale != 1.0) std::printf("             compiled %g times larger, the size its reference was lit at\n", litScale);
        if (kinds) printKinds(mine, ref, scale);
        if (lightShaders) printShaderLight(mine, ourPages, ref, refPages);
        std::fflush(stdout);
    }
    std::printf("%d level(s) miss a target\n", failures);
    return 0;
}
