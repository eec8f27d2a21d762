// Terrain entities: sides painted with the layer shaders their index map names.
#include "Terrain.h"
#include <algorithm>
#include <cmath>
#include "ContentFlags.h"
#include "TextureLibrary.h"
#include "resources/FileSystem.h"
#include "resources/ImageReader.h"

namespace mapc {

namespace {

unsigned le16(const unsigned char* b) { return b[0] | (b[1] << 8); }

// 8-bit, one plane, run-length coded: the palette index per pixel.
bool readPcx(const std::vector<unsigned char>& d, IndexMap& out)
{
    if (d.size() < 128 || d[0] != 0x0a || d[2] != 1 || d[3] != 8 || d[65] != 1) return false;
    const int width = static_cast<int>(le16(&d[8])) - static_cast<int>(le16(&d[4])) + 1;
    const int height = static_cast<int>(le16(&d[10])) - static_cast<int>(le16(&d[6])) + 1;
    const int rowBytes = static_cast<int>(le16(&d[66]));
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192 || rowBytes < width) return false;
    std::vector<uint8_t> raw;
    raw.reserve(static_cast<size_t>(rowBytes) * height);
    size_t at = 128;
    while (raw.size() < static_cast<size_t>(rowBytes) * height && at < d.size()) {
        unsigned char c = d[at++];
        if (c < 0xc0) { raw.push_back(c); continue; }
        if (at >= d.size()) break;
        raw.insert(raw.end(), c & 0x3f, d[at++]);
    }
    if (raw.size() < static_cast<size_t>(rowBytes) * height) return false;
    out.width = width;
    out.height = height;
    out.layers.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        std::copy_n(raw.begin() + static_cast<long>(y) * rowBytes, width, out.layers.begin() + static_cast<long>(y) * width);
    return true;
}

struct TerrainKeys {
    std::string indexMap, shader;
    double asked = 0;  // the layer count as written
    int layers = 0;
};

bool terrainKeys(const MapEntity& e, TerrainKeys& k)
{
    auto first = [&](const char* a, const char* b) {
        const char* v = e.value(a);
        return std::string(v ? v : (e.value(b) ? e.value(b) : ""));
    };
    k.indexMap = first("_indexmap", "alphamap");
    k.shader = first("_shader", "shader");
    // An index map's pixel is a byte, so more than 256 layers cannot be told apart.
    k.asked = std::max(e.number("_layers", 0.0), e.number("layers", 0.0));
    k.layers = k.asked >= 1.0 ? static_cast<int>(std::min(k.asked, 256.0)) : 0;
    if (k.shader.compare(0, 9, "textures/") == 0) k.shader.erase(0, 9);
    return !k.indexMap.empty() && !k.shader.empty() && k.layers > 0;
}

// Layer under a point: the nearest pixel, the map stretched over the box.
int layerAt(const IndexMap& m, const Bounds& box, const Vec3& p, int layerCount)
{
    double fx = (p.x - box.mins.x) / std::max(box.maxs.x - box.mins.x, 1.0);
    double fy = (box.maxs.y - p.y) / std::max(box.maxs.y - box.mins.y, 1.0);
    int x = std::clamp(static_cast<int>(std::lround(fx * (m.width - 1))), 0, m.width - 1);
    int y = std::clamp(static_cast<int>(std::lround(fy * (m.height - 1))), 0, m.height - 1);
    return std::min<int>(m.layers[static_cast<size_t>(y) * m.width + x], layerCount - 1);
}

} // namespace

bool readIndexMap(const std::vector<unsigned char>& bytes, int layerCount, IndexMap& out)
{
    if (readPcx(bytes, out)) return true;
    TgaImage image;
    const char* why = nullptr;
    if (layerCount <= 0 || !decodeImage(bytes.data(), bytes.size(), &image, &why)) return false;
    out.width = image.width;
    out.height = image.height;
    out.layers.resize(static_cast<size_t>(image.width) * image.height);
    // Decoded bottom row first; the map's rows run top down.
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            size_t from = (static_cast<size_t>(image.height - 1 - y) * image.width + x) * image.bytesPerPixel;
            out.layers[static_cast<size_t>(y) * image.width + x] =
                static_cast<uint8_t>(image.pixels[from] * layerCount / 256);
        }
    return true;
}

std::string terrainShader(const std::string& base, std::vector<int> layers)
{
    std::sort(layers.begin(), layers.end());
    if (layers.empty()) return base + "_0";
    if (layers.front() == layers.back()) return base + "_" + std::to_string(layers.front());
    return base + "_" + std::to_string(layers.front()) + "to" + std::to_string(layers.back());
}

void paintTerrain(const MapFile& map, const FileSystem* files, TextureLibrary& library, BrushSet& brushes,
                  Diagnostics& diag)
{
    for (size_t ei = 0; ei < map.entities.size(); ++ei) {
        TerrainKeys keys;
        const bool terrain = terrainKeys(map.entities[ei], keys);
        if (!keys.indexMap.empty() && !keys.shader.empty() && (keys.asked < 1.0 || keys.asked > 256.0))
            diag.warn(map.entities[ei].line, "terrain layers out of 1-256; %s", terrain ? "using 256" : "its faces stay hidden");
        if (!terrain) continue;
        std::vector<unsigned char> bytes;
        IndexMap index;
        if (!files || !files->readFile(keys.indexMap.c_str(), bytes) || !readIndexMap(bytes, keys.layers, index)) {
            diag.warn(map.entities[ei].line, "terrain index map '%s' not found or not readable; its faces stay hidden",
                      keys.indexMap.c_str());
            continue;
        }
        Bounds box;
        for (const Brush& b : brushes.brushes)
            if (b.entity == static_cast<int>(ei)) box.add(b.bounds);
        for (Brush& b : brushes.brushes) {
            if (b.entity != static_cast<int>(ei)) continue;
            for (BrushSide& s : b.sides) {
                const TextureRecord& record = brushes.textures[static_cast<size_t>(s.texture)];
                if (s.bevel || s.winding.empty() || !library.traitsOfPath(record.name, diag).terrain) continue;
                std::vector<int> layers;
                for (const Vec3& p : s.winding) layers.push_back(layerAt(index, box, p, keys.layers));
                const std::string name = terrainShader(keys.shader, layers);
                const TextureTraits& t = library.traits(name, diag);
                const int contents = static_cast<int>(t.contents) | (record.contents & kContentsDetail);
                s.texture = brushes.textureIndex("textures/" + name, contents, static_cast<int>(t.flags));
                s.imageSize[0] = t.width;
                s.imageSize[1] = t.height;
                s.worldTexture = t.worldTexture;
                std::copy(&t.textureVectors[0][0], &t.textureVectors[0][0] + 6, &s.worldAxes[0][0]);
                // A blend shows its higher layer where the vertex alpha is full.
                const int top = *std::max_element(layers.begin(), layers.end());
                s.cornerAlpha.clear();
                for (int layer : layers) s.cornerAlpha.push_back(layer == top ? 255 : 0);
                s.drawn = (t.flags & (kSurfNoDraw | kSurfHint | kSurfSkip)) == 0;
                s.lightmapped = (t.flags & (kSurfNoLightmap | kSurfSky)) == 0;
            }
        }
    }
}

} // namespace mapc
