#include "world/BspLoader.h"

#include <cstdio>

#include "app/TargetList.h"
#include "platform/SystemLog.h"
#include "resources/TextureManager.h"
#include "world/BspData.h"
#include "world/Collision.h"
#include "world/EntitieParser.h"
#include "world/LevelValidation.h"
#include "world/Renderer.h"

bool BspLoader::load(const char* path, TargetList* targets)
{
    if (!path)
        path = "";
    char problem[256] = "";
    BspData data;
    BspReadError result = readBspFile(path, data, problem, sizeof(problem));
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
    Renderer* renderer = Renderer::instance;
    if (!renderer) {
        SystemLog::get().write(LOG_RED "::BspLoader ERROR: no renderer to load %s into", path);
        return false;
    }

    // Handles start at 0 so a missing texture file binds no texture.
    unsigned* textureHandles = new unsigned[size_t(data.textureCount) + 1]();
    unsigned* lightmapHandles = new unsigned[size_t(data.lightmapCount) + 1]();
    makeTextures(data, textureHandles, lightmapHandles);

    // The map command frees the old level first; a direct load over a
    // loaded level does the same, so nothing of it leaks or dangles.
    if (renderer->levelLoaded || renderer->nodes) {
        renderer->freeLevel();
        if (targets)
            targets->clear();
    }
    install(data, *renderer, textureHandles, lightmapHandles);

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

void BspLoader::makeTextures(const BspData& data, unsigned* textureHandles,
                             unsigned* lightmapHandles)
{
    TextureManager& manager = TextureManager::get();
    char file[128];
    for (int i = 0; i < data.textureCount; i++) {
        snprintf(file, sizeof(file), "baseq3/%s.tga", data.textures[i].name);
        manager.loadTexture(file, &textureHandles[i], false);
    }
    for (int i = 0; i < data.lightmapCount; i++)
        manager.createTexture(data.lightmaps + size_t(i) * bsp::kLightmapBytes,
                              bsp::kLightmapSize, bsp::kLightmapSize, &lightmapHandles[i]);
}

void BspLoader::install(BspData& data, Renderer& r, unsigned* textureHandles,
                                 unsigned* lightmapHandles)
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
