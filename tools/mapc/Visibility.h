#pragma once
// The cluster visibility rows and the pass that fills them.
#include <cstdint>
#include <vector>
#include "BspTree.h"
#include "Portals.h"
#include "Progress.h"

namespace mapc {

// One row of bits per cluster: bit j of row i is set when cluster j may be
// seen from cluster i.
struct VisData {
    int clusters = 0;
    int bytesPerRow = 0;
    std::vector<uint8_t> bits;
    bool cutShort = false;  // the portal flow ran out of time or steps: some rows are rougher
    int unfinished = 0;     // passages left with their rough sets

    bool visible(int from, int to) const
    {
        return (bits[static_cast<size_t>(from) * bytesPerRow + (to >> 3)] >> (to & 7)) & 1;
    }
};

// Potentially visible sets by portal flow: a cluster sees another when a
// sight line can pass the chain of portals between them. With `everything`
// (a leak), or when even the rough sets cost too much, every cluster sees
// every other. Passages are worked on `threads` threads for at most
// `seconds`; those not finished by then keep wider (still safe) sets.
// `progress` (may be null) hears of each finished passage. With a
// `farPlane` above 0 (a fogged level's sight distance) a cluster wholly
// farther than that from another does not see it.
void computeVisibility(const Tree& tree, const PlaneSet& planes, const PortalSet& portals,
                       bool everything, int threads, double seconds, double farPlane, Progress* progress,
                       VisData& out);

} // namespace mapc
