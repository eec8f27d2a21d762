// The portal flow that works out which clusters can see which.
#include "Visibility.h"
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <cstdio>
#include <deque>
#include <unordered_map>
#include "FlowParts.h"
#include "FlowWinding.h"
#include "Parallel.h"

namespace mapc {

namespace {

// Separating planes are pushed this far towards the source so sight lines
// grazing an edge are kept.
constexpr double kSeparatorSlack = 0.1;

// The rough sets cost a check per pair of facing portals; past this many
// (tens of thousands of open leaves), or past the flow's time, every
// cluster sees every other.
constexpr long long kMaxRoughSteps = 400000000LL;
// A passage reached along paths whose polygons keep growing is widened to
// its whole polygon after this many merges, which ends the flow's visits.
// Widening early costs more than it saves: the wider sets prune less.
constexpr int kMaxMerges = 12;
// Flow steps spent finding every cluster anew; after them the flow takes
// what finished rows say (quicker, a little wider). Counted in steps, not
// seconds, so the same source always gives the same sets.
constexpr long long kCarefulSteps = 100000000LL;
// A passage uses the results of the passages at least this many places
// before it in the shared order, waiting for them when needed: what it may
// use never hangs on which thread got there first, nor on how many there are.
constexpr size_t kLag = 32;
// Polygons this close to containing another are taken to contain it.
constexpr double kContainSlack = 0.01;

class PortalFlow {
public:
    PortalFlow(const Tree& t, const PlaneSet& pl, const PortalSet& ps, double far, Progress* pr)
        : tree(t), planes(pl), portals(ps), farPlane(far), progress(pr)
    {
    }

    // Fills every row; false when the step budget ran out, in which case the
    // passages not worked out in full keep their rough (wider) sets.
    bool run(VisData& out, int threads, double seconds)
    {
        const Clock::time_point start = Clock::now();
        Clock::time_point deadline = start + std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
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

        // Cluster by cluster, narrow ones first: their finished rows then
        // prune the wide ones (see flowOne), and within a cluster narrow
        // passages first, whose finished sets prune the wide ones.
        std::vector<int> width(passages.size());
        for (size_t i = 0; i < passages.size(); ++i)
            for (uint64_t w : passages[i].mightSee) width[i] += __builtin_popcountll(w);
        std::vector<long long> clusterWidth(static_cast<size_t>(clusterCount), 0);
        std::vector<int> clusterOrder(static_cast<size_t>(clusterCount));
        for (int c = 0; c < clusterCount; ++c) {
            std::vector<int>& out = outgoing[static_cast<size_t>(c)];
            std::stable_sort(out.begin(), out.end(), [&](int a, int b) { return width[static_cast<size_t>(a)] < width[static_cast<size_t>(b)]; });
            for (int pi : out) clusterWidth[static_cast<size_t>(c)] += width[static_cast<size_t>(pi)];
            clusterOrder[static_cast<size_t>(c)] = c;
        }
        std::stable_sort(clusterOrder.begin(), clusterOrder.end(), [&](int a, int b) {
            return clusterWidth[static_cast<size_t>(a)] < clusterWidth[static_cast<size_t>(b)];
        });
        if (progress) progress->stage("visibility flow", static_cast<long long>(passages.size()));
        done.reset(new std::atomic<char>[passages.size()]);
        for (size_t i = 0; i < passages.size(); ++i) done[i].store(0);
        rows.assign(static_cast<size_t>(clusterCount), Bits(words, 0));
        rowDone.reset(new std::atomic<char>[static_cast<size_t>(clusterCount)]);
        for (int c = 0; c < clusterCount; ++c) rowDone[c].store(0);
        std::vector<FlowScratch> scratch(static_cast<size_t>(std::max(threads, 1)));
        for (FlowScratch& sc : scratch) {
            sc.slotOf.assign(passages.size(), -1);
            sc.stampOf.assign(passages.size(), 0);
            sc.nextMight.assign(words, 0);
            sc.known.assign(words, 0);
        }
        // Passages are shared out one by one (a cluster may have hundreds);
        // whoever finishes a cluster's last one makes its row.
        std::vector<int> order;
        order.reserve(passages.size());
        place.assign(passages.size(), 0);
        lastPlace.assign(static_cast<size_t>(clusterCount), 0);
        std::unique_ptr<std::atomic<int>[]> remaining(new std::atomic<int>[static_cast<size_t>(clusterCount)]);
        for (int c : clusterOrder) {
            const std::vector<int>& out = outgoing[static_cast<size_t>(c)];
            for (int pi : out) {
                place[static_cast<size_t>(pi)] = order.size();
                order.push_back(pi);
            }
            lastPlace[static_cast<size_t>(c)] = order.size();  // one past its last passage
            remaining[c].store(static_cast<int>(out.size()));
            mark(rows[static_cast<size_t>(c)], c);
            if (out.empty()) rowDone[c].store(1);
        }
        OrderFrontier frontier(order.size());
        forEachIndexOnWorker(order.size(), threads, [&](size_t k, int worker) {
            const int pi = order[k];
            FlowScratch& sc = scratch[static_cast<size_t>(worker)];
            sc.view = k > kLag ? k - kLag : 0;
            long long steps = 0;
            // Finished even when the flow throws, so no one waits for it forever.
            struct Report {
                OrderFrontier& frontier;
                size_t k;
                long long& steps;
                ~Report() { frontier.finish(k, steps); }
            } report{frontier, k, steps};
            const bool careful = frontier.waitFor(sc.view) <= kCarefulSteps;
            steps = flowOne(static_cast<size_t>(pi), sc, careful, deadline);
            if (progress) progress->advance();
            const int c = passages[static_cast<size_t>(pi)].from;
            if (remaining[c].fetch_sub(1) != 1) return;
            bool all = true;
            Bits& row = rows[static_cast<size_t>(c)];
            for (int q : outgoing[static_cast<size_t>(c)]) {
                const bool finished = done[static_cast<size_t>(q)].load();
                all = all && finished;
                const Bits& b = finished ? passages[static_cast<size_t>(q)].vis : passages[static_cast<size_t>(q)].mightSee;
                for (size_t w = 0; w < words; ++w) row[w] |= b[w];
            }
            if (all) rowDone[c].store(1, std::memory_order_release);
        });
        unfinished = coarse.load();
        for (size_t i = 0; i < passages.size(); ++i) unfinished += !done[i].load();

        out.clusters = clusterCount;
        out.bytesPerRow = (out.clusters + 7) / 8;
        out.bits.assign(static_cast<size_t>(out.clusters) * out.bytesPerRow, 0);
        for (int cluster = 0; cluster < clusterCount; ++cluster) {
            const Bits& seen = rows[static_cast<size_t>(cluster)];
            uint8_t* row = out.bits.data() + static_cast<size_t>(cluster) * out.bytesPerRow;
            for (int oc = 0; oc < out.clusters; ++oc)
                if (test(seen, oc)) row[oc >> 3] |= static_cast<uint8_t>(1 << (oc & 7));
        }
        keepMutual(out);
        return unfinished == 0;
    }

    int unfinished = 0;  // passages left with their rough sets

private:
    // Works out one passage (index into passages) unless time is up, using
    // the rows and passages finished before sc.view; returns its steps.
    long long flowOne(size_t index, FlowScratch& sc, bool careful, Clock::time_point deadline)
    {
        if (late.load(std::memory_order_relaxed)) return 0;
        StepCounter steps(deadline, late);
        Passage& p = passages[index];
        if (!p.fits) return 0;
        ++sc.stamp;
        sc.used = 0;
        sc.queue.clear();
        Bits seen(words, 0);
        mark(seen, p.to);
        // Sight goes both ways. A cluster whose row is finished and lacks
        // this passage's own cluster is not seen through the passage, nor
        // is anything seen across it. One whose row has it may be seen:
        // once the careful steps are spent the flow takes that (`known`) and
        // only looks for what lies beyond; before, it finds it again, as the
        // two rows then narrow each other (see keepMutual).
        const bool takeKnown = !careful;
        Bits might = p.mightSee;
        std::fill(sc.known.begin(), sc.known.end(), 0);
        for (size_t w = 0; w < words; ++w)
            for (uint64_t bits = might[w]; bits;) {
                const int c = static_cast<int>(w * 64) + __builtin_ctzll(bits);
                bits &= bits - 1;
                if (!rowUsable(c, sc.view)) continue;
                if (test(rows[static_cast<size_t>(c)], p.from)) {
                    if (takeKnown) mark(sc.known, c);
                }
                else
                    might[w] &= ~(uint64_t(1) << (c & 63));
            }
        expand(p, p.to, windings[static_cast<size_t>(p.winding)], nullptr, might, seen, sc, steps);
        for (size_t head = 0; head < sc.queue.size(); ++head) {
            const int pi = sc.queue[head];
            Reached& r = sc.reached[static_cast<size_t>(sc.slotOf[static_cast<size_t>(pi)])];
            r.queued = false;
            if (steps.spent()) {
                for (size_t w = 0; w < words; ++w) seen[w] |= r.might[w];  // cut short: the rest stays rough
                continue;
            }
            expand(p, passages[static_cast<size_t>(pi)].to, r.source, &r.window, r.might, seen, sc, steps);
        }
        if (steps.spent()) coarse.fetch_add(1);
        for (size_t w = 0; w < words; ++w) seen[w] |= sc.known[w];
        p.vis = std::move(seen);
        done[index].store(1, std::memory_order_release);
        return steps.steps;
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
    // when it is worked out before place `view`, the rough one otherwise.
    const Bits& passageSet(int pi, size_t view) const
    {
        const Passage& p = passages[static_cast<size_t>(pi)];
        return place[static_cast<size_t>(pi)] < view && done[static_cast<size_t>(pi)].load(std::memory_order_acquire) ? p.vis : p.mightSee;
    }

    // Whether a cluster's row is finished before place `view`.
    bool rowUsable(int cluster, size_t view) const
    {
        return lastPlace[static_cast<size_t>(cluster)] <= view && rowDone[cluster].load(std::memory_order_acquire);
    }

    // Whether all of passage `pi` lies beyond the far plane of every point
    // of `cluster`: a sight line through it is longer than that before it
    // even gets there.
    bool beyondFarPlane(int cluster, int pi) const
    {
        return farPlane > 0 &&
               boxGap(clusterBox[static_cast<size_t>(cluster)], shapes[static_cast<size_t>(pi)].box) > farPlane;
    }

    bool open(int leaf) const
    {
        const TreeNode& n = tree.nodes[static_cast<size_t>(leaf)];
        return n.cluster >= 0 && !n.solid;
    }

    void gather()
    {
        // A leaf is closed by its portals (to solid ones too), so they
        // give its box; the leaves' own boxes also hold their faces.
        clusterBox.assign(static_cast<size_t>(clusterCount), Bounds());
        for (const Portal& p : portals.portals) {
            if (p.plane < 0) continue;
            for (int leaf : p.leaves) {
                const int c = tree.nodes[static_cast<size_t>(leaf)].cluster;
                if (c >= 0)
                    for (const Vec3& v : p.winding) clusterBox[static_cast<size_t>(c)].add(v);
            }
        }
        // Portals between the same two clusters on one plane make one
        // opening, the hull of their polygons: fewer passages, and a wider
        // opening only sees more.
        struct Opening {
            int cluster[2];
            int plane;
            FlowWinding hull;
            bool fits;
        };
        std::vector<Opening> found;
        std::unordered_map<long long, size_t> latest;  // per cluster pair and plane: its last opening
        FlowWinding fw, merged;
        for (const Portal& p : portals.portals) {
            if (p.plane < 0 || !open(p.leaves[0]) || !open(p.leaves[1])) continue;
            const int c0 = tree.nodes[static_cast<size_t>(p.leaves[0])].cluster;
            const int c1 = tree.nodes[static_cast<size_t>(p.leaves[1])].cluster;
            if (c0 == c1) continue;  // inside one cluster
            const bool fits = fw.assign(p.winding);
            const long long key = (static_cast<long long>(c0) * clusterCount + c1) * planes.size() + p.plane;
            auto at = latest.find(key);
            if (fits && at != latest.end()) {
                Opening& o = found[at->second];
                if (o.fits && flowHull(o.hull, fw, planes[p.plane].normal, merged)) {
                    o.hull.copyFrom(merged);
                    continue;
                }
            }
            Opening o{{c0, c1}, p.plane, FlowWinding(), fits};
            if (fits) o.hull.copyFrom(fw);
            latest[key] = found.size();
            found.push_back(o);
            openings.push_back(p.winding);  // the hull's, once it is complete
        }
        outgoing.assign(static_cast<size_t>(clusterCount), {});
        for (size_t i = 0; i < found.size(); ++i) {
            const Opening& o = found[i];
            Winding& whole = openings[i];
            if (o.fits) whole.assign(o.hull.points, o.hull.points + o.hull.count);
            windings.push_back(o.hull);
            Vec3 centre = windingCenter(whole);
            double radius = 0;
            Bounds box;
            for (const Vec3& v : whole) {
                radius = std::max(radius, (v - centre).length());
                box.add(v);
            }
            for (int s = 0; s < 2; ++s) {
                Passage pass;
                pass.from = o.cluster[s];
                pass.to = o.cluster[s ^ 1];
                // cluster[0] is in front of the plane; going into it means facing back.
                pass.plane = s == 0 ? planes[o.plane] : planes[o.plane ^ 1];
                pass.plane = pass.plane.flipped();
                pass.winding = static_cast<int>(windings.size()) - 1;
                pass.fits = o.fits;
                pass.whole = &whole;
                outgoing[static_cast<size_t>(pass.from)].push_back(static_cast<int>(passages.size()));
                shapes.push_back({pass.plane, centre, radius, pass.to, box});
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
                if (beyondFarPlane(src.from, pi)) continue;
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
                    // A plane through a corner of a convex `b` that has a
                    // neighbour corner behind it splits `b`: most fail here.
                    if (sep.distanceTo(b.points[(j + 1) % b.count]) < -kOnEpsilon ||
                        sep.distanceTo(b.points[(j + b.count - 1) % b.count]) < -kOnEpsilon)
                        continue;
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

    // Follows sight from `source` through the polygon `pass` (none for the
    // source's own passage) across `cluster` to the passages out of it.
    void expand(const Passage& src, int cluster, const FlowWinding& source, const FlowWinding* pass,
                const Bits& might, Bits& seen, FlowScratch& sc, StepCounter& steps)
    {
        // Separators of the whole source hold for every part of it, so they
        // are found once for all the passages out of this cluster.
        bool haveAhead = false;
        for (int pi : outgoing[static_cast<size_t>(cluster)]) {
            if (!steps.step()) {
                for (size_t w = 0; w < words; ++w) seen[w] |= might[w];  // never too small
                return;
            }
            const Passage& p = passages[static_cast<size_t>(pi)];
            if (!test(might, p.to) || beyondFarPlane(src.from, pi)) continue;
            const Bits& through = passageSet(pi, sc.view);
            if ((test(seen, p.to) || test(sc.known, p.to)) && !anyNewBeyond(might, through, seen, sc.known)) continue;
            for (size_t w = 0; w < words; ++w) sc.nextMight[w] = might[w] & through[w];
            mark(sc.nextMight, p.to);
            if (!p.fits) {
                for (size_t w = 0; w < words; ++w) seen[w] |= sc.nextMight[w];  // too many corners to follow
                continue;
            }
            if (!clipFlow(windings[static_cast<size_t>(p.winding)], src.plane, sc.target)) continue;
            if (!clipFlow(source, p.plane.flipped(), sc.narrowed)) continue;
            if (pass) {
                if (!haveAhead) separators(source, *pass, sc.ahead, steps);
                haveAhead = true;
                if (!clipFlowAll(sc.target, sc.ahead, sc.clip)) continue;
            }
            mark(seen, p.to);
            arrive(src, pi, sc);
        }
    }

    // Records that sight reaches passage `pi` through sc.narrowed and
    // sc.target with sc.nextMight beyond, and queues it when that adds to
    // what was known of it.
    void arrive(const Passage& src, int pi, FlowScratch& sc)
    {
        const Passage& p = passages[static_cast<size_t>(pi)];
        const size_t at = static_cast<size_t>(pi);
        if (sc.stampOf[at] != sc.stamp) {
            if (sc.used == sc.reached.size()) sc.reached.emplace_back();
            Reached& r = sc.reached[sc.used];
            sc.stampOf[at] = sc.stamp;
            sc.slotOf[at] = static_cast<int>(sc.used++);
            r.source.copyFrom(sc.narrowed);
            r.window.copyFrom(sc.target);
            r.might = sc.nextMight;
            r.merges = 0;
            r.queued = true;
            sc.queue.push_back(pi);
            return;
        }
        Reached& r = sc.reached[static_cast<size_t>(sc.slotOf[at])];
        const bool grows = !flowContains(r.window, sc.target, p.plane.normal, kContainSlack) ||
                           !flowContains(r.source, sc.narrowed, src.plane.normal, kContainSlack);
        const bool more = anyNew(sc.nextMight, r.might);
        if (!grows && !more) return;
        for (size_t w = 0; w < words; ++w) r.might[w] |= sc.nextMight[w];
        if (grows) {
            bool hulls = ++r.merges <= kMaxMerges && flowHull(r.window, sc.target, p.plane.normal, sc.merged);
            if (hulls) r.window.copyFrom(sc.merged);
            hulls = hulls && flowHull(r.source, sc.narrowed, src.plane.normal, sc.merged);
            if (hulls) {
                r.source.copyFrom(sc.merged);
            } else {
                // As wide as it gets: the whole source, the passage's part in front of it.
                r.source.copyFrom(windings[static_cast<size_t>(src.winding)]);
                clipFlow(windings[static_cast<size_t>(p.winding)], src.plane, r.window);
                r.merges = kMaxMerges + 1;
            }
        }
        if (!r.queued) {
            r.queued = true;
            sc.queue.push_back(pi);
        }
    }

    const Tree& tree;
    const PlaneSet& planes;
    const PortalSet& portals;
    double farPlane;               // 0: sight has no end
    std::vector<Bounds> clusterBox;  // per cluster, for the far plane
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
    std::vector<FlowWinding> windings;  // one per opening
    std::vector<Winding> openings;      // the same, for the rough flood
    std::unique_ptr<std::atomic<char>[]> done;
    std::vector<Bits> rows;  // per cluster: what its passages see, once rowDone
    std::unique_ptr<std::atomic<char>[]> rowDone;
    std::vector<size_t> place;      // per passage: its place in the flow's order
    std::vector<size_t> lastPlace;  // per cluster: one past its last passage's place
    std::vector<std::vector<int>> outgoing;
};

} // namespace

void computeVisibility(const Tree& tree, const PlaneSet& planes, const PortalSet& portals,
                       bool everything, int threads, double seconds, double farPlane, Progress* progress,
                       VisData& out)
{
    out.cutShort = false;
    if (!everything) {
        PortalFlow flow(tree, planes, portals, farPlane, progress);
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
