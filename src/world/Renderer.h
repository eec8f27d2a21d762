#pragma once
// The Renderer: the loaded level, its drawing and its traces.
#include "platform/Published.h"
#include <cstdint>
#include <vector>
#include "platform/Multitexture.h"
#include "world/BoundingSphere.h"
#include "world/BspFormat.h"
#include "world/SurfaceLook.h"
#include "world/Vector3.h"

struct BrushBounds;
struct PatchCollision;
class Camera;
class FrameTimer;
class Frustum;
class TargetList;
class WorldEntity;

constexpr int kLeafEntityCapacity = 100;

// The enemies and particle systems standing in one leaf. Owns them: only the
// leaf pass of the renderer and freeLevel() destroy them.
struct LeafEntityList {
    int32_t count = 0;
    WorldEntity* entities[kLeafEntityCapacity] = {};
};

// Counts of the last renderLevel(), for tests and benchmarks.
struct RenderStats {
    int leavesDrawn = 0;
    int facesDrawn = 0;
    int patchesDrawn = 0;  // of facesDrawn
    int skyFacesSeen = 0;  // visible sky faces, covered by the sky
    int faceBinds = 0;     // texture and lightmap binds made for the faces
    int faceDraws = 0;     // draw calls made for the faces
    int stagedFaces = 0;   // of facesDrawn: drawn stage by stage
    int blendedFaces = 0;  // of stagedFaces: drawn after the opaque ones
    int stageDraws = 0;    // draw calls made for the stages
    int foggedFaces = 0;   // faces drawn again under their fog
};

// What is drawn behind the level where it shows sky: the sky shader's box
// (six pictures) and its cloud layers on a dome, else its cloud picture on
// every side, else one colour.
struct SkyLook {
    bool present = false;      // the level has sky faces
    unsigned box[6] = {};      // +x, -x, +y, -y, +z, -z in the y-up frame
    unsigned cloud = 0;
    float colour[3] = {0.5f, 0.6f, 0.75f};
    int texture = -1;          // the sky's texture record: its look holds the cloud layers
};

// Owns the loaded level (filled by BspLoader, y-up) and draws it each frame.
class Renderer : public Published<Renderer> {
public:
    Renderer();
    ~Renderer();

    // Releases every level array, destroys every leaf entity, clears
    // levelLoaded, and releases the level's texture requests: its
    // lightmaps and any texture no one else uses are deleted.
    void freeLevel();

    // Fetches glActiveTextureARB and glClientActiveTextureARB; false when
    // either is missing (the level is then never ready).
    bool setupMultitexture();

    // Level arrays present and multitexture available.
    bool isReady() const;

    // Draws the faces of the visible leaves near to far, each face once, so
    // the depth test rejects what nearer faces hide before it is textured;
    // then the sky where no face was drawn; then the entities standing in
    // those leaves far to near. Needs a GL context.
    void renderLevel();

    // Leaf containing p; 0 when the level is not ready.
    int findLeaf(const Vector3& p) const;
    // Nonzero when cameraCluster can see leafCluster.
    int clusterVisible(int leafCluster, int cameraCluster) const;
    // Stores the camera's leaf, its cluster and the position they were found at.
    void updateCameraLeaf(Camera& camera, const Vector3& position);
    // Appends to the leaf's list; false (entity left out) when the list is
    // full or the leaf does not exist.
    bool addEntity(int leaf, WorldEntity* entity);

    // The visibility walk alone, without GL: fills visibleLeaves far to near.
    // Returns their number.
    int collectVisibleLeaves();

    // --- level store ---
    Vector3 traceStart, traceEnd;  // segment of the trace in progress

    Camera* camera = nullptr;
    FrameTimer* timer = nullptr;
    Frustum* frustum = nullptr;
    TargetList* targets = nullptr;

    unsigned int* textureHandles = nullptr;   // one per texture record
    unsigned int* lightmapHandles = nullptr;  // one per lightmap

    bsp::BspVertex* vertices = nullptr;
    int32_t* meshVertices = nullptr;
    bsp::BspFace* faces = nullptr;
    int32_t* leafFaces = nullptr;
    bsp::BspPlane* planes = nullptr;
    bsp::BspNode* nodes = nullptr;
    bsp::BspLeaf* leaves = nullptr;
    bsp::BspBrush* brushes = nullptr;
    int32_t* leafBrushes = nullptr;
    bsp::BspBrushSide* brushSides = nullptr;
    bsp::BspTexture* textures = nullptr;
    bsp::BspEffect* effects = nullptr;   // the fog volumes, by faces' effect index
    BrushBounds* brushBounds = nullptr;  // one per brush, made at load for the traces
    PatchCollision* curves = nullptr;    // the curves' collision surfaces, made at load
    uint8_t* faceKinds = nullptr;        // a FaceKind per face, made at load
    SkyLook sky;

    int32_t planeCount = 0;
    int32_t leafCount = 0;
    int32_t nodeCount = 0;
    int32_t brushCount = 0;
    int32_t brushSideCount = 0;
    int32_t leafBrushCount = 0;
    int32_t textureCount = 0;
    int32_t lightmapCount = 0;
    int32_t meshVertexCount = 0;
    int32_t vertexCount = 0;
    int32_t faceCount = 0;
    int32_t leafFaceCount = 0;
    int32_t effectCount = 0;

    int32_t visClusterCount = 0;
    int32_t visBytesPerCluster = 0;
    uint8_t* visBits = nullptr;  // null: every cluster sees every other

    int32_t* faceMarks = nullptr;  // frameCount of the frame each face was last drawn

    BoundingSphere* nodeSpheres = nullptr;
    BoundingSphere* leafSpheres = nullptr;

    LeafEntityList* leafEntities = nullptr;

    ActiveTextureProc activeTexture = nullptr;
    ActiveTextureProc clientActiveTexture = nullptr;
    bool multitextureReady = false;

    bool levelLoaded = false;

    // Texture x light is drawn times this (1 or 2): the part of the level's
    // overbright factor not applied to its data at load (splitOverbright).
    // Faces with a lightmap and vertex-lit faces take it; the sky does not.
    float lightScale = 1.0f;

    // The tone curve over the finished view (drawToneCurve): each channel x
    // becomes x + toneLift * x * (1 - x); 0 leaves the picture as drawn.
    // Only levels read from game-data archives take it: they were lit for
    // engines that tone-map, while loose level files (the shipped level, the
    // compiler's output) were lit for the picture as drawn.
    float toneLift = 0.0f;
    bool levelPacked = false;
    // Draws it over the view of width x height pixels at the window's
    // corner; nothing without a level. Needs a GL context.
    void drawToneCurve(int width, int height);

    // The slower plain drawing, kept as the reference the pictures are
    // checked against: each visible leaf's faces and then its entities, far
    // to near, and every sprite, mark and enemy sphere drawn on its own.
    bool referenceDrawing = false;

    // Scratch of the walk: leaf indices in drawing order. A leaf is listed
    // each time the walk reaches it, at most once per node child slot.
    int32_t* visibleLeaves = nullptr;
    int32_t visibleLeafCount = 0;
    int32_t visibleLeafCapacity = 0;
    RenderStats stats;

    // The faces gathered by addToRun, not drawn yet.
    struct FaceRun {
        unsigned texture = 0, lightmap = 0;
        int64_t lowest = 0, highest = 0;  // vertex range the indices reach
        int64_t vertices = 0;             // vertices of the faces in it
        std::vector<uint32_t> indices;
    };
    FaceRun run;

    // How each texture record's faces are drawn (made at load; empty: all
    // the plain way) and what the stages need beside their pictures.
    std::vector<SurfaceLook> looks;
    std::vector<Vector3> faceCentres;  // for drawing blended faces far to near
    unsigned whiteTexture = 0;
    std::vector<FogVolume> fogs;  // one per effect
    unsigned fogRamp = 0;         // alpha rising from 0 to 1 along s
    // Faces the walk found that are drawn stage by stage, and those inside
    // fog, this frame.
    std::vector<int32_t> stagedOpaque, stagedBlended, foggedFaces;

    // Gives every face its look (makeSurfaceLooks) and the white picture.
    // Needs a GL context; called by the loader once the level is installed.
    void installLooks();

private:
    void walkNode(int node, bool culling);
    void walkLeaf(int leaf, bool culling);
    // 0 inside, 1 outside, 2 intersecting; cone and planes of the frustum.
    int cullVolume(const BoundingSphere& sphere, const int32_t* mins, const int32_t* maxs) const;
    // Texture and lightmap last bound by drawLeafFaces; ~0u: not known.
    struct FaceBinds {
        unsigned texture = ~0u;
        unsigned lightmap = ~0u;
    };
    void drawLeafFaces(int leaf, int32_t frame, FaceBinds& binds);
    // The reference way: pointers, binds and one draw for the face alone.
    void drawFaceAlone(const bsp::BspFace& face, unsigned texture, unsigned lightmap);
    // The usual way: faces with the same pictures whose vertices lie close
    // together are gathered, with indices counted from vertex 0, and drawn
    // with one call.
    void addToRun(const bsp::BspFace& face, unsigned texture, unsigned lightmap, FaceBinds& binds);
    void drawRun(FaceBinds& binds);
    // Behind the faces: after them, only where the depth buffer is clear.
    void drawSky(bool behindFaces);
    void drawSkyBox();
    void drawCloudLayers(const SurfaceLook& look);
    // The faces drawn stage by stage: opaque ones, then (after the sky)
    // blended ones by sort and far to near.
    void drawStagedFaces(std::vector<int32_t>& list, bool blended);
    void drawStagedGroup(const int32_t* list, int count);
    // One stage's state: picture, blending, tests, colours, coordinates.
    // False when it has nothing to draw with.
    bool applyStage(const SurfaceLook& look, int stage, int texture, unsigned lightmap, bool lit,
                    const float* texCoords, const float* lightmapCoords, int coordStride,
                    const uint8_t* colours, int colourStride);
    void drawFaceOnCpu(const SurfaceLook& look, int texture, const bsp::BspFace& face);
    void drawVertexLit(const int32_t* list, int count);
    void gatherIndices(const int32_t* list, int count);
    float frameSeconds() const;
    // lightScale where the GL can combine textures with a scale, else 1.
    float drawnLightScale();
    // Fog over the faces inside fog volumes, thicker with distance.
    void drawFog();
    // Gives back every texture request the level made (see freeLevel).
    void releaseLevelTextures();
    void runLeafEntities(int leaf);

    // Scratch of the stage drawing.
    std::vector<uint32_t> groupIndices;
    std::vector<float> cpuPositions, cpuTexCoords, cpuLightmapCoords;
    std::vector<uint8_t> cpuColours;
    std::vector<float> skyDome;  // x y z s t per vertex, around the origin
    std::vector<uint32_t> skyDomeIndices;
    float skyDomeHeight = -1.0f;  // the cloud height the dome was made for
    unsigned toneTexture = 0;     // the view copied for the tone curve
    int toneTextureSize = 0;
    int combineScale = -1;        // the GL scales combined textures: 1 yes, 0 no, -1 not asked
};
