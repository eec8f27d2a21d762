#pragma once
#include <cstdint>
#include <vector>
#include "BspTree.h"
#include "Portals.h"

namespace mapc {

// One row of bits per cluster: bit j of row i is set when cluster j may be
// seen from cluster i.
struct VisData {
    int clusters = 0;
    int bytesPerRow = 0;
    std::vector<uint8_t> bits;
    bool cutShort = false;  // the portal flow was too costly; every cluster sees every other

    bool visible(int from, int to) const
    {
        return (bits[static_cast<size_t>(from) * bytesPerRow + (to >> 3)] >> (to & 7)) & 1;
    }
};

// Potentially visible sets by portal flow: a cluster sees another when a
// sight line can pass the chain of portals between them. With `everything`
// (a leak), or when the flow needs too many steps, every cluster sees every
// other. Source leaves are worked on `threads` threads.
void computeVisibility(const Tree& tree, const PlaneSet& planes, const PortalSet& portals,
                       bool everything, int threads, VisData& out);

} // namespace mapc
