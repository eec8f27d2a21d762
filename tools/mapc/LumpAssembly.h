#pragma once
// Writing what the compiler's passes built into the level's lumps: the
// entity text, textures, planes, the numbered tree, faces, brushes, models
// and visibility rows.
#include <vector>
#include "BrushSet.h"
#include "BspTree.h"
#include "BspWriter.h"
#include "MapParser.h"
#include "PlaneSet.h"
#include "Surfaces.h"
#include "Visibility.h"

namespace mapc {

// The passes' results the lumps are written from.
struct LevelParts {
    const MapFile& map;
    const BrushSet& brushes;
    const PlaneSet& planes;
    const Tree& tree;
    const std::vector<Surface>& surfaces;  // model by model, the world's first
    int models;
    const VisData& vis;
};

// How many nodes and leaves the written tree has.
struct TreeCounts {
    int nodes = 0;
    int leaves = 0;
};

// Every lump but the lightmaps, appended to out in file order.
TreeCounts assembleLumps(const LevelParts& parts, LevelLumps& out);

} // namespace mapc
