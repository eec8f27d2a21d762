// Damaged copies of real levels: bit flips, cuts, swapped lump directory
// entries and wild indices. Each is read and checked under the sanitizers;
// the ones accepted are handed to a renderer and walked, which must stay in
// bounds too.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

#include "RealLevels.h"
#include "app/FrameTimer.h"
#include "app/TargetList.h"
#include "world/BspData.h"
#include "world/BspLoader.h"
#include "world/Camera.h"
#include "world/Collision.h"
#include "world/Frustum.h"
#include "world/LevelValidation.h"
#include "world/PatchTessellation.h"
#include "world/Renderer.h"

#ifndef LEVEL_FUZZ_ROUNDS
#define LEVEL_FUZZ_ROUNDS 250
#endif
#ifndef LEVEL_FUZZ_LEVELS
#define LEVEL_FUZZ_LEVELS 3
#endif

namespace {

void noTexture(unsigned int) {}

struct FuzzWorld {
    TargetList targets;
    Frustum frustum;
    FrameTimer timer;
    Camera camera;
    Renderer renderer;
    FuzzWorld()
    {
        renderer.activeTexture = renderer.clientActiveTexture = noTexture;
        renderer.multitextureReady = true;
        frustum.setViewport(400.0f, 300.0f, 1.0f);
    }
};

// A 45 degree, 4:3 perspective looking down -z from `eye`, column-major.
void aimFrustum(Frustum& frustum, const Vector3& eye)
{
    float f = 1.0f / std::tan(22.5f * 3.14159265f / 180.0f), n = 1.0f, r = 3000.0f;
    float projection[16] = {f / (4.0f / 3.0f), 0, 0, 0, 0, f, 0, 0,
                            0, 0, (r + n) / (n - r), -1, 0, 0, 2 * r * n / (n - r), 0};
    float view[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -eye.x, -eye.y, -eye.z, 1};
    frustum.updateFromMatrices(projection, view, eye, Vector3(0, 0, -1));
}

void mutate(std::vector<uint8_t>& b, std::mt19937& rng)
{
    auto pick = [&](uint32_t n) { return n ? uint32_t(rng() % n) : 0u; };
    const int indexLumps[] = {3, 4, 5, 6, 8, 9, 11, 13, 16};
    switch (pick(5)) {
    case 0:  // a few bit flips anywhere, the header most of all
        for (uint32_t i = 0, n = 1 + pick(8); i < n; i++) {
            size_t at = pick(2) ? pick(144) : pick(uint32_t(b.size()));
            b[at] ^= uint8_t(1u << pick(8));
        }
        break;
    case 1:  // cut short
        b.resize(pick(uint32_t(b.size())));
        break;
    case 2: {  // two lump directory entries swapped
        int x = int(pick(17)), y = int(pick(17));
        for (int k = 0; k < 8; k++)
            std::swap(b[size_t(8 + 8 * x + k)], b[size_t(8 + 8 * y + k)]);
        break;
    }
    case 3: {  // an offset or length replaced
        size_t at = 8 + 4 * pick(34);
        int32_t values[] = {-1, 0, 1, INT32_MAX, INT32_MIN, int32_t(b.size()), int32_t(rng())};
        int32_t v = values[pick(7)];
        memcpy(&b[at], &v, 4);
        break;
    }
    default: {  // an int inside a lump that holds indices
        int lump = indexLumps[pick(9)];
        int32_t offset = lumpOffset(b, lump), length = lumpLength(b, lump);
        // Earlier mutations may have bent the directory.
        if (offset < 0 || length < 4 || int64_t(offset) + length > int64_t(b.size()))
            break;
        size_t at = size_t(offset) + 4 * pick(uint32_t(length / 4));
        int32_t values[] = {-1, -2, -100000, 1 << 20, INT32_MAX, INT32_MIN, int32_t(pick(4096))};
        int32_t v = values[pick(7)];
        memcpy(&b[at], &v, 4);
        break;
    }
    }
}

// Everything the game does with a level but draw it.
void exercise(FuzzWorld& world, BspData& data, std::mt19937& rng)
{
    Renderer& r = world.renderer;
    unsigned* textureHandles = new unsigned[size_t(data.textureCount) + 1]();
    unsigned* lightmapHandles = new unsigned[size_t(data.lightmapCount) + 1]();
    BspLoader::install(data, r, textureHandles, lightmapHandles);
    for (int i = 0; i < 8; i++) {
        Vector3 eye;
        if (r.vertexCount > 0) {
            const float* p = r.vertices[rng() % uint32_t(r.vertexCount)].position;
            eye = Vector3(p[0], p[1], p[2]);
        }
        r.updateCameraLeaf(world.camera, eye);
        ASSERT_GE(world.camera.leaf, 0);
        ASSERT_LT(world.camera.leaf, r.leafCount);
        aimFrustum(world.frustum, eye);
        int count = r.collectVisibleLeaves();
        ASSERT_LE(count, r.visibleLeafCapacity);
        for (int k = 0; k < count; k++) {
            const bsp::BspLeaf& leaf = r.leaves[r.visibleLeaves[k]];
            for (int f = leaf.firstLeafFace; f < leaf.firstLeafFace + leaf.leafFaceCount; f++)
                r.faceMarks[r.leafFaces[f]] = i;
        }
        // Shots and bodies through whatever the file holds.
        TraceResult trace;
        Vector3 end = eye + Vector3(float(rng() % 512), -200.0f, float(rng() % 512) - 256.0f);
        sphereTrace(r, trace, eye, end, 20.0f);
        rayTrace(r, trace, end, eye, false, 0);
    }
    r.freeLevel();
}

} // namespace

TEST(LevelFuzz, DamagedRealLevels)
{
    std::vector<std::string> paths = realLevels();
    ASSERT_FALSE(paths.empty());
    // The smallest levels first: more rounds per second.
    std::sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
        return readWholeFile(a).size() < readWholeFile(b).size();
    });
    paths.resize(std::min(paths.size(), size_t(LEVEL_FUZZ_LEVELS)));

    FuzzWorld world;
    std::mt19937 rng(20240611u);
    int accepted = 0, refused = 0;
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const std::vector<uint8_t> original = readWholeFile(path);
        for (int round = 0; round < LEVEL_FUZZ_ROUNDS; round++) {
            std::vector<uint8_t> bytes = original;
            for (uint32_t n = 1 + rng() % 3; n > 0 && bytes.size() >= 144; n--)
                mutate(bytes, rng);
            BspData data;
            char problem[256];
            problem[0] = '\0';
            bool read = readBspBuffer(bytes.data(), bytes.size(), data, problem,
                                      sizeof problem) == BspReadError::None;
            if (!read) {
                EXPECT_EQ(data.nodes, nullptr);  // a failed read keeps nothing
            }
            PatchReport patches;  // damaged patch grids are skipped, never followed
            if (read && validateLevel(data, problem, sizeof problem) &&
                tessellatePatches(data, patches)) {
                accepted++;
                exercise(world, data, rng);
            } else {
                refused++;
                EXPECT_NE(problem[0], '\0');
            }
        }
    }
    printf("accepted %d, refused %d\n", accepted, refused);
    EXPECT_GT(accepted, 0);
    EXPECT_GT(refused, 0);
}
