#pragma once
// Cel-shading outlines: an entity's (or the worldspawn's) "_celshader" key
// clones its drawn brush faces with that shader, turned and moved as the
// shader's q3map_invert and q3map_offset say.
#include <vector>
#include "BrushSet.h"
#include "Diagnostics.h"
#include "MapParser.h"
#include "PlaneSet.h"
#include "Surfaces.h"

namespace mapc {

class TextureLibrary;

// Appends the outline clones of the world's brush faces (sky left out).
// Returns how many were added.
int addCelOutlines(const MapFile& map, TextureLibrary& library, BrushSet& brushes, PlaneSet& planes,
                   std::vector<Surface>& surfaces, Diagnostics& diag);

} // namespace mapc
