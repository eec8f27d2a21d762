#pragma once
// The visibility flow's working parts: step counting, passages, what a
// source has reached, a worker's scratch memory and the shared order in
// which finished results may be used.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>
#include "FlowWinding.h"
#include "MapMath.h"

namespace mapc {

// A passage whose flow takes more steps than this (a branching maze of
// small open leaves) finishes the branches left with their rough sets, so
// the others get the time.
constexpr long long kMaxPassageSteps = 4000000LL;

using Bits = std::vector<uint64_t>;
using Clock = std::chrono::steady_clock;

// Steps of one passage's flow; false once its own cap or the shared
// deadline is passed (the clock is read every 4096 steps).
struct StepCounter {
    Clock::time_point deadline;
    std::atomic<bool>& late;
    long long steps = 0;

    StepCounter(Clock::time_point d, std::atomic<bool>& l) : deadline(d), late(l) {}
    bool step(long long n = 1)
    {
        long long before = steps;
        steps += n;
        if ((before >> 12) != (steps >> 12) && Clock::now() > deadline) late.store(true, std::memory_order_relaxed);
        return !spent();
    }
    bool spent() const { return steps > kMaxPassageSteps || late.load(std::memory_order_relaxed); }
};

inline bool anyNew(const Bits& might, const Bits& seen)
{
    for (size_t i = 0; i < might.size(); ++i)
        if (might[i] & ~seen[i]) return true;
    return false;
}

// Whether a cluster both in `might` and beyond the passage (`through`) is
// neither seen nor known yet.
inline bool anyNewBeyond(const Bits& might, const Bits& through, const Bits& seen, const Bits& known)
{
    for (size_t i = 0; i < might.size(); ++i)
        if (might[i] & through[i] & ~(seen[i] | known[i])) return true;
    return false;
}

// One way through a portal: from cluster `from` into cluster `to`; the plane faces `to`.
struct Passage {
    int from = -1, to = -1;
    Plane plane;
    int winding = -1;   // in PortalFlow::windings
    bool fits = true;   // the polygon fits a FlowWinding; else the rough set stays
    const Winding* whole = nullptr;
    Bits mightSee;
    Bits vis;  // set once the flow through it is finished
};

// What the rough flood reads of each passage, packed for the cache.
struct PassageShape {
    Plane plane;
    Vec3 centre;  // bounding sphere of the winding
    double radius = 0;
    int to = -1;
    Bounds box;  // of the winding
};

// Shortest distance between two boxes (0 when they touch or overlap, or
// one is unknown).
inline double boxGap(const Bounds& a, const Bounds& b)
{
    if (!a.valid() || !b.valid()) return 0.0;
    double sum = 0;
    for (int i = 0; i < 3; ++i) {
        const double gap = std::max(0.0, std::max(a.mins[i] - b.maxs[i], b.mins[i] - a.maxs[i]));
        sum += gap * gap;
    }
    return std::sqrt(sum);
}

// What the flow from one source has worked out for a passage it reached:
// the part of the source still seeing through it, the part of the
// passage's polygon lit from there, and what may lie beyond it. Paths
// arriving at one passage are merged (hulls of their polygons), so the
// flow costs a few visits per passage instead of one per path.
struct Reached {
    FlowWinding source, window;
    Bits might;
    int merges = 0;
    bool queued = false;
};

// A worker's memory, reused by every source it takes.
struct FlowScratch {
    std::deque<Reached> reached;  // a deque: references stay valid while it grows
    size_t used = 0;
    std::vector<int> slotOf, stampOf;  // per passage: its slot while stampOf is the stamp
    int stamp = 0;
    std::vector<int> queue;
    Bits nextMight, known;
    FlowWinding target, narrowed, clip, merged;
    std::vector<Plane> ahead;
    size_t view = 0;  // results of the passages before this place in the order may be used
};

// Which places in the flow's order are finished, so a passage can wait
// until those it may use are.
class OrderFrontier {
public:
    explicit OrderFrontier(size_t count) : finished(count, 0), stepsBefore(count + 1, 0), stepsAt(count, 0) {}

    // Waits until every place below `view` is finished; returns the flow
    // steps those took.
    long long waitFor(size_t view)
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return below >= view; });
        return stepsBefore[view];
    }

    void finish(size_t place, long long steps)
    {
        std::lock_guard<std::mutex> lock(mutex);
        finished[place] = 1;
        stepsAt[place] = steps;
        const size_t before = below;
        for (; below < finished.size() && finished[below]; ++below) stepsBefore[below + 1] = stepsBefore[below] + stepsAt[below];
        if (below != before) changed.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<char> finished;
    std::vector<long long> stepsBefore, stepsAt;
    size_t below = 0;  // every place before it is finished
};

} // namespace mapc
