// Turning curved patches into collision surfaces filed by leaf.
#include "world/PatchCollision.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "world/BspData.h"
#include "world/PatchTessellation.h"

namespace {

// Control points beyond this are broken data, not a level.
constexpr float kMaxCoordinate = 1.0e6f;
// Twice the area under which a triangle is a sliver with no surface.
constexpr float kMinDoubleArea = 1.0e-3f;
// Two surfaces folded flat onto each other have no plane halfway between.
constexpr float kMinBisectorLength = 0.1f;
constexpr int kMaxCurveSide = 64;
// Leaf listings of all curves together, at most.
constexpr size_t kMaxCurveListings = size_t(1) << 22;

using bsp::BspVertex;

// A patch cut into a grid of sideU x sideV points, with the control
// points' normals (controlU x controlV) to tell its front.
struct CurveGrid {
    int sideU = 0, sideV = 0;
    std::vector<Vector3> points;
    int controlU = 0, controlV = 0, stepsU = 1, stepsV = 1;
    const BspVertex* control = nullptr;
    const Vector3& at(int i, int j) const { return points[size_t(j) * size_t(sideU) + size_t(i)]; }
    // The normal of the control point nearest grid point (i, j).
    Vector3 controlNormal(int i, int j) const
    {
        int u = std::min(controlU - 1, (2 * i + stepsU / 2) / stepsU);
        int v = std::min(controlV - 1, (2 * j + stepsV / 2) / stepsV);
        const float* n = control[v * controlU + u].normal;
        return Vector3(n[0], n[1], n[2]);
    }
};

using Steps = PatchSteps;

// A patch the drawing could cut, with every control point in reach.
bool usablePatch(const BspData& data, const bsp::BspFace& face)
{
    char why[160];
    if (!checkPatch(data, face, why, sizeof(why)))
        return false;
    int w = face.patchSize[0], h = face.patchSize[1];
    for (int i = 0; i < w * h; i++) {
        const float* p = data.vertices[face.firstVertex + i].position;
        for (int k = 0; k < 3; k++)
            if (!(std::fabs(p[k]) < kMaxCoordinate))
                return false;
    }
    return true;
}

bool collides(const BspData& data, const bsp::BspFace& face)
{
    if (face.texture < 0 || face.texture >= data.textureCount)
        return false;
    const bsp::BspTexture& texture = data.textures[face.texture];
    if (texture.flags & bsp::kSurfaceNonSolid)
        return false;
    return (texture.contents & (bsp::kContentsSolid | bsp::kContentsPlayerClip)) != 0;
}

Vector3 bezier(const Vector3 p[3], float t)
{
    float w0 = (1 - t) * (1 - t), w1 = 2 * t * (1 - t), w2 = t * t;
    return p[0] * w0 + p[1] * w1 + p[2] * w2;
}

void cutGrid(const BspData& data, const bsp::BspFace& face, const Steps& steps, CurveGrid& grid)
{
    int w = face.patchSize[0];
    int blocksU = (w - 1) / 2, blocksV = (face.patchSize[1] - 1) / 2;
    const BspVertex* control = data.vertices + face.firstVertex;
    auto c = [&](int u, int v) { return vertexPosition(control[v * w + u]); };
    grid.control = control;
    grid.controlU = w;
    grid.controlV = face.patchSize[1];
    grid.stepsU = steps.u;
    grid.stepsV = steps.v;
    grid.sideU = blocksU * steps.u + 1;
    grid.sideV = blocksV * steps.v + 1;
    grid.points.resize(size_t(grid.sideU) * size_t(grid.sideV));
    for (int j = 0; j < grid.sideV; j++) {
        int bv = std::min(j / steps.v, blocksV - 1);
        float tv = float(j - bv * steps.v) / float(steps.v);
        for (int i = 0; i < grid.sideU; i++) {
            int bu = std::min(i / steps.u, blocksU - 1);
            float tu = float(i - bu * steps.u) / float(steps.u);
            Vector3 rows[3];
            for (int r = 0; r < 3; r++) {
                Vector3 row[3] = {c(2 * bu, 2 * bv + r), c(2 * bu + 1, 2 * bv + r),
                                    c(2 * bu + 2, 2 * bv + r)};
                rows[r] = bezier(row, tu);
            }
            grid.points[size_t(j) * size_t(grid.sideU) + size_t(i)] = bezier(rows, tv);
        }
    }
}

// Grid corners of triangle k (0 or 1) of cell (i, j): a b c or a c d of the
// cell's corners a = (i, j), b = (i+1, j), c = (i+1, j+1), d = (i, j+1).
void triangleCorners(int i, int j, int k, int corner[3][2])
{
    static const int kCorners[2][3][2] = {{{0, 0}, {1, 0}, {1, 1}}, {{0, 0}, {1, 1}, {0, 1}}};
    for (int n = 0; n < 3; n++) {
        corner[n][0] = i + kCorners[k][n][0];
        corner[n][1] = j + kCorners[k][n][1];
    }
}

// Surface normals of every triangle of the grid, zero for slivers, turned
// all one way: the side the control points' normals face.
std::vector<Vector3> triangleNormals(const CurveGrid& grid)
{
    int cellsU = grid.sideU - 1, cellsV = grid.sideV - 1;
    std::vector<Vector3> normals(size_t(cellsU) * size_t(cellsV) * 2);
    float facing = 0.0f;
    for (int j = 0; j < cellsV; j++)
        for (int i = 0; i < cellsU; i++)
            for (int k = 0; k < 2; k++) {
                int c[3][2];
                triangleCorners(i, j, k, c);
                const Vector3& a = grid.at(c[0][0], c[0][1]);
                const Vector3& b = grid.at(c[1][0], c[1][1]);
                const Vector3& d = grid.at(c[2][0], c[2][1]);
                Vector3 n = (b - a).cross(d - a);
                float length = n.length();
                Vector3& out = normals[(size_t(j) * size_t(cellsU) + size_t(i)) * 2 + size_t(k)];
                out = length > kMinDoubleArea ? n * (1.0f / length) : Vector3();
                facing += out.dot(grid.controlNormal(c[0][0], c[0][1]));
            }
    if (facing < 0.0f)
        for (Vector3& n : normals)
            n = n * -1.0f;
    return normals;
}

bsp::BspPlane planeOf(const Vector3& normal, float distance)
{
    return bsp::BspPlane{{normal.x, normal.y, normal.z}, distance};
}

// The triangle's neighbour across edge e (0: corner 0-1, 1: 1-2, 2: 2-0);
// false on the patch's border.
bool neighbourOf(const CurveGrid& grid, int i, int j, int k, int e, size_t& index)
{
    int cellsU = grid.sideU - 1, cellsV = grid.sideV - 1;
    // Across the diagonal lies the cell's other triangle; the rest cross
    // into the cell above, right, below or left.
    static const int kStep[2][3][3] = {{{0, -1, 1}, {1, 0, 1}, {0, 0, 1}},
                                       {{0, 0, 0}, {0, 1, 0}, {-1, 0, 0}}};
    int ni = i + kStep[k][e][0], nj = j + kStep[k][e][1], nk = kStep[k][e][2];
    if (ni < 0 || nj < 0 || ni >= cellsU || nj >= cellsV)
        return false;
    index = (size_t(nj) * size_t(cellsU) + size_t(ni)) * 2 + size_t(nk);
    return true;
}

void growBounds(BrushBounds& bounds, const Vector3& p)
{
    const float c[3] = {p.x, p.y, p.z};
    for (int axis = 0; axis < 3; axis++) {
        bounds.distance[2 * axis] = std::max(bounds.distance[2 * axis], c[axis]);
        bounds.distance[2 * axis + 1] = std::max(bounds.distance[2 * axis + 1], -c[axis]);
    }
}

BrushBounds emptyBounds()
{
    BrushBounds bounds;
    for (float& d : bounds.distance)
        d = -kMaxCoordinate * 4.0f;
    return bounds;
}

PatchFacet makeFacet(const CurveGrid& grid, const std::vector<Vector3>& normals, int i, int j, int k)
{
    int cellsU = grid.sideU - 1;
    int c[3][2];
    triangleCorners(i, j, k, c);
    Vector3 p[3];
    for (int n = 0; n < 3; n++)
        p[n] = grid.at(c[n][0], c[n][1]);
    const Vector3& normal = normals[(size_t(j) * size_t(cellsU) + size_t(i)) * 2 + size_t(k)];

    PatchFacet facet;
    float surface = normal.dot(p[0]);
    facet.planes[0] = planeOf(normal, surface);
    facet.planes[1] = planeOf(normal * -1.0f, -surface + kFacetThickness);
    facet.grows[0] = facet.grows[1] = 1;
    bool border = false;
    for (int e = 0; e < 3; e++) {
        const Vector3& from = p[e];
        const Vector3& to = p[(e + 1) % 3];
        const Vector3& other = p[(e + 2) % 3];
        Vector3 along = to - from;
        Vector3 out = along.cross(normal);
        if (out.dot(other - from) > 0.0f)
            out = out * -1.0f;

        size_t neighbour = 0;
        bool inside = neighbourOf(grid, i, j, k, e, neighbour);
        Vector3 halfway = inside ? normal + normals[neighbour] : Vector3();
        Vector3 bisector = along.cross(halfway);
        float length = bisector.length();
        if (inside && normals[neighbour].lengthSquared() > 0.0f &&
            halfway.lengthSquared() > kMinBisectorLength * kMinBisectorLength && length > 0.0f) {
            bisector = bisector * (1.0f / length);
            if (bisector.dot(out) < 0.0f)
                bisector = bisector * -1.0f;
            // Both sides measure from the same corner, so they agree to the bit.
            const Vector3& anchor = (c[e][1] < c[(e + 1) % 3][1] ||
                                     (c[e][1] == c[(e + 1) % 3][1] && c[e][0] < c[(e + 1) % 3][0]))
                                        ? from
                                        : to;
            facet.planes[2 + e] = planeOf(bisector, bisector.dot(anchor));
            facet.grows[2 + e] = 0;
        } else {
            out = out * (1.0f / out.length());
            border = border || !inside;
            facet.planes[2 + e] = planeOf(out, out.dot(from) + (inside ? 0.0f : kSeamMargin));
            facet.grows[2 + e] = 1;
        }
    }

    facet.bounds = emptyBounds();
    for (const Vector3& corner : p) {
        growBounds(facet.bounds, corner);
        growBounds(facet.bounds, corner - normal * kFacetThickness);
    }
    // Room for the border's margin and for the halfway sides, which lean
    // past the corners behind the surface.
    float room = border ? kSeamMargin : kFacetThickness;
    for (float& d : facet.bounds.distance)
        d += room;
    return facet;
}

void addSurface(const BspData& data, int faceIndex, const Steps& steps, PatchCollision& store)
{
    const bsp::BspFace& face = data.faces[faceIndex];
    CurveGrid grid;
    cutGrid(data, face, steps, grid);
    std::vector<Vector3> normals = triangleNormals(grid);

    CurveSurface surface;
    surface.face = faceIndex;
    surface.contents = data.textures[face.texture].contents;
    surface.firstFacet = int32_t(store.facets.size());
    surface.bounds = emptyBounds();
    int cellsU = grid.sideU - 1;
    for (int j = 0; j + 1 < grid.sideV; j++)
        for (int i = 0; i < cellsU; i++)
            for (int k = 0; k < 2; k++) {
                if (normals[(size_t(j) * size_t(cellsU) + size_t(i)) * 2 + size_t(k)].lengthSquared() == 0.0f)
                    continue;
                PatchFacet facet = makeFacet(grid, normals, i, j, k);
                for (int a = 0; a < 6; a++)
                    surface.bounds.distance[a] = std::max(surface.bounds.distance[a], facet.bounds.distance[a]);
                store.facets.push_back(facet);
            }
    surface.facetCount = int32_t(store.facets.size()) - surface.firstFacet;
    if (surface.facetCount == 0)
        return;
    surface.firstRun = int32_t(store.runBounds.size());
    for (int32_t f = 0; f < surface.facetCount; f++) {
        if (f % kFacetsPerRun == 0)
            store.runBounds.push_back(emptyBounds());
        BrushBounds& run = store.runBounds.back();
        for (int a = 0; a < 6; a++)
            run.distance[a] = std::max(run.distance[a], store.facets[size_t(surface.firstFacet + f)].bounds.distance[a]);
    }
    store.surfaces.push_back(surface);
}

// Every leaf whose box the surface's box touches, by walking the tree.
template <typename Visit>
void leavesTouching(const BspData& data, const BrushBounds& box, std::vector<int>& stack, Visit visit)
{
    stack.assign(1, 0);
    size_t budget = size_t(data.nodeCount) + size_t(data.leafCount);
    while (!stack.empty() && budget-- > 0) {
        int node = stack.back();
        stack.pop_back();
        if (node < 0) {
            if (~node < data.leafCount)
                visit(~node);
            continue;
        }
        if (node >= data.nodeCount)
            continue;
        const bsp::BspNode& n = data.nodes[node];
        if (n.plane < 0 || n.plane >= data.planeCount)
            continue;
        const bsp::BspPlane& plane = data.planes[n.plane];
        float centre = -plane.distance, reach = 0.0f;
        for (int axis = 0; axis < 3; axis++) {
            float high = box.distance[2 * axis], low = -box.distance[2 * axis + 1];
            centre += plane.normal[axis] * (high + low) * 0.5f;
            reach += std::fabs(plane.normal[axis]) * (high - low) * 0.5f;
        }
        if (centre + reach >= 0.0f)
            stack.push_back(n.children[0]);
        if (centre - reach < 0.0f)
            stack.push_back(n.children[1]);
    }
}

void listInLeaves(const BspData& data, PatchCollision& store, CurveReport& report)
{
    std::vector<int32_t> counts(size_t(std::max(data.leafCount, 0)) + 1, 0);
    std::vector<std::pair<int32_t, int32_t>> listed;  // leaf, surface
    std::vector<int> stack;
    for (size_t s = 0; s < store.surfaces.size(); s++) {
        // Huge boxes over a deep tree could list without end: past the
        // budget a surface is listed nowhere and collides with nothing.
        size_t before = listed.size();
        leavesTouching(data, store.surfaces[s].bounds, stack, [&](int leaf) {
            if (listed.size() < kMaxCurveListings)
                listed.emplace_back(leaf, int32_t(s));
        });
        if (listed.size() >= kMaxCurveListings) {
            listed.resize(before);
            report.overBudget++;
            continue;
        }
        for (size_t n = before; n < listed.size(); n++)
            counts[size_t(listed[n].first)]++;
    }
    store.leafFirst.assign(counts.size(), 0);
    for (size_t i = 1; i < counts.size(); i++)
        store.leafFirst[i] = store.leafFirst[i - 1] + counts[i - 1];
    store.leafSurfaces.assign(size_t(store.leafFirst.back()), 0);
    std::vector<int32_t> filled(store.leafFirst.begin(), store.leafFirst.end() - 1);
    for (const auto& entry : listed)
        store.leafSurfaces[size_t(filled[size_t(entry.first)]++)] = entry.second;
    store.checkedBy.assign(store.surfaces.size(), 0);
}

// Halves every patch's steps until the level fits; patches that still do not
// fit at the coarsest cut are dropped from the end.
void fitBudget(const BspData& data, const std::vector<int>& chosen, std::vector<Steps>& steps,
               CurveReport& report)
{
    auto total = [&]() {
        int64_t sum = 0;
        for (size_t n = 0; n < chosen.size(); n++)
            if (steps[n].u > 0)
                sum += patchTriangles(data.faces[chosen[n]], steps[n]);
        return sum;
    };
    bool halved = true;
    while (total() > kMaxCurveFacets && halved) {
        halved = false;
        for (Steps& s : steps)
            if (s.u > 1 || s.v > 1) {
                s.u = std::max(1, s.u / 2);
                s.v = std::max(1, s.v / 2);
                halved = true;
            }
        if (halved)
            report.coarsened = int(chosen.size());
    }
    int64_t sum = total();
    for (size_t n = chosen.size(); n-- > 0 && sum > kMaxCurveFacets;) {
        sum -= patchTriangles(data.faces[chosen[n]], steps[n]);
        steps[n].u = 0;  // dropped
        report.overBudget++;
    }
}

} // namespace

PatchCollision* buildPatchCollision(const BspData& data, CurveReport& report)
{
    PatchCollision* store = new (std::nothrow) PatchCollision;
    if (!store)
        return nullptr;
    try {
        std::vector<int> chosen;
        std::vector<Steps> steps;
        for (int f = 0; f < data.faceCount; f++) {
            const bsp::BspFace& face = data.faces[f];
            if (face.type != bsp::FacePatch)
                continue;
            if (!usablePatch(data, face)) {
                report.bad++;
            } else if (!collides(data, face)) {
                report.notSolid++;
            } else {
                chosen.push_back(f);
                steps.push_back(patchSteps(data, face, kCurveTolerance, kMaxCurveSteps, kMaxCurveSide));
            }
        }
        fitBudget(data, chosen, steps, report);
        size_t facets = 0;
        for (size_t n = 0; n < chosen.size(); n++)
            facets += steps[n].u > 0 ? size_t(patchTriangles(data.faces[chosen[n]], steps[n])) : 0;
        store->facets.reserve(facets);
        store->runBounds.reserve(facets / kFacetsPerRun + chosen.size());
        store->surfaces.reserve(chosen.size());
        for (size_t n = 0; n < chosen.size(); n++)
            if (steps[n].u > 0)
                addSurface(data, chosen[n], steps[n], *store);
        listInLeaves(data, *store, report);
    } catch (const std::bad_alloc&) {
        delete store;
        return nullptr;
    }
    report.surfaces = int(store->surfaces.size());
    report.facets = int(store->facets.size());
    return store;
}
