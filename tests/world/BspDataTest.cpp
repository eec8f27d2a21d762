// Reading, converting and checking level files, without GL.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "RealLevels.h"
#include "TestLevel.h"
#include "app/FrameTimer.h"
#include "app/TargetList.h"
#include "platform/SystemLog.h"
#include "world/BspData.h"
#include "world/BspLoader.h"
#include "world/Camera.h"
#include "world/Frustum.h"
#include "world/LevelValidation.h"
#include "world/Renderer.h"

namespace {

bool readAndValidate(const std::vector<uint8_t>& bytes, BspData& data, std::string* why = nullptr)
{
    char problem[256] = "";
    bool ok = readBspBuffer(bytes.data(), bytes.size(), data, problem, sizeof(problem)) ==
                  BspReadError::None &&
              validateLevel(data, problem, sizeof(problem));
    if (why)
        *why = problem;
    return ok;
}

bool accepts(const TestLevel& level)
{
    BspData data;
    return readAndValidate(level.bytes(), data);
}

std::string lastLogLine()
{
    SystemLog& log = SystemLog::get();
    return log.storedLines() ? log.line(log.storedLines() - 1) : "";
}

} // namespace

TEST(BspConversion, FileFrameBecomesYUp)
{
    bsp::BspPlane plane{{0, 0, 1}, 7};
    convertPlane(plane);
    EXPECT_EQ(plane.normal[0], 0.0f);
    EXPECT_EQ(plane.normal[1], 1.0f);
    EXPECT_EQ(plane.normal[2], -0.0f);
    EXPECT_EQ(plane.distance, 7.0f);

    bsp::BspVertex vertex{};
    vertex.position[0] = 10;
    vertex.position[1] = 20;
    vertex.position[2] = 30;
    vertex.texCoord[1] = 0.25f;
    vertex.lightmapCoord[1] = 0.5f;
    convertVertex(vertex);
    EXPECT_EQ(vertex.position[0], 10.0f);
    EXPECT_EQ(vertex.position[1], 30.0f);
    EXPECT_EQ(vertex.position[2], -20.0f);
    EXPECT_EQ(vertex.texCoord[1], -0.25f);
    EXPECT_EQ(vertex.lightmapCoord[1], 0.5f);  // lightmap coordinates stay

    int32_t mins[3] = {0, 0, 0}, maxs[3] = {10, 20, 30};
    convertCorner(mins);
    convertCorner(maxs);
    EXPECT_EQ(maxs[0], 10);
    EXPECT_EQ(maxs[1], 30);
    EXPECT_EQ(maxs[2], -20);
    BoundingSphere s = sphereAroundBox(mins, maxs);
    EXPECT_EQ(s.center.x, 5.0f);
    EXPECT_EQ(s.center.y, 15.0f);
    EXPECT_EQ(s.center.z, -10.0f);
    EXPECT_FLOAT_EQ(s.radius, std::sqrt(25.0f + 225.0f + 100.0f));
    EXPECT_FLOAT_EQ(s.radiusSquared, s.radius * s.radius);

    // Halving truncates toward zero; extreme corners do not overflow.
    int32_t a[3] = {0, 0, INT32_MIN}, b[3] = {-7, -7, INT32_MAX};
    EXPECT_EQ(sphereAroundBox(a, b).center.x, -3.0f);
    int32_t lowest[3] = {INT32_MIN, 0, INT32_MIN};
    convertCorner(lowest);
    EXPECT_EQ(lowest[2], 0);
}

TEST(BspRead, SmallLevelReadsAndConverts)
{
    TestLevel level;
    level.leaves[0].maxs[1] = 20;
    level.leaves[0].maxs[2] = 30;
    std::vector<uint8_t> bytes = level.bytes();
    // Trailing bytes of a lump that are not a whole record are ignored.
    BspData data;
    ASSERT_TRUE(readAndValidate(bytes, data));
    EXPECT_EQ(data.planeCount, 2);
    EXPECT_EQ(data.faceCount, 3);
    EXPECT_EQ(data.lightmapCount, 1);
    EXPECT_EQ(data.visClusterCount, 2);
    EXPECT_EQ(data.planes[1].normal[1], 1.0f);
    EXPECT_EQ(data.leaves[0].maxs[1], 30);
    EXPECT_EQ(data.leaves[0].maxs[2], -20);
    EXPECT_EQ(data.vertices[0].texCoord[1], -0.25f);
    EXPECT_STREQ(data.entities, level.entities.c_str());

    level.vertices.resize(level.vertices.size());
    bsp::BspHeader header;
    memcpy(&header, bytes.data(), sizeof(header));
    header.lumps[bsp::LumpPlanes].length += 15;
    header.version = 12345;  // never looked at
    memcpy(bytes.data(), &header, sizeof(header));
    ASSERT_TRUE(readAndValidate(bytes, data));
    EXPECT_EQ(data.planeCount, 2);

    // No visibility lump: a null bit array.
    level.hasVisibility = false;
    ASSERT_TRUE(readAndValidate(level.bytes(), data));
    EXPECT_EQ(data.visBits, nullptr);
}

TEST(BspRead, DamagedHeadersAreRefused)
{
    TestLevel level;
    std::vector<uint8_t> good = level.bytes();
    BspData data;
    char problem[256];

    std::vector<uint8_t> bytes = good;
    bytes[0] = 'X';
    EXPECT_EQ(readBspBuffer(bytes.data(), bytes.size(), data, problem, sizeof problem),
              BspReadError::NotIbsp);
    for (size_t cut : {size_t(0), size_t(3), size_t(4), size_t(100), size_t(143), size_t(144),
                       good.size() / 2, good.size() - 1}) {
        EXPECT_NE(readBspBuffer(good.data(), cut, data, problem, sizeof problem),
                  BspReadError::None)
            << "cut at " << cut;
        EXPECT_EQ(data.nodes, nullptr);
    }
    auto withLump = [&](int lump, int32_t offset, int32_t length) {
        std::vector<uint8_t> b = good;
        memcpy(b.data() + 8 + 8 * lump, &offset, 4);
        memcpy(b.data() + 12 + 8 * lump, &length, 4);
        return readBspBuffer(b.data(), b.size(), data, problem, sizeof problem);
    };
    int32_t size = int32_t(good.size());
    for (int lump = 0; lump < bsp::kLumpCount; lump++) {
        EXPECT_EQ(withLump(lump, size - 4, 8), BspReadError::Corrupt) << lump;
        EXPECT_EQ(withLump(lump, 144, -8), BspReadError::Corrupt) << lump;
        EXPECT_EQ(withLump(lump, -4, 4), BspReadError::Corrupt) << lump;
        EXPECT_EQ(withLump(lump, INT32_MAX, INT32_MAX), BspReadError::Corrupt) << lump;
    }
    EXPECT_EQ(withLump(bsp::LumpVisibility, 144, 4), BspReadError::Corrupt);
    EXPECT_EQ(readBspFile("no/such/level.bsp", data, problem, sizeof problem),
              BspReadError::CannotOpen);
}

TEST(BspValidation, EveryFollowedIndexIsChecked)
{
    EXPECT_TRUE(accepts(TestLevel()));
    using Bend = std::function<void(TestLevel&)>;
    const std::pair<const char*, Bend> cases[] = {
        {"no nodes", [](TestLevel& l) { l.nodes.clear(); }},
        {"node plane", [](TestLevel& l) { l.nodes[0].plane = 2; }},
        {"negative node plane", [](TestLevel& l) { l.nodes[0].plane = -1; }},
        {"node child", [](TestLevel& l) { l.nodes[0].children[0] = 1; }},
        {"leaf child", [](TestLevel& l) { l.nodes[0].children[1] = -3; }},
        {"node loop", [](TestLevel& l) { l.nodes[0].children[0] = 0; }},
        {"node reached twice",
         [](TestLevel& l) {
             l.nodes[0].children[0] = 1;
             l.nodes[0].children[1] = 1;
             l.nodes.push_back({0, {-1, -2}, {0, 0, 0}, {1, 1, 1}});
         }},
        {"leaf face range", [](TestLevel& l) { l.leaves[1].leafFaceCount = 3; }},
        {"leaf face negative count", [](TestLevel& l) { l.leaves[1].leafFaceCount = -1; }},
        {"leaf face first", [](TestLevel& l) { l.leaves[0].firstLeafFace = INT32_MAX; }},
        {"leaf brush range", [](TestLevel& l) { l.leaves[0].leafBrushCount = 2; }},
        {"leaf face value", [](TestLevel& l) { l.leafFaces[3] = 3; }},
        {"leaf brush value", [](TestLevel& l) { l.leafBrushes[0] = -1; }},
        {"cluster beyond rows", [](TestLevel& l) { l.leaves[0].cluster = 2; }},
        {"cluster below -1", [](TestLevel& l) { l.leaves[0].cluster = -9; }},
        {"rows too narrow", [](TestLevel& l) {
             l.visClusters = 9;
             l.visBits.assign(9, 0xff);
         }},
        {"face texture", [](TestLevel& l) { l.faces[2].texture = 1; }},
        {"face vertex range", [](TestLevel& l) { l.faces[1].vertexCount = 7; }},
        {"face first vertex", [](TestLevel& l) { l.faces[0].firstVertex = -1; }},
        {"face mesh range", [](TestLevel& l) { l.faces[1].firstMeshVertex = 7; }},
        {"mesh vertex value", [](TestLevel& l) { l.meshVertices[4] = 3; }},
        {"negative mesh vertex", [](TestLevel& l) { l.meshVertices[0] = -1; }},
        {"brush side range", [](TestLevel& l) { l.brushes[0].sideCount = 2; }},
        {"brush texture", [](TestLevel& l) { l.brushes[0].texture = 5; }},
        {"brush side plane", [](TestLevel& l) { l.brushSides[0].plane = 2; }},
        {"short visibility", [](TestLevel& l) { l.visBits.resize(1); }},
    };
    for (const auto& c : cases) {
        TestLevel level;
        c.second(level);
        EXPECT_FALSE(accepts(level)) << c.first;
    }

    // Not followed, so not refused: patch ranges, lightmaps, cluster -1.
    TestLevel level;
    level.faces[2].vertexCount = 1000;
    level.faces[2].meshVertexCount = -5;
    level.faces[0].lightmap = 99;
    level.leaves[1].cluster = -1;
    EXPECT_TRUE(accepts(level));

    // A chain deeper than any walk should go.
    TestLevel deep;
    deep.nodes.clear();
    for (int i = 0; i <= kMaxTreeDepth; i++)
        deep.nodes.push_back({0, {i + 1, -1}, {0, 0, 0}, {1, 1, 1}});
    deep.nodes.back().children[0] = -2;
    EXPECT_FALSE(accepts(deep));
    deep.nodes.erase(deep.nodes.begin());
    for (auto& node : deep.nodes)
        node.children[0] = node.children[0] > 0 ? node.children[0] - 1 : node.children[0];
    EXPECT_TRUE(accepts(deep));
}

// The loader's failures: one red line naming the path, and the level that
// was there stays as it was.
TEST(BspLoader, FailuresLeaveTheRendererAlone)
{
    TargetList targets;
    Camera camera;
    Frustum frustum;
    FrameTimer timer;
    Renderer renderer;
    int32_t marker[1] = {42};
    renderer.leafFaces = marker;  // stands for a level already held
    renderer.leafFaceCount = 1;

    BspLoader loader;
    EXPECT_FALSE(loader.load("no/such/level.bsp", &targets));
    EXPECT_EQ(lastLogLine(), LOG_RED "::BspLoader ERROR: file does not exist: no/such/level.bsp");

    TestLevel level;
    std::vector<uint8_t> bytes = level.bytes();
    bytes[1] = 'X';
    FILE* f = fopen("not_ibsp.bsp", "wb");
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    EXPECT_FALSE(loader.load("not_ibsp.bsp", &targets));
    EXPECT_EQ(lastLogLine(), LOG_RED "::BspLoader ERROR: file is not a Quake3 BSP file: not_ibsp.bsp");

    level.faces[0].texture = 7;
    ASSERT_TRUE(level.write("bad_texture.bsp"));
    uint32_t before = SystemLog::get().lineCount();
    EXPECT_FALSE(loader.load("bad_texture.bsp", &targets));
    EXPECT_EQ(SystemLog::get().lineCount(), before + 2);  // loading, then the error
    EXPECT_NE(lastLogLine().find(LOG_RED "::BspLoader ERROR: corrupt map bad_texture.bsp: face 0 texture 7"),
              std::string::npos)
        << lastLogLine();

    EXPECT_EQ(renderer.leafFaces, marker);
    EXPECT_EQ(renderer.nodes, nullptr);
    EXPECT_FALSE(renderer.levelLoaded);
    renderer.leafFaces = nullptr;
    renderer.leafFaceCount = 0;
}

// Every real level reads and passes the checks, and agrees with a reading
// of its bytes made here.
TEST(RealLevels, ReadAsTheBytesSay)
{
    std::vector<std::string> paths = realLevels();
    ASSERT_EQ(paths.size(), 50u) << realLevelDir();
    const int recordSizes[bsp::kLumpCount] = {1, 72, 16, 36, 48, 4, 4, 40, 12, 8, 44, 4, 72, 104,
                                              49152, 8, 1};
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        std::vector<uint8_t> b = readWholeFile(path);
        ASSERT_GT(b.size(), 144u);
        BspData data;
        char problem[256] = "";
        ASSERT_EQ(readBspFile(path.c_str(), data, problem, sizeof problem), BspReadError::None)
            << problem;
        ASSERT_TRUE(validateLevel(data, problem, sizeof problem)) << problem;

        auto count = [&](int lump) { return lumpLength(b, lump) / recordSizes[lump]; };
        EXPECT_EQ(data.textureCount, count(1));
        EXPECT_EQ(data.planeCount, count(2));
        EXPECT_EQ(data.nodeCount, count(3));
        EXPECT_EQ(data.leafCount, count(4));
        EXPECT_EQ(data.leafFaceCount, count(5));
        EXPECT_EQ(data.leafBrushCount, count(6));
        EXPECT_EQ(data.brushCount, count(8));
        EXPECT_EQ(data.brushSideCount, count(9));
        EXPECT_EQ(data.vertexCount, count(10));
        EXPECT_EQ(data.meshVertexCount, count(11));
        EXPECT_EQ(data.faceCount, count(13));
        EXPECT_EQ(data.lightmapCount, count(14));
        EXPECT_EQ(data.entityLength, lumpLength(b, 0));

        ASSERT_GT(data.vertexCount, 0);
        for (int which : {0, data.vertexCount - 1}) {
            size_t at = size_t(lumpOffset(b, 10)) + size_t(which) * 44;
            const bsp::BspVertex& v = data.vertices[which];
            EXPECT_EQ(v.position[0], readFloat(b, at));
            EXPECT_EQ(v.position[1], readFloat(b, at + 8));
            EXPECT_EQ(v.position[2], -readFloat(b, at + 4));
            EXPECT_EQ(v.texCoord[0], readFloat(b, at + 12));
            EXPECT_EQ(v.texCoord[1], -readFloat(b, at + 16));
            EXPECT_EQ(v.lightmapCoord[1], readFloat(b, at + 24));
        }
        ASSERT_GT(data.planeCount, 0);
        for (int which : {0, data.planeCount - 1}) {
            size_t at = size_t(lumpOffset(b, 2)) + size_t(which) * 16;
            const bsp::BspPlane& p = data.planes[which];
            EXPECT_EQ(p.normal[0], readFloat(b, at));
            EXPECT_EQ(p.normal[1], readFloat(b, at + 8));
            EXPECT_EQ(p.normal[2], -readFloat(b, at + 4));
            EXPECT_EQ(p.distance, readFloat(b, at + 12));
        }
        if (lumpLength(b, 16) > 0) {
            EXPECT_EQ(data.visClusterCount, readInt(b, size_t(lumpOffset(b, 16))));
            EXPECT_EQ(data.visBytesPerCluster, readInt(b, size_t(lumpOffset(b, 16)) + 4));
        }
    }
}
