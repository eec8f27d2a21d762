#include "world/Renderer.h"

#include "objects/WorldEntity.h"
#include "platform/SystemLog.h"

Renderer* Renderer::instance = nullptr;

Renderer::Renderer()
{
    instance = this;
}

Renderer::~Renderer()
{
    freeLevel();
    if (instance == this)
        instance = nullptr;
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
    visibleLeaves = nullptr;

    planeCount = leafCount = nodeCount = brushCount = brushSideCount = leafBrushCount = 0;
    textureCount = lightmapCount = meshVertexCount = vertexCount = faceCount = leafFaceCount = 0;
    visClusterCount = visBytesPerCluster = 0;
    visibleLeafCount = 0;
    levelLoaded = false;
}

void Renderer::updateCameraLeaf(Camera& camera, const Vector3& position)
{
}

int Renderer::collectVisibleLeaves()
{
    visibleLeafCount = 0;
    return 0;
}

void Renderer::renderLevel()
{
}

bool Renderer::setupMultitexture()
{
    return multitextureReady;
}
