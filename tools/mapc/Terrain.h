#pragma once
// Terrain entities: func_groups whose q3map_terrain sides take their shader
// from an index map laid over the entity.
#include <cstdint>
#include <string>
#include <vector>
#include "BrushSet.h"
#include "Diagnostics.h"
#include "MapParser.h"

class FileSystem;

namespace mapc {

class TextureLibrary;

// A layer number per pixel, row 0 at the entity's largest y.
struct IndexMap {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> layers;
};

// Reads an 8-bit paletted PCX (palette indices are the layers) or any
// picture the game reads (the red value scaled to `layerCount` layers);
// false when the bytes are neither.
bool readIndexMap(const std::vector<unsigned char>& bytes, int layerCount, IndexMap& out);

// The shader of a terrain face whose corners lie on the given layers:
// "<base>_N" for one layer, "<base>_AtoB" (lowest to highest) for more.
std::string terrainShader(const std::string& base, std::vector<int> layers);

// Every entity with "terrain" keys (_indexmap or alphamap, _layers or
// layers, _shader or shader): its brushes' q3map_terrain sides are given
// the shader of the layers under their corners, and drawn. Entities whose
// map cannot be read keep their sides hidden, with a warning.
void paintTerrain(const MapFile& map, const FileSystem* files, TextureLibrary& library, BrushSet& brushes,
                  Diagnostics& diag);

} // namespace mapc
