#include "Visibility.h"
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <cstdio>
#include "Parallel.h"

namespace mapc {

namespace {

// Separating planes are pushed this far towards the source so sight lines
// grazing an edge are kept.
constexpr double kSeparatorSlack = 0.1;

// A passage whose flow takes more steps than this (a branching maze of
// small open leaves) is left with its rough set, so the others get
// the time.
constexpr long long kMaxPassageSteps = 4000000LL;
// The rough sets cost a check per pair of facing portals; past this many
// (tens of thousands of open leaves) every cluster sees every other.
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

// One way through a portal: from leaf `from` into leaf `to`; the plane faces `to`.
struct Passage {
    int from = -1, to = -1;
    Plane plane;
    const Winding* winding = nullptr;
    Vec3 centre;  // bounding sphere of the winding
    double radius = 0;
    Bits mightSee;
    Bits vis;  // set once the flow through it is finished
};

class PortalFlow {
public:
    PortalFlow(const Tree& t, const PlaneSet& pl, const PortalSet& ps) : tree(t), planes(pl), portals(ps) {}

    // Fills every row; false when the step budget ran out, in which case the
    // passages not worked out in full keep their rough (wider) sets.
    bool run(VisData& out, int threads, double seconds)
    {
        Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
        leafCount = static_cast<int>(tree.nodes.size());
        // Sets hold a bit per cluster (one per open leaf), not per node.
        bitOf.assign(static_cast<size_t>(leafCount), 0);
        int clusters = 0;
        for (int i = 0; i < leafCount; ++i) {
            bitOf[static_cast<size_t>(i)] = tree.nodes[static_cast<size_t>(i)].cluster;
            clusters = std::max(clusters, tree.nodes[static_cast<size_t>(i)].cluster + 1);
        }
        words = static_cast<size_t>(clusters + 63) / 64;
        gather();
        std::atomic<long long> roughSpent{0};
        forEachIndex(passages.size(), threads, [&](size_t i) {
            if (roughSpent.load(std::memory_order_relaxed) <= kMaxRoughSteps) roughFlood(passages[i], roughSpent);
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
        done.reset(new std::atomic<char>[passages.size()]);
        for (size_t i = 0; i < passages.size(); ++i) done[i].store(0);
        forEachIndex(order.size(), threads, [&](size_t k) {
            if (late.load(std::memory_order_relaxed)) return;
            StepCounter steps(deadline, late);
            Passage& p = passages[static_cast<size_t>(order[k])];
            std::vector<char> onPath(static_cast<size_t>(leafCount), 0);
            Bits seen(words, 0);
            mark(seen, p.to);
            onPath[static_cast<size_t>(p.from)] = 1;
            flow(p, p.to, *p.winding, nullptr, p.mightSee, seen, onPath, steps, 0);
            if (steps.spent()) return;  // cut short somewhere inside: not trusted
            p.vis = std::move(seen);
            done[static_cast<size_t>(order[k])].store(1, std::memory_order_release);
        });
        unfinished = 0;
        for (size_t i = 0; i < passages.size(); ++i) unfinished += !done[i].load();

        out.clusters = 0;
        for (const TreeNode& n : tree.nodes)
            if (n.cluster >= 0) out.clusters = std::max(out.clusters, n.cluster + 1);
        out.bytesPerRow = (out.clusters + 7) / 8;
        out.bits.assign(static_cast<size_t>(out.clusters) * out.bytesPerRow, 0);
        for (int leaf = 0; leaf < leafCount; ++leaf) {
            int cluster = tree.nodes[static_cast<size_t>(leaf)].cluster;
            if (cluster < 0) continue;
            Bits seen(words, 0);
            mark(seen, leaf);
            for (int pi : outgoing[static_cast<size_t>(leaf)]) {
                const Bits& b = passageSet(pi);
                for (size_t w = 0; w < words; ++w) seen[w] |= b[w];
            }
            uint8_t* row = out.bits.data() + static_cast<size_t>(cluster) * out.bytesPerRow;
            for (int oc = 0; oc < out.clusters; ++oc)
                if ((seen[static_cast<size_t>(oc) >> 6] >> (oc & 63)) & 1) row[oc >> 3] |= static_cast<uint8_t>(1 << (oc & 7));
        }
        return unfinished == 0;
    }

    int unfinished = 0;  // passages left with their rough sets

private:
    // Of a leaf with a cluster.
    void mark(Bits& b, int leaf) const
    {
        int i = bitOf[static_cast<size_t>(leaf)];
        b[static_cast<size_t>(i) >> 6] |= uint64_t(1) << (i & 63);
    }
    bool test(const Bits& b, int leaf) const
    {
        int i = bitOf[static_cast<size_t>(leaf)];
        return (b[static_cast<size_t>(i) >> 6] >> (i & 63)) & 1;
    }

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
        outgoing.assign(static_cast<size_t>(leafCount), {});
        for (const Portal& p : portals.portals) {
            if (p.plane < 0 || !open(p.leaves[0]) || !open(p.leaves[1])) continue;
            for (int s = 0; s < 2; ++s) {
                Passage pass;
                pass.from = p.leaves[s];
                pass.to = p.leaves[s ^ 1];
                // leaves[0] is in front of the plane; going into it means facing back.
                pass.plane = s == 0 ? planes[p.plane] : planes[p.plane ^ 1];
                pass.plane = pass.plane.flipped();
                pass.winding = &p.winding;
                pass.centre = windingCenter(p.winding);
                for (const Vec3& v : p.winding) pass.radius = std::max(pass.radius, (v - pass.centre).length());
                outgoing[static_cast<size_t>(pass.from)].push_back(static_cast<int>(passages.size()));
                passages.push_back(std::move(pass));
            }
        }
    }

    // Leaves reachable through passages that lie at least partly in front of
    // the source and see it at least partly behind them.
    void roughFlood(Passage& src, std::atomic<long long>& spent)
    {
        long long checks = 0;
        src.mightSee.assign(words, 0);
        std::vector<int> stack{src.to};
        mark(src.mightSee, src.to);
        while (!stack.empty()) {
            int leaf = stack.back();
            stack.pop_back();
            for (int pi : outgoing[static_cast<size_t>(leaf)]) {
                const Passage& p = passages[static_cast<size_t>(pi)];
                if (test(src.mightSee, p.to)) continue;
                if (++checks == 4096) {
                    if ((spent += checks) > kMaxRoughSteps) return;
                    checks = 0;
                }
                // Bounding spheres settle most cases without the points.
                double d = src.plane.distanceTo(p.centre);
                if (d + p.radius < kOnEpsilon) continue;  // wholly behind the source or on it
                if (d - p.radius <= kOnEpsilon) {
                    Side a = classifyWinding(*p.winding, src.plane);
                    if (a == Side::Back || a == Side::On) continue;
                }
                double e = p.plane.distanceTo(src.centre);
                if (e - src.radius > -kOnEpsilon) {
                    Side b = classifyWinding(*src.winding, p.plane);
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
    void separators(const Winding& source, const Winding& pass, std::vector<Plane>& keeps, StepCounter& steps)
    {
        keeps.clear();
        for (int round = 0; round < 2; ++round) {
            const Winding& a = round == 0 ? source : pass;
            const Winding& b = round == 0 ? pass : source;
            // `a` is convex and flat, so a plane through its edge has all of
            // it on the side of its centre.
            Vec3 aCentre = windingCenter(a);
            for (size_t i = 0; i < a.size(); ++i) {
                const Vec3& e0 = a[i];
                const Vec3& e1 = a[(i + 1) % a.size()];
                for (const Vec3& v : b) {
                    steps.step();
                    Vec3 n = (e1 - e0).cross(v - e0);
                    double len = n.length();
                    if (len < 1e-6) continue;
                    Plane sep{n * (1.0 / len), 0.0};
                    sep.dist = sep.normal.dot(e0);
                    // `a` lies on one side, `b` must lie on the other.
                    double side = sep.distanceTo(aCentre);
                    if (std::fabs(side) <= kOnEpsilon) continue;  // a lies in the plane
                    if (side > 0) sep = sep.flipped();
                    bool split = false;
                    for (const Vec3& p : b)
                        if (sep.distanceTo(p) < -kOnEpsilon) { split = true; break; }
                    // A tiny edge leaves the plane's tilt to rounding: check all of `a` too.
                    for (size_t k = 0; k < a.size() && !split; ++k) split = sep.distanceTo(a[k]) > kOnEpsilon;
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

    static void clipToAll(Winding& w, const std::vector<Plane>& keeps)
    {
        for (const Plane& keep : keeps) {
            clipWinding(w, keep, 0.0);
            if (w.empty()) return;
        }
    }

    void flow(const Passage& src, int leaf, const Winding& source, const Winding* pass, const Bits& might,
              Bits& seen, std::vector<char>& onPath, StepCounter& steps, int depth)
    {
        if (!steps.step()) return;
        if (depth >= kMaxFlowDepth) {
            for (size_t w = 0; w < words; ++w) seen[w] |= might[w];  // never too small
            return;
        }
        onPath[static_cast<size_t>(leaf)] = 1;
        // Separators of the whole source hold for every part of it, so they
        // are found once for all the passages out of this leaf.
        std::vector<Plane> ahead, behind;
        bool haveAhead = false;
        for (int pi : outgoing[static_cast<size_t>(leaf)]) {
            const Passage& p = passages[static_cast<size_t>(pi)];
            if (onPath[static_cast<size_t>(p.to)]) continue;
            if (!test(might, p.to)) continue;
            const Bits& through = passageSet(pi);
            Bits nextMight(words);
            for (size_t w = 0; w < words; ++w) nextMight[w] = might[w] & through[w];
            mark(nextMight, p.to);
            if (test(seen, p.to) && !anyNew(nextMight, seen)) continue;

            Winding target = *p.winding;
            clipWinding(target, src.plane, 0.0);
            if (target.empty()) continue;
            Winding narrowed = source;
            clipWinding(narrowed, p.plane.flipped(), 0.0);
            if (narrowed.empty()) continue;
            if (pass) {
                if (!haveAhead) separators(source, *pass, ahead, steps);
                haveAhead = true;
                clipToAll(target, ahead);
                if (target.empty()) continue;
                separators(target, *pass, behind, steps);
                clipToAll(narrowed, behind);
                if (narrowed.empty()) continue;
            }
            mark(seen, p.to);
            flow(src, p.to, narrowed, &target, nextMight, seen, onPath, steps, depth + 1);
        }
        onPath[static_cast<size_t>(leaf)] = 0;
    }

    const Tree& tree;
    const PlaneSet& planes;
    const PortalSet& portals;
    int leafCount = 0;
    size_t words = 0;
    std::vector<int> bitOf;  // a node's cluster
public:
    bool roughTooCostly = false;  // not even the rough sets could be made

private:
    std::atomic<bool> late{false};  // the flow's time is up
    std::vector<Passage> passages;
    std::unique_ptr<std::atomic<char>[]> done;
    std::vector<std::vector<int>> outgoing;
};

} // namespace

void computeVisibility(const Tree& tree, const PlaneSet& planes, const PortalSet& portals,
                       bool everything, int threads, double seconds, VisData& out)
{
    out.cutShort = false;
    if (!everything) {
        PortalFlow flow(tree, planes, portals);
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
