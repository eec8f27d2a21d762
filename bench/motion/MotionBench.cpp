// Sphere traces (radius 20) per second on random segments of up to 256 units,
// beside the same walk without the per-brush bounds and the brute-force trace
// that tests every world brush. Also counts
// where the two disagree, over more levels than the test suite uses.
#include "../common/LevelArgs.h"
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "CollisionReference.h"

namespace {

double seconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

struct Segment {
    Vector3 start, end;
};

std::vector<Segment> segments(const CollisionReference& L, int count, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> ux(L.mins.x, L.maxs.x), uy(L.mins.y, L.maxs.y),
        uz(L.mins.z, L.maxs.z), unit(-1.0f, 1.0f), length(0.0f, 256.0f);
    std::vector<Segment> out;
    while (int(out.size()) < count) {
        Vector3 p(ux(rng), uy(rng), uz(rng));
        if (L.leaves[size_t(L.findLeaf(p))].cluster < 0)
            continue;
        Vector3 d(unit(rng), unit(rng), unit(rng));
        float n = d.length();
        if (n < 0.01f || n > 1.0f)
            continue;
        out.push_back({p, p + d * (length(rng) / n)});
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    const LevelArgs args = levelArgs(argc, argv, HALVEX_TEST_DATA "/openarena/maps", {"oa_dm1", "q3dm6ish", "aggressor"});
    const std::string& folder = args.folder;
    const std::vector<std::string>& names = args.names;

    int failures = 0;
    for (const std::string& name : names) {
        CollisionReference level;
        if (!level.read(folder + "/" + name + ".bsp")) {
            std::printf("%-14s cannot read %s/%s.bsp\n", name.c_str(), folder.c_str(), name.c_str());
            failures++;
            continue;
        }
        Renderer renderer;
        level.fillRenderer(renderer);

        const int kTraces = 200000;
        std::vector<Segment> segs = segments(level, kTraces, 7);
        TraceResult r;
        int hits = 0;
        double t0 = seconds();
        for (const Segment& s : segs) {
            sphereTrace(renderer, r, s.start, s.end, 20.0f);
            hits += r.hit;
        }
        double tree = seconds() - t0;

        // The same walk without the per-brush bounds, for comparison.
        BrushBounds* bounds = renderer.brushBounds;
        renderer.brushBounds = nullptr;
        t0 = seconds();
        for (const Segment& s : segs)
            sphereTrace(renderer, r, s.start, s.end, 20.0f);
        double unbounded = seconds() - t0;
        renderer.brushBounds = bounds;

        const int kReference = 20000;
        std::vector<float> expected(kReference);
        t0 = seconds();
        for (int i = 0; i < kReference; i++)
            expected[size_t(i)] =
                level.bruteForceFraction(segs[size_t(i)].start, segs[size_t(i)].end, 20.0f, nullptr,
                                         kBodyContents);
        double reference = seconds() - t0;
        int mismatches = 0;
        for (int i = 0; i < kReference; i++) {
            sphereTrace(renderer, r, segs[size_t(i)].start, segs[size_t(i)].end, 20.0f);
            mismatches += std::fabs(expected[size_t(i)] - r.fraction) > 1e-4f;
        }

        std::printf("%-14s %5zu brushes  sphere traces %9.0f/s (%.1f%% hit)  "
                    "without brush bounds %9.0f/s  brute-force baseline %8.0f/s  "
                    "disagreements %d of %d\n",
                    name.c_str(), level.brushes.size(), kTraces / tree, 100.0 * hits / kTraces,
                    kTraces / unbounded, kReference / reference, mismatches, kReference);
        failures += mismatches != 0;
    }
    std::printf("target: at least 300000 sphere traces per second\n");
    return failures ? 1 : 0;
}
