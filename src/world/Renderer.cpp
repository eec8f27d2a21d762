// The Renderer object: leaf lookup, cluster visibility, leaf entity lists and freeing the level.
#include "world/Renderer.h"

#include <algorithm>
#include <vector>

#include "app/FrameTimer.h"
#include "app/TargetList.h"
#include "objects/WorldEntity.h"
#include "platform/Multitexture.h"
#include "platform/SystemLog.h"
#include "resources/TextureManager.h"
#include "world/Camera.h"
#include "world/Collision.h"
#include "world/PatchCollision.h"
#include "world/Frustum.h"
#include "world/SurfaceKind.h"

Renderer::Renderer()
{
    camera = Camera::instance;
    timer = FrameTimer::instance;
    frustum = Frustum::instance;
    targets = TargetList::instance;
}

Renderer::~Renderer()
{
    freeLevel();
}

bool Renderer::isReady() const
{
    return vertices && faces && meshVertices && lightmapHandles && textureHandles && leafFaces &&
           leaves && planes && nodes && multitextureReady;
}

int Renderer::findLeaf(const Vector3& p) const
{
    if (!isReady())
        return 0;
    // The loader refused trees with loops, so this walk ends.
    int index = 0;
    while (index >= 0) {
        const bsp::BspNode& node = nodes[index];
        const bsp::BspPlane& plane = planes[node.plane];
        float side = plane.normal[0] * p.x + plane.normal[1] * p.y + plane.normal[2] * p.z -
                     plane.distance;
        index = side < 0.0f ? node.children[1] : node.children[0];
    }
    return ~index;
}

int Renderer::clusterVisible(int leafCluster, int cameraCluster) const
{
    if (!visBits || cameraCluster < 0)
        return 1;
    // The loader keeps clusters in [-1, clusterCount) and rows wide enough,
    // so this byte lies inside the bit array.
    int64_t byte = int64_t(cameraCluster) * visBytesPerCluster + leafCluster / 8;
    if (byte < 0 || byte >= int64_t(visClusterCount) * visBytesPerCluster)
        return 1;
    return visBits[byte] & (1 << (leafCluster & 7));
}

bool Renderer::addEntity(int leaf, WorldEntity* entity)
{
    if (!leafEntities || leaf < 0 || leaf >= leafCount || !entity)
        return false;
    LeafEntityList& list = leafEntities[leaf];
    if (list.count >= kLeafEntityCapacity)
        return false;
    list.entities[list.count++] = entity;
    return true;
}

void Renderer::freeLevel()
{
    if (leafEntities) {
        for (int i = 0; i < leafCount; i++) {
            LeafEntityList& list = leafEntities[i];
            for (int k = 0; k < list.count; k++)
                delete list.entities[k];
            list.count = 0;
        }
    }
    releaseLevelTextures();
    delete[] leafEntities;
    delete[] nodeSpheres;
    delete[] leafSpheres;
    delete[] faceMarks;
    delete[] visBits;
    delete[] textureHandles;
    delete[] lightmapHandles;
    delete[] vertices;
    delete[] meshVertices;
    delete[] faces;
    delete[] leafFaces;
    delete[] planes;
    delete[] nodes;
    delete[] leaves;
    delete[] brushes;
    delete[] leafBrushes;
    delete[] brushSides;
    delete[] textures;
    delete[] effects;
    delete[] brushBounds;
    delete curves;
    delete[] faceKinds;
    delete[] visibleLeaves;

    leafEntities = nullptr;
    nodeSpheres = leafSpheres = nullptr;
    faceMarks = nullptr;
    visBits = nullptr;
    textureHandles = lightmapHandles = nullptr;
    vertices = nullptr;
    meshVertices = nullptr;
    faces = nullptr;
    leafFaces = nullptr;
    planes = nullptr;
    nodes = nullptr;
    leaves = nullptr;
    brushes = nullptr;
    leafBrushes = nullptr;
    brushSides = nullptr;
    textures = nullptr;
    effects = nullptr;
    effectCount = 0;
    brushBounds = nullptr;
    curves = nullptr;
    faceKinds = nullptr;
    visibleLeaves = nullptr;
    sky = SkyLook();
    looks.clear();
    faceCentres.clear();
    whiteTexture = 0;
    fogs.clear();
    fogRamp = 0;
    toneTexture = 0;
    toneTextureSize = 0;
    foggedFaces.clear();
    stagedOpaque.clear();
    stagedBlended.clear();
    skyDomeHeight = -1.0f;

    planeCount = leafCount = nodeCount = brushCount = brushSideCount = leafBrushCount = 0;
    textureCount = lightmapCount = meshVertexCount = vertexCount = faceCount = leafFaceCount = 0;
    visClusterCount = visBytesPerCluster = 0;
    visibleLeafCount = visibleLeafCapacity = 0;
    levelLoaded = false;
}

void Renderer::releaseLevelTextures()
{
    // Handles of 0 are requests that failed: nothing to give back.
    std::vector<unsigned> held;
    for (int i = 0; textureHandles && i < textureCount; i++)
        held.push_back(textureHandles[i]);
    for (int i = 0; lightmapHandles && i < lightmapCount; i++)
        held.push_back(lightmapHandles[i]);
    held.insert(held.end(), sky.box, sky.box + 6);
    held.push_back(sky.cloud);
    collectLookTextures(looks, held);
    held.push_back(whiteTexture);
    held.push_back(fogRamp);
    held.push_back(toneTexture);
    held.erase(std::remove(held.begin(), held.end(), 0u), held.end());
    if (held.empty())
        return;  // and no texture manager is made just to find that out
    TextureManager& manager = TextureManager::get();
    for (unsigned handle : held)
        manager.releaseTexture(handle);
}

void Renderer::installLooks()
{
    makeSurfaceLooks(textures, textureCount, looks);
    faceCentres.assign(size_t(faceCount), Vector3(0, 0, 0));
    for (int f = 0; f < faceCount; f++) {
        const bsp::BspFace& face = faces[f];
        Vector3 sum(0, 0, 0);
        for (int v = 0; v < face.vertexCount; v++) {
            const float* p = vertices[face.firstVertex + v].position;
            sum += Vector3(p[0], p[1], p[2]);
        }
        if (face.vertexCount > 0)
            faceCentres[size_t(f)] = sum * (1.0f / float(face.vertexCount));
    }
    const unsigned char white[3] = {255, 255, 255};
    TextureManager::get().createTexture(white, 1, 1, &whiteTexture);

    TextureManager& manager = TextureManager::get();
    fogs.assign(size_t(effectCount), FogVolume());
    bool anyFog = false;
    for (int i = 0; i < effectCount; i++) {
        const ShaderInfo* shader = manager.findShader(effects[i].name);
        if (!shader || !shader->fog)
            continue;
        FogVolume& fog = fogs[size_t(i)];
        fog.present = anyFog = true;
        for (int c = 0; c < 3; c++)
            fog.colour[c] = shader->fogColour[c];
        fog.distance = shader->fogDistance;
    }
    if (anyFog) {
        unsigned char ramp[256 * 4];
        for (int i = 0; i < 256; i++)
            ramp[i * 4] = ramp[i * 4 + 1] = ramp[i * 4 + 2] = 255, ramp[i * 4 + 3] = (unsigned char)i;
        manager.createRgbaTexture(ramp, 256, 1, true, &fogRamp);
    }
    for (int i = 0; i < textureCount && sky.present && sky.texture < 0; i++)
        if (textureKind(textures[i]) == FaceSky)
            sky.texture = i;
}

void Renderer::updateCameraLeaf(Camera& cam, const Vector3& position)
{
    if (!isReady())
        return;
    cam.leaf = findLeaf(position);
    cam.cluster = leaves[cam.leaf].cluster;
    cam.leafPosition = position;
}

int Renderer::collectVisibleLeaves()
{
    visibleLeafCount = 0;
    if (!isReady() || !camera || !frustum || !visibleLeaves)
        return 0;
    walkNode(0, true);
    return visibleLeafCount;
}

int Renderer::cullVolume(const BoundingSphere& sphere, const int32_t* mins,
                         const int32_t* maxs) const
{
    if (!frustum->coneTest(sphere))
        return Frustum::Outside;
    int side = frustum->sphereTest(sphere);
    if (side != Frustum::Intersecting)
        return side;
    return frustum->boxTest(Vector3(float(mins[0]), float(mins[1]), float(mins[2])),
                            Vector3(float(maxs[0]), float(maxs[1]), float(maxs[2])));
}

// Far side first, so nearer faces are drawn over farther ones. The loader
// bounded the tree's depth, so the recursion is bounded too.
void Renderer::walkNode(int index, bool culling)
{
    const bsp::BspNode& node = nodes[index];
    if (culling) {
        int side = cullVolume(nodeSpheres[index], node.mins, node.maxs);
        if (side == Frustum::Outside)
            return;
        if (side == Frustum::Inside)
            culling = false;  // wholly inside: nothing below needs testing
    }
    const bsp::BspPlane& plane = planes[node.plane];
    const Vector3& eye = camera->leafPosition;
    float side = plane.normal[0] * eye.x + plane.normal[1] * eye.y + plane.normal[2] * eye.z -
                 plane.distance;
    int farChild = side >= 0.0f ? 1 : 0;
    for (int pass = 0; pass < 2; pass++) {
        int child = node.children[pass == 0 ? farChild : 1 - farChild];
        if (child >= 0) {
            walkNode(child, culling);
        } else {
            int leaf = ~child;
            if (clusterVisible(leaves[leaf].cluster, camera->cluster))
                walkLeaf(leaf, culling);
        }
    }
}

void Renderer::walkLeaf(int index, bool culling)
{
    // The camera's own leaf is never culled.
    if (culling && index != camera->leaf) {
        const bsp::BspLeaf& leaf = leaves[index];
        if (cullVolume(leafSpheres[index], leaf.mins, leaf.maxs) == Frustum::Outside)
            return;
    }
    // The capacity covers every child slot; the guard only keeps the array in bounds.
    if (visibleLeafCount < visibleLeafCapacity)
        visibleLeaves[visibleLeafCount++] = index;
}

// Draws each entity of the leaf, destroys the finished ones and re-files the
// ones that walked into another leaf.
void Renderer::runLeafEntities(int leaf)
{
    LeafEntityList& list = leafEntities[leaf];
    int i = 0;
    while (i < list.count) {
        WorldEntity* entity = list.entities[i];
        if (!entity->draw()) {
            delete entity;
            list.entities[i] = list.entities[list.count - 1];
            list.entities[--list.count] = nullptr;
            continue;
        }
        if (entity->moved) {
            entity->moved = false;
            int now = findLeaf(entity->position);
            // A full destination keeps the entity where it is, still owned.
            if (now != leaf && addEntity(now, entity)) {
                list.entities[i] = list.entities[list.count - 1];
                list.entities[--list.count] = nullptr;
                continue;
            }
        }
        i++;
    }
}

bool Renderer::setupMultitexture()
{
    MultitextureEntryPoints entry;
    multitextureReady = fetchMultitexture(entry);
    activeTexture = entry.activeTexture;
    clientActiveTexture = entry.clientActiveTexture;
    return multitextureReady;
}
