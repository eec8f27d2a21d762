// The portal flow that works out which clusters can see which.
#include "Visibility.h"
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <cstdio>
#include "FlowWinding.h"
#include "Parallel.h"

namespace mapc {

namespace {

// Separating planes are pushed this far towards the source so sight lines
// grazing an edge are kept.
constexpr double kSeparatorSlack = 0.1;

// A passage whose flow takes more steps than this (a branching maze of
// small open leaves) finishes the branches left with their rough sets, so
// the others get the time.
constexpr long long kMaxPassageSteps = 4000000LL;
// The rough sets cost a check per pair of facing portals; past this many
// (tens of thousands of open leaves), or past the flow's time, every
// cluster sees every other.
constexpr long long kMaxRoughSteps = 400000000LL;
// Deeper chains of open leaves (hostile sources) take the rough set from
// there on instead of recursing further on a worker thread's stack.
constexpr int kMaxFlowDepth = 512;

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

bool anyNew(const Bits& might, const Bits& seen)
{
    for (size_t i = 0; i < might.size(); ++i)
        if (might[i] & ~seen[i]) return true;
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
};

// Memory of one flow step, reused by every passage a worker takes.
struct FlowFrame {
    Bits nextMight;
    FlowWinding target, narrowed;
    std::vector<Plane> ahead, behind;
};

struct FlowScratch {
    std::vector<FlowFrame> frames;  // reserved up front: references stay valid
    std::vector<char> onPath;
    FlowWinding clip;
};

class PortalFlow {
public:
    PortalFlow(const Tree& t, const PlaneSet& pl, const PortalSet& ps, Progress* pr)
        : tree(t), planes(pl), portals(ps), progress(pr)
    {
    }

    // Fills every row; false when the step budget ran out, in which case the
    // passages not worked out in full keep their rough (wider) sets.
    bool run(VisData& out, int threads, double seconds)
    {
        Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
        // The flow runs from cluster to cluster: a cluster's leaves are all
        // open space, so lines through it are only ever assumed clear.
        clusterCount = 0;
        for (const TreeNode& n : tree.nodes) clusterCount = std::max(clusterCount, n.cluster + 1);
        words = static_cast<size_t>(clusterCount + 63) / 64;
        gather();
        if (progress) progress->stage("visibility rough sets");
        std::atomic<long long> roughSpent{0};
        forEachIndex(passages.size(), threads, [&](size_t i) {
            if (roughSpent.load(std::memory_order_relaxed) <= kMaxRoughSteps) roughFlood(i, roughSpent, deadline);
        });
        if (roughSpent > kMaxRoughSteps) {
            roughTooCostly = true;
            unfinished = static_cast<int>(passages.size());
            return false;
        }

        // Narrow passages first: their finished sets then prune the wide ones.
        std::vector<int> order(passages.size());
        std::vector<int> width(passages.size());
        for (size_t i = 0; i < passages.size(); ++i) {
            order[i] = static_cast<int>(i);
            for (uint64_t w : passages[i].mightSee) width[i] += __builtin_popcountll(w);
        }
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return width[static_cast<size_t>(a)] < width[static_cast<size_t>(b)]; });
        if (progress) progress->stage("visibility flow", static_cast<long long>(passages.size()));
        done.reset(new std::atomic<char>[passages.size()]);
        for (size_t i = 0; i < passages.size(); ++i) done[i].store(0);
        std::vector<FlowScratch> scratch(static_cast<size_t>(std::max(threads, 1)));
        for (FlowScratch& sc : scratch) {
            sc.frames.reserve(kMaxFlowDepth + 1);
            sc.onPath.assign(static_cast<size_t>(clusterCount), 0);
        }
        forEachIndexOnWorker(order.size(), threads, [&](size_t k, int worker) {
            flowOne(static_cast<size_t>(order[k]), scratch[static_cast<size_t>(worker)], deadline);
            if (progress) progress->advance();
        });
        unfinished = coarse.load();
        for (size_t i = 0; i < passages.size(); ++i) unfinished += !done[i].load();

        out.clusters = clusterCount;
        out.bytesPerRow = (out.clusters + 7) / 8;
        out.bits.assign(static_cast<size_t>(out.clusters) * out.bytesPerRow, 0);
        for (int cluster = 0; cluster < clusterCount; ++cluster) {
            Bits seen(words, 0);
            mark(seen, cluster);
            for (int pi : outgoing[static_cast<size_t>(cluster)]) {
                const Bits& b = passageSet(pi);
                for (size_t w = 0; w < words; ++w) seen[w] |= b[w];
            }
            uint8_t* row = out.bits.data() + static_cast<size_t>(cluster) * out.bytesPerRow;
            for (int oc = 0; oc < out.clusters; ++oc)
                if ((seen[static_cast<size_t>(oc) >> 6] >> (oc & 63)) & 1) row[oc >> 3] |= static_cast<uint8_t>(1 << (oc & 7));
        }
        keepMutual(out);
        return unfinished == 0;
    }

    int unfinished = 0;  // passages left with their rough sets

private:
    // Works out one passage (index into passages) unless time is up.
    void flowOne(size_t index, FlowScratch& sc, Clock::time_point deadline)
    {
        if (late.load(std::memory_order_relaxed)) return;
        StepCounter steps(deadline, late);
        Passage& p = passages[index];
        if (!p.fits) return;
        std::fill(sc.onPath.begin(), sc.onPath.end(), 0);
        Bits seen(words, 0);
        mark(seen, p.to);
        sc.onPath[static_cast<size_t>(p.from)] = 1;
        flow(p, p.to, windings[static_cast<size_t>(p.winding)], nullptr, p.mightSee, seen, sc, steps, 0);
        // Cut short: the branches not followed kept their rough sets,
        // so the set is wider than it could be but never too small.
        if (steps.spent()) coarse.fetch_add(1);
        p.vis = std::move(seen);
        done[index].store(1, std::memory_order_release);
    }

    // Sight goes both ways: a cluster is kept in a row only when the row of
    // that cluster keeps this one too. Each row holds every cluster truly
    // seen, so both do and the pair stays; a rough row is narrowed by the
    // finished ones.
    static void keepMutual(VisData& v)
    {
        for (int a = 0; a < v.clusters; ++a)
            for (int b = a + 1; b < v.clusters; ++b) {
                if (v.visible(a, b) == v.visible(b, a)) continue;
                v.bits[static_cast<size_t>(a) * v.bytesPerRow + (b >> 3)] &= static_cast<uint8_t>(~(1 << (b & 7)));
                v.bits[static_cast<size_t>(b) * v.bytesPerRow + (a >> 3)] &= static_cast<uint8_t>(~(1 << (a & 7)));
            }
    }

    static void mark(Bits& b, int cluster) { b[static_cast<size_t>(cluster) >> 6] |= uint64_t(1) << (cluster & 63); }
    static bool test(const Bits& b, int cluster) { return (b[static_cast<size_t>(cluster) >> 6] >> (cluster & 63)) & 1; }

    // What a sight line through the passage may reach: the finished set
    // once it is worked out, the rough one before.
    const Bits& passageSet(int pi) const
    {
        const Passage& p = passages[static_cast<size_t>(pi)];
        return done[static_cast<size_t>(pi)].load(std::memory_order_acquire) ? p.vis : p.mightSee;
    }

    bool open(int leaf) const
    {
        const TreeNode& n = tree.nodes[static_cast<size_t>(leaf)];
        return n.cluster >= 0 && !n.solid;
    }

    void gather()
    {
        outgoing.assign(static_cast<size_t>(clusterCount), {});
        for (const Portal& p : portals.portals) {
            if (p.plane < 0 || !open(p.leaves[0]) || !open(p.leaves[1])) continue;
            const int cluster[2] = {tree.nodes[static_cast<size_t>(p.leaves[0])].cluster,
                                    tree.nodes[static_cast<size_t>(p.leaves[1])].cluster};
            if (cluster[0] == cluster[1]) continue;  // inside one cluster
            FlowWinding fw;
            bool fits = fw.assign(p.winding);
            windings.push_back(fw);
            Vec3 centre = windingCenter(p.winding);
            double radius = 0;
            for (const Vec3& v : p.winding) radius = std::max(radius, (v - centre).length());
            for (int s = 0; s < 2; ++s) {
                Passage pass;
                pass.from = cluster[s];
                pass.to = cluster[s ^ 1];
                // leaves[0] is in front of the plane; going into it means facing back.
                pass.plane = s == 0 ? planes[p.plane] : planes[p.plane ^ 1];
                pass.plane = pass.plane.flipped();
                pass.winding = static_cast<int>(windings.size()) - 1;
                pass.fits = fits;
                pass.whole = &p.winding;
                outgoing[static_cast<size_t>(pass.from)].push_back(static_cast<int>(passages.size()));
                shapes.push_back({pass.plane, centre, radius, pass.to});
                passages.push_back(std::move(pass));
            }
        }
    }

    // Leaves reachable through passages that lie at least partly in front of
    // the source and see it at least partly behind them.
    void roughFlood(size_t index, std::atomic<long long>& spent, Clock::time_point deadline)
    {
        Passage& src = passages[index];
        const PassageShape& from = shapes[index];
        long long checks = 0;
        src.mightSee.assign(words, 0);
        std::vector<int> stack{src.to};
        mark(src.mightSee, src.to);
        while (!stack.empty()) {
            int at = stack.back();
            stack.pop_back();
            for (int pi : outgoing[static_cast<size_t>(at)]) {
                const PassageShape& p = shapes[static_cast<size_t>(pi)];
                if (test(src.mightSee, p.to)) continue;
                if (++checks == 4096) {
                    if ((spent += checks) > kMaxRoughSteps) return;
                    // Out of time before even the rough sets: all stay visible.
                    if (Clock::now() > deadline) {
                        spent = kMaxRoughSteps + 1;
                        return;
                    }
                    checks = 0;
                }
                // Bounding spheres settle most cases without the points.
                double d = from.plane.distanceTo(p.centre);
                if (d + p.radius < kOnEpsilon) continue;  // wholly behind the source or on it
                if (d - p.radius <= kOnEpsilon) {
                    Side a = classifyWinding(*passages[static_cast<size_t>(pi)].whole, from.plane);
                    if (a == Side::Back || a == Side::On) continue;
                }
                double e = p.plane.distanceTo(from.centre);
                if (e - from.radius > -kOnEpsilon) {
                    Side b = classifyWinding(*src.whole, p.plane);
                    if (b == Side::Front || b == Side::On) continue;
                }
                mark(src.mightSee, p.to);
                stack.push_back(p.to);
            }
        }
        spent += checks;
    }

    // The planes that separate `source` from `pass`, turned to keep the
    // side where sight lines from `source` through `pass` go on.
    static void separators(const FlowWinding& source, const FlowWinding& pass, std::vector<Plane>& keeps,
                           StepCounter& steps)
    {
        keeps.clear();
        for (int round = 0; round < 2; ++round) {
            const FlowWinding& a = round == 0 ? source : pass;
            const FlowWinding& b = round == 0 ? pass : source;
            // `a` is convex and flat, so a plane through its edge has all of
            // it on the side of its centre.
            Vec3 aCentre = a.centre();
            steps.step(a.count * b.count);
            for (int i = 0; i < a.count; ++i) {
                const Vec3& e0 = a.points[i];
                const Vec3& e1 = a.points[(i + 1) % a.count];
                const Vec3 edge = e1 - e0;
                for (int j = 0; j < b.count; ++j) {
                    Vec3 n = edge.cross(b.points[j] - e0);
                    double len = n.length();
                    if (len < 1e-6) continue;
                    Plane sep{n * (1.0 / len), 0.0};
                    sep.dist = sep.normal.dot(e0);
                    // `a` lies on one side, `b` must lie on the other.
                    double side = sep.distanceTo(aCentre);
                    if (std::fabs(side) <= kOnEpsilon) continue;  // a lies in the plane
                    if (side > 0) sep = sep.flipped();
                    bool split = false;
                    for (int k = 0; k < b.count && !split; ++k) split = sep.distanceTo(b.points[k]) < -kOnEpsilon;
                    // A tiny edge leaves the plane's tilt to rounding: check all of `a` too.
                    for (int k = 0; k < a.count && !split; ++k) split = sep.distanceTo(a.points[k]) > kOnEpsilon;
                    if (split) continue;
                    // Lines from the source through the pass keep moving from
                    // the source's side to the pass's side: beyond the pass
                    // they stay on the pass's side of the plane.
                    Plane keep = round == 0 ? sep : sep.flipped();
                    keep.dist -= kSeparatorSlack;
                    keeps.push_back(keep);
                }
            }
        }
    }

    void flow(const Passage& src, int cluster, const FlowWinding& source, const FlowWinding* pass, const Bits& might,
              Bits& seen, FlowScratch& sc, StepCounter& steps, int depth)
    {
        if (!steps.step() || depth >= kMaxFlowDepth) {
            for (size_t w = 0; w < words; ++w) seen[w] |= might[w];  // never too small
            return;
        }
        if (sc.frames.size() <= static_cast<size_t>(depth)) {
            sc.frames.emplace_back();
            sc.frames.back().nextMight.assign(words, 0);
        }
        FlowFrame& f = sc.frames[static_cast<size_t>(depth)];
        sc.onPath[static_cast<size_t>(cluster)] = 1;
        // Separators of the whole source hold for every part of it, so they
        // are found once for all the passages out of this cluster.
        bool haveAhead = false;
        for (int pi : outgoing[static_cast<size_t>(cluster)]) {
            const Passage& p = passages[static_cast<size_t>(pi)];
            if (sc.onPath[static_cast<size_t>(p.to)]) continue;
            if (!test(might, p.to)) continue;
            const Bits& through = passageSet(pi);
            for (size_t w = 0; w < words; ++w) f.nextMight[w] = might[w] & through[w];
            mark(f.nextMight, p.to);
            if (test(seen, p.to) && !anyNew(f.nextMight, seen)) continue;
            if (!p.fits) {
                for (size_t w = 0; w < words; ++w) seen[w] |= f.nextMight[w];  // too many corners to follow
                continue;
            }

            if (!clipFlow(windings[static_cast<size_t>(p.winding)], src.plane, f.target)) continue;
            if (!clipFlow(source, p.plane.flipped(), f.narrowed)) continue;
            if (pass) {
                if (!haveAhead) separators(source, *pass, f.ahead, steps);
                haveAhead = true;
                if (!clipFlowAll(f.target, f.ahead, sc.clip)) continue;
                separators(f.target, *pass, f.behind, steps);
                if (!clipFlowAll(f.narrowed, f.behind, sc.clip)) continue;
            }
            mark(seen, p.to);
            flow(src, p.to, f.narrowed, &f.target, f.nextMight, seen, sc, steps, depth + 1);
            if (steps.spent()) {
                for (size_t w = 0; w < words; ++w) seen[w] |= might[w];  // the rest stays rough
                break;
            }
        }
        sc.onPath[static_cast<size_t>(cluster)] = 0;
    }

    const Tree& tree;
    const PlaneSet& planes;
    const PortalSet& portals;
    Progress* progress;
    int clusterCount = 0;
    size_t words = 0;
public:
    bool roughTooCostly = false;  // not even the rough sets could be made

private:
    std::atomic<bool> late{false};  // the flow's time is up
    std::atomic<int> coarse{0};     // passages cut short by their step cap
    std::vector<Passage> passages;
    std::vector<PassageShape> shapes;
    std::vector<FlowWinding> windings;  // one per portal
    std::unique_ptr<std::atomic<char>[]> done;
    std::vector<std::vector<int>> outgoing;
};

} // namespace

void computeVisibility(const Tree& tree, const PlaneSet& planes, const PortalSet& portals,
                       bool everything, int threads, double seconds, Progress* progress, VisData& out)
{
    out.cutShort = false;
    if (!everything) {
        PortalFlow flow(tree, planes, portals, progress);
        out.cutShort = !flow.run(out, threads, seconds);
        out.unfinished = flow.unfinished;
        if (!flow.roughTooCostly) return;
    }
    int clusters = 0;
    for (const TreeNode& n : tree.nodes)
        if (n.isLeaf() && n.cluster >= 0) clusters = std::max(clusters, n.cluster + 1);
    out.clusters = clusters;
    out.bytesPerRow = (clusters + 7) / 8;
    out.bits.assign(static_cast<size_t>(clusters) * out.bytesPerRow, 0xff);
}

} // namespace mapc
