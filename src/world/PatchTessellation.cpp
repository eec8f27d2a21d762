// Cutting curved patches into triangles, finer where they bend more.
#include "world/PatchTessellation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "world/BspData.h"

namespace {

using bsp::BspVertex;

// How far the curve through a, b, c strays from its chord at the middle.
float bend(const Vector3& a, const Vector3& b, const Vector3& c)
{
    return ((a + c) * 0.5f - b).length() * 0.5f;
}

// n segments leave a chord error of about bend / n^2.
int stepsFor(float deviation, float tolerance, int maxSteps)
{
    if (!(deviation > 0.0f))
        return 1;
    float n = std::ceil(std::sqrt(deviation / tolerance));
    return int(std::min(float(maxSteps), std::max(1.0f, n)));
}

BspVertex blend(const BspVertex* p[3], const float w[3])
{
    BspVertex out;
    std::memset(&out, 0, sizeof(out));
    float colour[4] = {0, 0, 0, 0};
    for (int k = 0; k < 3; k++) {
        for (int i = 0; i < 3; i++) {
            out.position[i] += p[k]->position[i] * w[k];
            out.normal[i] += p[k]->normal[i] * w[k];
        }
        for (int i = 0; i < 2; i++) {
            out.texCoord[i] += p[k]->texCoord[i] * w[k];
            out.lightmapCoord[i] += p[k]->lightmapCoord[i] * w[k];
        }
        for (int i = 0; i < 4; i++)
            colour[i] += p[k]->color[i] * w[k];
    }
    for (int i = 0; i < 4; i++)
        out.color[i] = uint8_t(std::min(255.0f, std::max(0.0f, colour[i] + 0.5f)));
    return out;
}

void weights(float t, float w[3])
{
    w[0] = (1 - t) * (1 - t);
    w[1] = 2 * t * (1 - t);
    w[2] = t * t;
}

// A patch left out has no steps.
using Steps = PatchSteps;
const Steps kNotDrawn = {0, 0};

long verticesOf(const bsp::BspFace& f, Steps s)
{
    return long((f.patchSize[0] - 1) / 2 * s.u + 1) * long((f.patchSize[1] - 1) / 2 * s.v + 1);
}

Steps capped(Steps s, int cap) { return {std::min(s.u, cap), std::min(s.v, cap)}; }

// Fits the level's patches into the budget: the steps per block halved
// until the whole fits; past that, the patches beyond it are dropped.
void fitBudget(const BspData& d, const std::vector<int>& faces, std::vector<Steps>& steps, PatchReport& report)
{
    int cap = kMaxPatchSteps;
    for (;; cap /= 2) {
        long vertices = 0, triangles = 0;
        for (size_t i = 0; i < faces.size(); i++) {
            vertices += verticesOf(d.faces[faces[i]], capped(steps[i], cap));
            triangles += patchTriangles(d.faces[faces[i]], capped(steps[i], cap));
        }
        if ((vertices <= kPatchVertexBudget && triangles <= kPatchTriangleBudget) || cap == 1)
            break;
    }
    report.stepCap = cap;
    long vertices = 0, triangles = 0;
    for (size_t i = 0; i < faces.size(); i++) {
        Steps s = capped(steps[i], cap);
        long v = verticesOf(d.faces[faces[i]], s), t = patchTriangles(d.faces[faces[i]], s);
        if (vertices + v > kPatchVertexBudget || triangles + t > kPatchTriangleBudget) {
            s = kNotDrawn;  // a smaller one later may still fit
            report.overBudget++;
        } else {
            vertices += v;
            triangles += t;
        }
        steps[i] = s;
    }
}

// The grid of one patch, appended to vertices; its triangles to indices.
void tessellate(const BspData& d, const bsp::BspFace& f, Steps steps, std::vector<BspVertex>& vertices,
                std::vector<int32_t>& indices)
{
    int w = f.patchSize[0], h = f.patchSize[1];
    int blocksU = (w - 1) / 2, blocksV = (h - 1) / 2;
    const BspVertex* grid = d.vertices + f.firstVertex;
    auto control = [&](int u, int v) -> const BspVertex& { return grid[v * w + u]; };
    int stepsU = steps.u, stepsV = steps.v;

    int sideU = blocksU * stepsU + 1, sideV = blocksV * stepsV + 1;
    size_t first = vertices.size();
    for (int j = 0; j < sideV; j++) {
        int bv = std::min(j / stepsV, blocksV - 1);
        float wv[3];
        weights(float(j - bv * stepsV) / float(stepsV), wv);
        for (int i = 0; i < sideU; i++) {
            int bu = std::min(i / stepsU, blocksU - 1);
            float wu[3];
            weights(float(i - bu * stepsU) / float(stepsU), wu);
            // Along u in each of the three control rows, then along v.
            BspVertex rows[3];
            for (int r = 0; r < 3; r++) {
                const BspVertex* p[3] = {&control(2 * bu, 2 * bv + r), &control(2 * bu + 1, 2 * bv + r),
                                         &control(2 * bu + 2, 2 * bv + r)};
                rows[r] = blend(p, wu);
            }
            const BspVertex* p[3] = {&rows[0], &rows[1], &rows[2]};
            vertices.push_back(blend(p, wv));
        }
    }
    // Front faces turn clockwise seen from their normal's side, as the
    // level's own triangles do; normals are still in the file's z-up frame.
    auto add = [&](int a, int b, int c) {
        const BspVertex& va = vertices[first + size_t(a)];
        Vector3 n(va.normal[0], va.normal[2], -va.normal[1]);
        Vector3 facing = (vertexPosition(vertices[first + size_t(b)]) - vertexPosition(va))
                             .cross(vertexPosition(vertices[first + size_t(c)]) - vertexPosition(va));
        if (facing.dot(n) > 0.0f)
            std::swap(b, c);
        indices.push_back(a);
        indices.push_back(b);
        indices.push_back(c);
    };
    for (int j = 0; j + 1 < sideV; j++) {
        for (int i = 0; i + 1 < sideU; i++) {
            int a = j * sideU + i;
            add(a, a + 1, a + sideU + 1);
            add(a, a + sideU + 1, a + sideU);
        }
    }
}

} // namespace

bool checkPatch(const BspData& d, const bsp::BspFace& f, char* why, size_t size)
{
    int w = f.patchSize[0], h = f.patchSize[1];
    if (w < 3 || h < 3 || w % 2 == 0 || h % 2 == 0 || w > kMaxControlSide || h > kMaxControlSide) {
        snprintf(why, size, "control grid %d x %d (sides must be odd, 3 to %d)", w, h, kMaxControlSide);
        return false;
    }
    if (f.firstVertex < 0 || f.vertexCount < 0 || int64_t(f.firstVertex) + f.vertexCount > d.vertexCount) {
        snprintf(why, size, "vertices %d+%d outside the %d of the level", f.firstVertex, f.vertexCount,
                 d.vertexCount);
        return false;
    }
    if (f.vertexCount < w * h) {
        snprintf(why, size, "%d vertices for a %d x %d control grid (%d needed)", f.vertexCount, w, h, w * h);
        return false;
    }
    return true;
}

long patchTriangles(const bsp::BspFace& f, PatchSteps s)
{
    return 2L * ((f.patchSize[0] - 1) / 2 * s.u) * ((f.patchSize[1] - 1) / 2 * s.v);
}

PatchSteps patchSteps(const BspData& data, const bsp::BspFace& face, float tolerance, int maxSteps,
                      int maxCells)
{
    int w = face.patchSize[0], h = face.patchSize[1];
    const BspVertex* grid = data.vertices + face.firstVertex;
    auto p = [&](int u, int v) { return vertexPosition(grid[v * w + u]); };
    PatchSteps s;
    for (int v = 0; v < h; v++)
        for (int u = 0; u + 2 < w; u += 2)
            s.u = std::max(s.u, stepsFor(bend(p(u, v), p(u + 1, v), p(u + 2, v)), tolerance, maxSteps));
    for (int u = 0; u < w; u++)
        for (int v = 0; v + 2 < h; v += 2)
            s.v = std::max(s.v, stepsFor(bend(p(u, v), p(u, v + 1), p(u, v + 2)), tolerance, maxSteps));
    s.u = std::max(1, std::min(s.u, maxCells / ((w - 1) / 2)));
    s.v = std::max(1, std::min(s.v, maxCells / ((h - 1) / 2)));
    return s;
}

bool tessellatePatches(BspData& d, PatchReport& report)
{
    bool any = false;
    for (int i = 0; i < d.faceCount; i++)
        any = any || d.faces[i].type == bsp::FacePatch;
    if (!any)
        return true;

    std::vector<BspVertex> vertices;
    std::vector<int32_t> indices;
    try {
        std::vector<int> good;
        std::vector<Steps> steps;
        for (int i = 0; i < d.faceCount; i++) {
            bsp::BspFace& f = d.faces[i];
            if (f.type != bsp::FacePatch)
                continue;
            char why[160];
            if (!checkPatch(d, f, why, sizeof(why))) {
                char line[200];
                snprintf(line, sizeof(line), "patch face %d skipped: %s", i, why);
                report.skipped.push_back(line);
                f.firstVertex = f.vertexCount = f.firstMeshVertex = f.meshVertexCount = 0;
                continue;
            }
            good.push_back(i);
            steps.push_back(patchSteps(d, f, kPatchTolerance, kMaxPatchSteps, kMaxPatchSide - 1));
        }
        fitBudget(d, good, steps, report);

        vertices.assign(d.vertices, d.vertices + d.vertexCount);
        indices.assign(d.meshVertices, d.meshVertices + d.meshVertexCount);
        for (size_t i = 0; i < good.size(); i++) {
            bsp::BspFace& f = d.faces[good[i]];
            if (steps[i].u == 0) {
                f.firstVertex = f.vertexCount = f.firstMeshVertex = f.meshVertexCount = 0;
                continue;
            }
            size_t firstVertex = vertices.size(), firstIndex = indices.size();
            tessellate(d, f, steps[i], vertices, indices);
            if (vertices.size() > size_t(INT32_MAX) || indices.size() > size_t(INT32_MAX))
                return false;
            f.firstVertex = int32_t(firstVertex);
            f.vertexCount = int32_t(vertices.size() - firstVertex);
            f.firstMeshVertex = int32_t(firstIndex);
            f.meshVertexCount = int32_t(indices.size() - firstIndex);
            report.tessellated++;
            report.triangles += f.meshVertexCount / 3;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    BspVertex* newVertices = new (std::nothrow) BspVertex[vertices.size()];
    int32_t* newIndices = new (std::nothrow) int32_t[indices.size() + 1];
    if (!newVertices || !newIndices) {
        delete[] newVertices;
        delete[] newIndices;
        return false;
    }
    std::copy(vertices.begin(), vertices.end(), newVertices);
    std::copy(indices.begin(), indices.end(), newIndices);
    delete[] d.vertices;
    delete[] d.meshVertices;
    d.vertices = newVertices;
    d.meshVertices = newIndices;
    d.vertexCount = int32_t(vertices.size());
    d.meshVertexCount = int32_t(indices.size());
    return true;
}
