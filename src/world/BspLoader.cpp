// Loading a level: reading and checking the file, making its textures, handing it to the Renderer.
#include "world/BspLoader.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/TargetList.h"
#include "platform/SystemLog.h"
#include "resources/FileSystem.h"
#include "resources/GameFiles.h"
#include "resources/ImageReader.h"
#include "resources/TextureManager.h"
#include "world/BspData.h"
#include "world/Collision.h"
#include "world/EntitieParser.h"
#include "world/LevelValidation.h"
#include "world/PatchCollision.h"
#include "world/PatchTessellation.h"
#include "world/Renderer.h"
#include "world/SurfaceKind.h"

namespace {

// Highest lightmap index a level's external pictures are looked for up to.
const int kMaxExternalLightmaps = 1024;
// Bad patches named one by one before the rest are only counted.
const int kPatchLinesShown = 8;

// The average of the level's lightmaps, brightened: the sky's colour when
// the level names no sky picture that can be found.
void skyColourFromLightmaps(const BspData& data, float colour[3])
{
    if (!data.lightmaps || data.lightmapCount <= 0)
        return;
    double sum[3] = {0, 0, 0};
    size_t texels = size_t(data.lightmapCount) * bsp::kLightmapSize * bsp::kLightmapSize;
    for (size_t i = 0; i < texels; i++)
        for (int c = 0; c < 3; c++)
            sum[c] += data.lightmaps[i * 3 + size_t(c)];
    float top = 0.0f;
    for (int c = 0; c < 3; c++) {
        colour[c] = float(sum[c] / double(texels) / 255.0);
        top = std::max(top, colour[c]);
    }
    // Never black: the brightest channel is lifted to at least 0.6.
    float scale = top > 0.01f ? std::max(1.0f, 0.6f / top) : 0.0f;
    for (int c = 0; c < 3; c++)
        colour[c] = top > 0.01f ? std::min(1.0f, colour[c] * scale) : 0.6f;
}

// A lightmap kept beside the level as a picture, brightened as the lump's are.
bool loadExternalLightmap(const char* picture, float overbright, unsigned* handle)
{
    std::vector<unsigned char> bytes;
    if (!GameFiles::get().readFile(picture, bytes))
        return false;  // the file system said why
    TgaImage image;
    const char* why = "";
    if (!decodeImage(bytes.data(), bytes.size(), &image, &why)) {
        SystemLog::get().write(LOG_YELLOW "::BspLoader WARNING cannot read the lightmap %s: %s", picture, why);
        return false;
    }
    // The level's lightmap coordinates start at the picture's top row, but
    // decoded images keep the bottom row first: turned over, except a TGA
    // stored top row first (origin bit set), which the reader leaves in file order.
    const bool tga = bytes.size() >= 18 && (bytes[2] & ~8u) >= 1 && (bytes[2] & ~8u) <= 3;
    const bool bottomUp = !(tga && (bytes[17] & 0x20) != 0);
    size_t width = size_t(image.width), height = size_t(image.height);
    std::vector<uint8_t> rgb(width * height * 3);
    for (size_t y = 0; y < height; y++)
        for (size_t x = 0; x < width; x++) {
            size_t from = (bottomUp ? height - 1 - y : y) * width + x, to = y * width + x;
            std::copy_n(&image.pixels[from * size_t(image.bytesPerPixel)], 3, &rgb[to * 3]);
            brightenColour(&rgb[to * 3], overbright);
        }
    return TextureManager::get().createTexture(rgb.data(), image.width, image.height, handle);
}

} // namespace

bool BspLoader::load(const char* path, TargetList* targets)
{
    if (!path)
        path = "";
    char problem[256] = "";
    BspData data;
    BspReadError result = readBspFile(path, data, problem, sizeof(problem));
    bool packed = false;
    if (result == BspReadError::CannotOpen) {
        // Not a plain file: perhaps an entry of a game data archive.
        std::vector<unsigned char> bytes;
        if (GameFiles::get().exists(path) && GameFiles::get().readFile(path, bytes)) {
            result = readBspBuffer(bytes.data(), bytes.size(), data, problem, sizeof(problem));
            packed = true;
        }
    }
    if (result == BspReadError::CannotOpen) {
        SystemLog::get().write(LOG_RED "::BspLoader ERROR: file does not exist: %s", path);
        return false;
    }
    if (result == BspReadError::NotIbsp) {
        SystemLog::get().write(LOG_RED "::BspLoader ERROR: file is not a Quake3 BSP file: %s",
                               path);
        return false;
    }
    SystemLog::get().write(LOG_WHITE "::BspLoader Loading map: %s", path);
    if (result != BspReadError::None || !validateLevel(data, problem, sizeof(problem))) {
        SystemLog::get().write(LOG_RED "::BspLoader ERROR: corrupt map %s: %s", path, problem);
        return false;
    }
    // The control grids are gone once the patches are cut for drawing.
    CurveReport curveReport;
    std::unique_ptr<PatchCollision> curves;
    if (buildCurveCollision)
        curves.reset(buildPatchCollision(data, curveReport));
    if (buildCurveCollision && !curves) {
        SystemLog::get().write(LOG_RED "::BspLoader ERROR: out of memory for the curves' collision in %s", path);
        return false;
    }
    if (curveReport.coarsened > 0 || curveReport.overBudget > 0)
        SystemLog::get().write(LOG_YELLOW "::BspLoader WARNING curves collide coarser than they are drawn: "
                               "%i cut coarser, %i left without collision (budget %i facets)",
                               curveReport.coarsened, curveReport.overBudget, kMaxCurveFacets);
    PatchReport patches;
    if (!tessellatePatches(data, patches)) {
        SystemLog::get().write(LOG_RED "::BspLoader ERROR: out of memory for the curved surfaces of %s", path);
        return false;
    }
    for (size_t i = 0; i < patches.skipped.size() && i < size_t(kPatchLinesShown); i++)
        SystemLog::get().write(LOG_YELLOW "::BspLoader WARNING %s", patches.skipped[i].c_str());
    if (patches.skipped.size() > size_t(kPatchLinesShown))
        SystemLog::get().write(LOG_YELLOW "::BspLoader WARNING %i bad patches skipped in all",
                               int(patches.skipped.size()));
    if (patches.stepCap < kMaxPatchSteps)
        SystemLog::get().write(LOG_YELLOW "::BspLoader WARNING curved surfaces past the budget of %ld vertices and "
                               "%ld triangles: drawn coarser (at most %d steps per block), %d patches left out",
                               kPatchVertexBudget, kPatchTriangleBudget, patches.stepCap, patches.overBudget);

    // The rest of the factor scales texture x light as it is drawn.
    OverbrightSplit split = splitOverbright(overbright);
    brightenLevelLight(data, split.data);

    Renderer* renderer = Renderer::instance;
    if (!renderer) {
        SystemLog::get().write(LOG_RED "::BspLoader ERROR: no renderer to load %s into", path);
        return false;
    }

    // Handles start at 0 so a missing texture file binds no texture.
    unsigned* textureHandles = new unsigned[size_t(data.textureCount) + 1]();
    unsigned* lightmapHandles = nullptr;
    SkyLook sky;
    makeTextures(data, path, textureHandles, &lightmapHandles, &sky);

    // The map command frees the old level first; a direct load over a
    // loaded level does the same, so nothing of it leaks or dangles.
    if (renderer->levelLoaded || renderer->nodes) {
        renderer->freeLevel();
        if (targets)
            targets->clear();
    }
    install(data, *renderer, textureHandles, lightmapHandles, curves.release());
    renderer->sky = sky;
    renderer->lightScale = split.draw;
    renderer->levelPacked = packed;
    renderer->installLooks();

    EntitieParser parser;
    parser.parse(data.entities, targets);

    SystemLog::get().write(LOG_WHITE "::BspLoader map loaded: %s\n"
                           LOG_WHITE "   %i Textures loaded\n"
                           LOG_WHITE "   %i Lightmaps loaded\n"
                           LOG_WHITE "   %i Faces loaded",
                           path, renderer->textureCount, renderer->lightmapCount,
                           renderer->faceCount);
    return true;
}

void BspLoader::makeTextures(BspData& data, const char* path, unsigned* textureHandles,
                             unsigned** lightmapHandles, SkyLook* sky)
{
    TextureManager& manager = TextureManager::get();
    // Records that only billboards (flares) use are never drawn.
    std::vector<uint8_t> faces(size_t(data.textureCount), 0), drawable(size_t(data.textureCount), 0);
    for (int i = 0; i < data.faceCount; i++) {
        faces[size_t(data.faces[i].texture)] = 1;
        if (data.faces[i].type != bsp::FaceBillboard)
            drawable[size_t(data.faces[i].texture)] = 1;
    }
    int skyTexture = -1;
    for (int i = 0; i < data.textureCount; i++) {
        // Tool, fog and sky surfaces are not drawn with their own picture.
        FaceKind kind = textureKind(data.textures[i]);
        if (kind == FaceSky && skyTexture < 0)
            skyTexture = i;
        if (kind == FaceDrawn && (drawable[size_t(i)] || !faces[size_t(i)]))
            manager.loadSurfaceTexture(data.textures[i].name, &textureHandles[i]);
    }

    if (data.lightmapCount > 0) {
        *lightmapHandles = new unsigned[size_t(data.lightmapCount) + 1]();
        for (int i = 0; i < data.lightmapCount; i++)
            manager.createTexture(data.lightmaps + size_t(i) * bsp::kLightmapBytes,
                                  bsp::kLightmapSize, bsp::kLightmapSize, &(*lightmapHandles)[i]);
    } else {
        // No lightmap lump: the pictures may sit beside the level instead,
        // "maps/NAME/lm_0000.tga" on, named by the faces' lightmap indices.
        int highest = -1;
        for (int i = 0; i < data.faceCount; i++)
            highest = std::max(highest, std::min(data.faces[i].lightmap, kMaxExternalLightmaps - 1));
        *lightmapHandles = new unsigned[size_t(highest + 1) + 1]();
        std::string folder = FileSystem::withoutExtension(path);
        int found = 0;
        for (int i = 0; i <= highest; i++) {
            char file[32];
            snprintf(file, sizeof(file), "/lm_%04d.tga", i);
            std::string picture = folder + file;
            if (GameFiles::get().exists(picture.c_str()) &&
                loadExternalLightmap(picture.c_str(), splitOverbright(overbright).data, &(*lightmapHandles)[i]))
                found++;
        }
        // The count now names pictures, not pixels in the level's lump.
        delete[] data.lightmaps;
        data.lightmaps = nullptr;
        data.lightmapCount = found > 0 ? highest + 1 : 0;
    }

    if (skyTexture < 0)
        return;
    sky->present = true;
    skyColourFromLightmaps(data, sky->colour);
    const char* skyName = data.textures[skyTexture].name;
    const ShaderInfo* shader = manager.findShader(skyName);
    if (shader && !shader->skyBox.empty()) {
        // The box's sides in the order of SkyLook::box (y-up +x, -x, +y, -y, +z, -z):
        // _rt faces the file's +x, _bk its +y, _up its +z.
        static const char* const kSides[6] = {"_rt", "_lf", "_up", "_dn", "_ft", "_bk"};
        for (int i = 0; i < 6; i++)
            manager.loadSurfaceTexture((shader->skyBox + kSides[i]).c_str(), &sky->box[i], true);
    }
    // Half a box would show seams of another picture: all six or none.
    if (!std::all_of(sky->box, sky->box + 6, [](unsigned h) { return h != 0; })) {
        for (unsigned& side : sky->box) {
            if (side)
                manager.releaseTexture(side);
            side = 0;
        }
        // The shader's own picture first: a file named after a sky shader
        // is usually a flat editor image. No picture at all leaves the
        // colour taken from the lightmaps.
        if (shader && !shader->image.empty())
            manager.loadSurfaceTexture(FileSystem::withoutExtension(shader->image).c_str(),
                                       &sky->cloud, true);
        if (!sky->cloud)
            manager.loadSurfaceTexture(skyName, &sky->cloud, true);
    }
}

void BspLoader::install(BspData& data, Renderer& r, unsigned* textureHandles,
                        unsigned* lightmapHandles, PatchCollision* curves)
{
    r.textureHandles = textureHandles;
    r.lightmapHandles = lightmapHandles;

    r.vertices = data.vertices;
    r.meshVertices = data.meshVertices;
    r.faces = data.faces;
    r.leafFaces = data.leafFaces;
    r.planes = data.planes;
    r.nodes = data.nodes;
    r.leaves = data.leaves;
    r.brushes = data.brushes;
    r.leafBrushes = data.leafBrushes;
    r.brushSides = data.brushSides;
    r.textures = data.textures;
    r.effects = data.effects;
    r.effectCount = data.effectCount;
    r.visBits = data.visBits;
    data.vertices = nullptr;
    data.meshVertices = data.leafFaces = data.leafBrushes = nullptr;
    data.faces = nullptr;
    data.planes = nullptr;
    data.nodes = nullptr;
    data.leaves = nullptr;
    data.brushes = nullptr;
    data.brushSides = nullptr;
    data.textures = nullptr;
    data.effects = nullptr;
    data.visBits = nullptr;

    r.planeCount = data.planeCount;
    r.leafCount = data.leafCount;
    r.nodeCount = data.nodeCount;
    r.brushCount = data.brushCount;
    r.brushSideCount = data.brushSideCount;
    r.leafBrushCount = data.leafBrushCount;
    r.textureCount = data.textureCount;
    r.lightmapCount = data.lightmapCount;
    r.meshVertexCount = data.meshVertexCount;
    r.vertexCount = data.vertexCount;
    r.faceCount = data.faceCount;
    r.leafFaceCount = data.leafFaceCount;
    r.visClusterCount = data.visClusterCount;
    r.visBytesPerCluster = data.visBytesPerCluster;

    delete[] r.brushBounds;
    r.brushBounds = buildBrushBounds(collisionLevelOf(r));
    delete r.curves;
    r.curves = curves;

    delete[] r.faceKinds;
    r.faceKinds = new uint8_t[size_t(r.faceCount) + 1];
    for (int i = 0; i < r.faceCount; i++)
        r.faceKinds[i] = faceKind(r.faces[i], r.textures);

    delete[] r.faceMarks;
    r.faceMarks = new int32_t[size_t(r.faceCount) + 1]();

    delete[] r.leafSpheres;
    delete[] r.nodeSpheres;
    r.leafSpheres = new BoundingSphere[size_t(r.leafCount)];
    for (int i = 0; i < r.leafCount; i++)
        r.leafSpheres[i] = sphereAroundBox(r.leaves[i].mins, r.leaves[i].maxs);
    r.leafEntities = new LeafEntityList[size_t(r.leafCount)];
    r.nodeSpheres = new BoundingSphere[size_t(r.nodeCount)];
    for (int i = 0; i < r.nodeCount; i++)
        r.nodeSpheres[i] = sphereAroundBox(r.nodes[i].mins, r.nodes[i].maxs);

    delete[] r.visibleLeaves;
    // A checked tree reaches each node once, so its leaves are reached at
    // most twice per node (a leaf may hang below several nodes).
    r.visibleLeafCapacity = 2 * r.nodeCount;
    r.visibleLeaves = new int32_t[size_t(r.visibleLeafCapacity)];
    r.visibleLeafCount = 0;
    r.levelLoaded = true;
}
