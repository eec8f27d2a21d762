// Curved surfaces' collision on the curviest real levels: sphere and ray
// traces per second with curves on beside the same traces with curves off,
// the cost per trace by the number of curves the trace meets on its path,
// and the level's load (read, check, curves cut for drawing) with and
// without making the collision surfaces. Times are this thread's processor
// time, medians of rounds taken in turn, so other work on the machine does
// not tilt one side.
#include <time.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "../common/BenchClock.h"
#include "../common/LevelArgs.h"
#include "world/BspData.h"
#include "world/BspLoader.h"
#include "world/LevelValidation.h"
#include "world/PatchCollision.h"
#include "world/PatchTessellation.h"
#include "world/Renderer.h"

namespace {

struct Segment {
    Vector3 start, end;
};

double threadSeconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

constexpr int kRounds = 5;

// Loads the level as the game does, without GL; with or without curves.
bool loadLevel(const std::string& path, bool curves, Renderer* into)
{
    BspData data;
    char problem[256];
    if (readBspFile(path.c_str(), data, problem, sizeof problem) != BspReadError::None ||
        !validateLevel(data, problem, sizeof problem))
        return false;
    CurveReport report;
    PatchCollision* made = curves ? buildPatchCollision(data, report) : nullptr;
    PatchReport patches;
    if (!tessellatePatches(data, patches)) {
        delete made;
        return false;
    }
    if (into) {
        into->freeLevel();
        BspLoader::install(data, *into, new unsigned[size_t(data.textureCount) + 1](),
                           new unsigned[size_t(data.lightmapCount) + 1](), made);
        into->multitextureReady = true;
    } else {
        delete made;
    }
    return true;
}

// Up to 256 units long from open points: aimed, every other one starts near
// a random curve facet; otherwise anywhere in the level's box.
std::vector<Segment> segments(const Renderer& r, int count, unsigned seed, bool aimed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f), offset(-1.0f, 1.0f);
    const PatchCollision& curves = *r.curves;
    const bsp::BspNode& root = r.nodes[0];
    std::vector<Segment> out;
    while (int(out.size()) < count) {
        Vector3 p;
        if (aimed && out.size() % 2 == 0) {
            const float* d = curves.facets[size_t(unit(rng) * float(curves.facets.size())) % curves.facets.size()]
                                 .bounds.distance;
            p = Vector3(-d[1] + (d[0] + d[1]) * unit(rng), -d[3] + (d[2] + d[3]) * unit(rng),
                        -d[5] + (d[4] + d[5]) * unit(rng)) +
                Vector3(offset(rng), offset(rng), offset(rng)) * 64.0f;
        } else {
            float* c = &p.x;
            for (int k = 0; k < 3; k++)
                c[k] = root.mins[k] + (root.maxs[k] - root.mins[k]) * unit(rng);
        }
        if (r.leaves[r.findLeaf(p)].cluster < 0)
            continue;
        Vector3 d(offset(rng), offset(rng), offset(rng));
        float n = d.length();
        if (n < 0.01f || n > 1.0f)
            continue;
        out.push_back({p, p + d * (unit(rng) * 256.0f / n)});
    }
    return out;
}

double tracesPerSecond(Renderer& r, const std::vector<Segment>& segs, float radius)
{
    TraceResult result;
    double start = threadSeconds();
    for (const Segment& s : segs) {
        if (radius > 0.0f)
            sphereTrace(r, result, s.start, s.end, radius);
        else
            rayTrace(r, result, s.start, s.end, false, 0);
    }
    return double(segs.size()) / (threadSeconds() - start);
}

// Rates with the curves on and off, rounds in turn; medians.
void onAndOff(Renderer& r, const std::vector<Segment>& segs, float radius, double& on, double& off)
{
    PatchCollision* curves = r.curves;
    std::vector<double> with, without;
    for (int round = 0; round < kRounds; round++) {
        with.push_back(tracesPerSecond(r, segs, radius));
        r.curves = nullptr;
        without.push_back(tracesPerSecond(r, segs, radius));
        r.curves = curves;
    }
    on = median(with);
    off = median(without);
}

// Curves a sphere trace tested (stamped with its number), counted after it.
int curvesMet(Renderer& r, const Segment& s)
{
    TraceResult result;
    sphereTrace(r, result, s.start, s.end, 20.0f);
    int met = 0;
    for (uint32_t stamp : r.curves->checkedBy)
        met += stamp == r.curves->traceNumber;
    return met;
}

} // namespace

int main(int argc, char** argv)
{
    const LevelArgs args = levelArgs(argc, argv, HALVEX_TEST_DATA "/openarena/maps", {"czest3ctf", "oa_spirit3", "pul1ctf", "oa_shouse", "ctf_inyard"});
    const std::string& folder = args.folder;
    const std::vector<std::string>& names = args.names;

    int failures = 0;
    for (const std::string& name : names) {
        std::string path = folder + "/" + name + ".bsp";
        Renderer r;
        if (!loadLevel(path, true, &r) || !r.curves || r.curves->facets.empty()) {
            std::printf("%-12s cannot load %s, or it has no curves\n", name.c_str(), path.c_str());
            failures++;
            continue;
        }

        std::vector<double> with, without;
        for (int round = 0; round < 2 * kRounds + 1; round++) {
            double t = threadSeconds();
            loadLevel(path, false, nullptr);
            without.push_back(threadSeconds() - t);
            t = threadSeconds();
            loadLevel(path, true, nullptr);
            with.push_back(threadSeconds() - t);
        }
        double loadRatio = median(with) / median(without);

        const int kTraces = 50000;
        PatchCollision* curves = r.curves;
        std::printf("%-12s %4zu curves %6zu facets  load %.2f ms with collision, %.2f ms without (x%.2f)\n",
                    name.c_str(), curves->surfaces.size(), curves->facets.size(), median(with) * 1e3,
                    median(without) * 1e3, loadRatio);
        double sphereOn = 0, sphereOff = 1, rayOn = 0, rayOff = 1;
        std::vector<Segment> segs;
        for (bool aimed : {false, true}) {
            segs = segments(r, kTraces, 11, aimed);
            onAndOff(r, segs, 20.0f, sphereOn, sphereOff);
            onAndOff(r, segs, 0.0f, rayOn, rayOff);
            std::printf("%-12s %s sphere %8.0f/s curves on, %8.0f/s off (x%.2f); ray %8.0f/s on, %8.0f/s off (x%.2f)\n",
                        "", aimed ? "aimed at curves:" : "anywhere open:  ", sphereOn, sphereOff,
                        sphereOn / sphereOff, rayOn, rayOff, rayOn / rayOff);
            if (!aimed)
                failures += sphereOn < 0.5 * sphereOff || rayOn < 0.5 * rayOff;
        }

        // Cost by the number of curves on the path (aimed mix), curves on beside off.
        const int kBuckets = 5;
        const int limits[kBuckets] = {0, 2, 5, 10, 1 << 30};
        std::vector<Segment> bucket[kBuckets];
        for (const Segment& s : segs) {
            int met = curvesMet(r, s), b = 0;
            while (met > limits[b])
                b++;
            bucket[b].push_back(s);
        }
        std::printf("%-12s curves met:", "");
        for (int b = 0; b < kBuckets; b++) {
            if (bucket[b].empty())
                continue;
            double on, off;
            onAndOff(r, bucket[b], 20.0f, on, off);
            std::printf("  %s%d: %.2f us (off %.2f, %zu traces)", b == kBuckets - 1 ? ">" : "<=",
                        b == kBuckets - 1 ? limits[b - 1] : limits[b], 1e6 / on, 1e6 / off, bucket[b].size());
        }
        std::printf("\n");
        failures += loadRatio > 1.2;
    }
    std::printf("targets: traces anywhere open with curves at least half the rate without; "
                "load with collision at most x1.2\n");
    return failures ? 1 : 0;
}
