#pragma once
// Portals between the tree's leaves and the floods that walk them.
#include <cstdint>
#include <vector>
#include "BspTree.h"
#include "Diagnostics.h"
#include "MapParser.h"

namespace mapc {

// The opening between two leaves on a node plane; the plane's front faces
// leaves[0].
struct Portal {
    int plane = -1;
    int leaves[2] = {-1, -1};
    Winding winding;
    bool narrow = false;  // a slit no one fits through: the floods do not cross it
    // Per side: 0 when that leaf is thick; for a thin leaf (a seam between
    // brushes that almost meet) -1 or 1 for a portal on one of its two broad
    // faces, 2 for one on its rim. The floods cross a thin leaf from one
    // face to the other, never along it.
    int8_t across[2] = {0, 0};
};

struct PortalSet {
    std::vector<Portal> portals;
};

// Cuts every node plane down to the openings between leaves, gives each leaf
// its box, and finds the leaves beyond the level (`outside`).
void buildPortals(Tree& tree, const PlaneSet& planes, PortalSet& out);

// Marks the leaves the entities can reach (`inside`) and numbers their
// clusters. A leak (an entity reachable from outside) is warned about with
// the entity's name; returns false in that case.
bool markInside(Tree& tree, const PlaneSet& planes, const PortalSet& portals, const MapFile& map,
                Diagnostics& diag);

// Joins open leaves into one cluster across portals nearly as wide as the
// leaves themselves (open space cut up by planes from elsewhere), while the
// cluster's box stays within `most` on each axis. Portals on the planes
// marked in `border` (hints, area portals) stay between clusters. The
// clusters are numbered anew.
void joinOpenLeaves(Tree& tree, const PortalSet& portals, const std::vector<char>& border, const Vec3& most);

} // namespace mapc
