// Patch surfaces: their control grids, evaluation, the leaves they reach and their faces.
#include "Patches.h"
#include <algorithm>
#include <cmath>
#include "ContentFlags.h"
#include "Lightmapper.h"

namespace mapc {

namespace {

const PatchPoint& at(const Surface& s, int row, int column)
{
    return s.grid[static_cast<size_t>(row) * static_cast<size_t>(s.gridSize[0]) + static_cast<size_t>(column)];
}

// Which quadratic piece a global parameter falls in, and where in it.
void pieceOf(double u, int points, int& first, double& local)
{
    int pieces = (points - 1) / 2;
    double x = std::clamp(u, 0.0, 1.0) * pieces;
    int k = std::min(static_cast<int>(x), pieces - 1);
    first = 2 * k;
    local = x - k;
}

void weights(double t, double w[3], double d[3])
{
    w[0] = (1 - t) * (1 - t);
    w[1] = 2 * t * (1 - t);
    w[2] = t * t;
    d[0] = -2 * (1 - t);
    d[1] = 2 - 4 * t;
    d[2] = 2 * t;
}

void collectLeaves(const Tree& tree, const PlaneSet& planes, int node, const Bounds& box, std::vector<int>& out)
{
    for (;;) {
        const TreeNode& n = tree.nodes[static_cast<size_t>(node)];
        if (n.isLeaf()) {
            if (n.inside && !n.solid) out.push_back(node);
            return;
        }
        const Plane& p = planes[n.plane];
        // Box extent along the normal.
        double centre = 0, radius = 0;
        for (int i = 0; i < 3; ++i) {
            centre += p.normal[i] * (box.mins[i] + box.maxs[i]) * 0.5;
            radius += std::fabs(p.normal[i]) * (box.maxs[i] - box.mins[i]) * 0.5;
        }
        double d = centre - p.dist;
        if (d - radius >= -kOnEpsilon) { node = n.children[0]; continue; }
        if (d + radius <= kOnEpsilon) { node = n.children[1]; continue; }
        collectLeaves(tree, planes, n.children[0], box, out);
        node = n.children[1];
    }
}

// Point and raw (unnormalised) normal.
Vec3 evaluate(const Surface& s, double u, double v, Vec3& normal)
{
    int c0, r0;
    double lu, lv;
    pieceOf(u, s.gridSize[0], c0, lu);
    pieceOf(v, s.gridSize[1], r0, lv);
    double wu[3], du[3], wv[3], dv[3];
    weights(lu, wu, du);
    weights(lv, wv, dv);
    Vec3 p, alongU, alongV;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            const Vec3& q = at(s, r0 + r, c0 + c).position;
            p += q * (wu[c] * wv[r]);
            alongU += q * (du[c] * wv[r]);
            alongV += q * (wu[c] * dv[r]);
        }
    normal = alongU.cross(alongV);
    return p;
}

} // namespace

bool makePatchSurface(const MapPatch& patch, int model, TextureLibrary& library, BrushSet& textures,
                      Surface& out, Diagnostics& diag)
{
    if (patch.width < 3 || patch.height < 3 || patch.width % 2 == 0 || patch.height % 2 == 0) {
        diag.warn(patch.line, "patch of %d x %d control points (sides must be odd and at least 3); skipped",
                  patch.width, patch.height);
        return false;
    }
    const TextureTraits& traits = library.traits(patch.texture, diag);
    // An undrawn patch stays when players or shots collide with it (a clip curve).
    const bool collides = (traits.contents & (kContentsSolid | kContentsPlayerClip)) && !(traits.flags & kSurfNonSolid);
    if ((traits.flags & (kSurfHint | kSurfSkip)) || ((traits.flags & kSurfNoDraw) && !collides)) return false;
    out = Surface();
    out.model = model;
    out.texture = textures.textureIndex("textures/" + patch.texture, static_cast<int>(traits.contents),
                                        static_cast<int>(traits.flags));
    out.lightmapped = (traits.flags & (kSurfNoLightmap | kSurfSky | kSurfNoDraw)) == 0;
    // A drawn, opaque world patch shades the light, as brushes do.
    out.castsShadows = out.shadesWorld =
        model == 0 && !(traits.contents & kContentsSeeThrough) && !(traits.flags & (kSurfSky | kSurfNoDraw));
    out.gridSize[0] = patch.width;
    out.gridSize[1] = patch.height;
    out.grid = patch.points;
    return true;
}

bool placePatch(const Tree& tree, const PlaneSet& planes, Surface& s)
{
    Bounds box;
    for (const PatchPoint& p : s.grid) box.add(p.position);
    s.leaves.clear();
    leavesInBox(tree, planes, box, s.leaves);
    return !s.leaves.empty();
}

void leavesInBox(const Tree& tree, const PlaneSet& planes, const Bounds& box, std::vector<int>& out)
{
    if (!tree.nodes.empty() && box.valid()) collectLeaves(tree, planes, 0, box, out);
}

Vec3 patchPoint(const Surface& s, double u, double v, Vec3* normal)
{
    Vec3 n;
    Vec3 p = evaluate(s, u, v, n);
    // A collapsed edge (a cone's tip) has no normal: take one a little inside.
    for (int k = 1; k <= 4 && n.length() < 1e-9; ++k)
        evaluate(s, u + (0.5 - u) * 0.05 * k, v + (0.5 - v) * 0.05 * k, n);
    if (normal) *normal = n.length() < 1e-9 ? Vec3(0, 0, 1) : n.normalized();
    return p;
}

namespace {

// Steps per quadratic piece along the grid's columns (across = false) or
// rows so a chord strays at most `tolerance` from the curve: a step h of a
// piece bends away by |P0 - 2 P1 + P2| h^2 / 4.
int stepsPerPiece(const Surface& s, bool across, double tolerance)
{
    const int lines = s.gridSize[across ? 0 : 1], points = s.gridSize[across ? 1 : 0];
    double most = 0.0;
    for (int l = 0; l < lines; ++l)
        for (int k = 0; k + 2 < points; k += 2) {
            auto point = [&](int i) { return across ? at(s, i, l).position : at(s, l, i).position; };
            most = std::max(most, (point(k) - point(k + 1) * 2.0 + point(k + 2)).length());
        }
    constexpr int kMostSteps = 16;
    const double steps = std::ceil(std::sqrt(most / (4.0 * tolerance)));
    if (!(steps < kMostSteps)) return kMostSteps;  // in doubles: a wild grid stays in range
    return std::max(1, static_cast<int>(steps));
}

} // namespace

void patchTriangles(const Surface& s, double tolerance, std::vector<Vec3>& corners)
{
    if (!s.isPatch()) return;
    const int columns = (s.gridSize[0] - 1) / 2 * stepsPerPiece(s, false, tolerance);
    const int rows = (s.gridSize[1] - 1) / 2 * stepsPerPiece(s, true, tolerance);
    std::vector<Vec3> points;
    for (int j = 0; j <= rows; ++j)
        for (int i = 0; i <= columns; ++i)
            points.push_back(patchPoint(s, static_cast<double>(i) / columns, static_cast<double>(j) / rows, nullptr));
    auto point = [&](int i, int j) { return points[static_cast<size_t>(j) * static_cast<size_t>(columns + 1) + static_cast<size_t>(i)]; };
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < columns; ++i) {
            corners.insert(corners.end(), {point(i, j), point(i + 1, j), point(i + 1, j + 1)});
            corners.insert(corners.end(), {point(i, j), point(i + 1, j + 1), point(i, j + 1)});
        }
}

void patchLightmapSize(const Surface& s, double luxel, int maxLuxels, int size[2])
{
    double longest[2] = {0, 0};
    for (int r = 0; r < s.gridSize[1]; ++r) {
        double length = 0;
        for (int c = 1; c < s.gridSize[0]; ++c)
            length += (at(s, r, c).position - at(s, r, c - 1).position).length();
        longest[0] = std::max(longest[0], length);
    }
    for (int c = 0; c < s.gridSize[0]; ++c) {
        double length = 0;
        for (int r = 1; r < s.gridSize[1]; ++r)
            length += (at(s, r, c).position - at(s, r - 1, c).position).length();
        longest[1] = std::max(longest[1], length);
    }
    for (int i = 0; i < 2; ++i)
        size[i] = std::clamp(static_cast<int>(std::ceil(longest[i] / luxel)) + 1, 2, maxLuxels);
}

void emitPatchFace(const Surface& s, LevelLumps& out)
{
    bsp::BspFace f = startFace(s.texture, bsp::FacePatch, out);
    f.vertexCount = s.gridSize[0] * s.gridSize[1];
    f.patchSize[0] = s.gridSize[0];
    f.patchSize[1] = s.gridSize[1];
    Vec3 average;
    for (int r = 0; r < s.gridSize[1]; ++r)
        for (int c = 0; c < s.gridSize[0]; ++c) {
            const PatchPoint& cp = at(s, r, c);
            double u = static_cast<double>(c) / (s.gridSize[0] - 1), v = static_cast<double>(r) / (s.gridSize[1] - 1);
            Vec3 n;
            patchPoint(s, u, v, &n);
            average += n;
            bsp::BspVertex vx{};
            vx.position[0] = static_cast<float>(cp.position.x);
            vx.position[1] = static_cast<float>(cp.position.y);
            vx.position[2] = static_cast<float>(cp.position.z);
            vx.texCoord[0] = static_cast<float>(cp.st[0]);
            vx.texCoord[1] = static_cast<float>(cp.st[1]);
            if (s.lightmap >= 0) {
                vx.lightmapCoord[0] = static_cast<float>((s.corner[0] + 1 + u * (s.size[0] - 1) + 0.5) / bsp::kLightmapSize);
                vx.lightmapCoord[1] = static_cast<float>((s.corner[1] + 1 + v * (s.size[1] - 1) + 0.5) / bsp::kLightmapSize);
            }
            vx.normal[0] = static_cast<float>(n.x);
            vx.normal[1] = static_cast<float>(n.y);
            vx.normal[2] = static_cast<float>(n.z);
            vx.color[0] = vx.color[1] = vx.color[2] = vx.color[3] = 255;
            out.vertices.push_back(vx);
        }
    f.lightmap = s.lightmap;
    f.lightmapCorner[0] = s.lightmap >= 0 ? s.corner[0] + 1 : 0;
    f.lightmapCorner[1] = s.lightmap >= 0 ? s.corner[1] + 1 : 0;
    f.lightmapSize[0] = s.lightmap >= 0 ? s.size[0] : 0;
    f.lightmapSize[1] = s.lightmap >= 0 ? s.size[1] : 0;
    average = average.normalized();
    f.normal[0] = static_cast<float>(average.x);
    f.normal[1] = static_cast<float>(average.y);
    f.normal[2] = static_cast<float>(average.z);
    out.faces.push_back(f);
}

} // namespace mapc
