#include "Visibility.h"

namespace mapc {

void computeVisibility(const Tree& tree, const PlaneSet& planes, const PortalSet& portals,
                       bool everything, VisData& out)
{
    int clusters = 0;
    for (const TreeNode& n : tree.nodes)
        if (n.isLeaf() && n.cluster >= 0) clusters = std::max(clusters, n.cluster + 1);
    out.clusters = clusters;
    out.bytesPerRow = (clusters + 7) / 8;
    out.bits.assign(static_cast<size_t>(clusters) * out.bytesPerRow, 0);
    for (int i = 0; i < clusters; ++i)
        for (int j = 0; j < clusters; ++j)
            out.bits[static_cast<size_t>(i) * out.bytesPerRow + (j >> 3)] |= static_cast<uint8_t>(1 << (j & 7));
    (void)planes;
    (void)portals;
    (void)everything;
}

} // namespace mapc
