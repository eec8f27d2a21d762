// Placing misc_model meshes into the level in pieces and writing their faces.
#include "MiscModels.h"
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <tuple>
#include "ContentFlags.h"
#include "Lightmapper.h"
#include "ModelLightmaps.h"
#include "ModelFormats.h"
#include "Patches.h"
#include "resources/FileSystem.h"

namespace mapc {

namespace {

// Triangles are grouped by the cube of this size their centre falls in, so
// each piece is listed only in the leaves near it.
constexpr double kPieceSize = 512.0;

// A model's "_lightmapscale" is kept to this range: finer would cost
// luxels by the million, coarser leaves a single luxel per piece.
constexpr double kLeastLightmapScale = 0.125;
constexpr double kMostLightmapScale = 64.0;

void rotate(double m[3][3], int axis, double degrees)
{
    const double a = degrees * M_PI / 180.0, c = std::cos(a), s = std::sin(a);
    const int i = (axis + 1) % 3, j = (axis + 2) % 3;  // the plane turned: x: y-z, y: z-x, z: x-y
    for (int col = 0; col < 3; ++col) {
        double u = m[i][col], v = m[j][col];
        m[i][col] = c * u - s * v;
        m[j][col] = s * u + c * v;
    }
}

bool endsWith(const std::string& s, const char* tail)
{
    size_t n = std::strlen(tail);
    return s.size() >= n && FileSystem::lowerCase(s.substr(s.size() - n)) == tail;
}

// The model of a path, read once; null (after one warning) when it cannot be had.
class ModelCache {
public:
    ModelCache(const FileSystem* f, Diagnostics& d) : files(f), diag(d) {}

    const Model* get(const std::string& path, int line)
    {
        auto found = models.find(path);
        if (found != models.end()) return found->second.get();
        std::unique_ptr<Model> model(new Model);
        std::string problem;
        std::vector<unsigned char> bytes;
        if (!files || !files->readFile(path.c_str(), bytes)) problem = "not on the search path";
        else if (endsWith(path, ".ase")) readAseModel(reinterpret_cast<const char*>(bytes.data()), bytes.size(), *model, problem);
        else if (endsWith(path, ".md3")) readMd3Model(bytes.data(), bytes.size(), *model, problem);
        else problem = "not an ASE or MD3 model";
        if (!problem.empty()) {
            diag.warn(line, "misc_model '%s': %s; left out", path.c_str(), problem.c_str());
            model.reset();
        }
        return (models[path] = std::move(model)).get();
    }

private:
    const FileSystem* files;
    Diagnostics& diag;
    std::map<std::string, std::unique_ptr<Model>> models;
};

bool finiteInside(const Vec3& p)
{
    for (int i = 0; i < 3; ++i)
        if (!std::isfinite(p[i]) || std::fabs(p[i]) > kMaxCoordinate) return false;
    return true;
}

// One piece: the triangles given, re-indexed, as a surface.
Surface pieceOf(const std::vector<PatchPoint>& placed, const std::vector<int>& triangles, const std::vector<int>& chosen,
                int texture)
{
    Surface s;
    s.texture = texture;
    s.lightmapped = false;
    std::map<int, int> local;
    for (int t : chosen)
        for (int k = 0; k < 3; ++k) {
            int v = triangles[static_cast<size_t>(t) * 3 + static_cast<size_t>(k)];
            auto found = local.find(v);
            if (found == local.end()) {
                found = local.emplace(v, static_cast<int>(s.meshPoints.size())).first;
                s.meshPoints.push_back(placed[static_cast<size_t>(v)]);
            }
            s.meshIndices.push_back(found->second);
        }
    return s;
}

// How a placed mesh is lit: by its points, or (luxel above 0) by lightmap
// pieces of `luxel` times `scale` units per luxel; and whether it shades
// the lighting of the level.
struct MeshLighting {
    double luxel = 0.0;
    double scale = 1.0;
    bool castsShadows = false;
    bool shadesWorld = false;
};

// Lists the piece in the leaves its box reaches; one wholly outside the
// level or in solid is dropped.
void addPiece(Surface&& s, const MeshLighting& lit, const Tree& tree, const PlaneSet& planes, std::vector<Surface>& out)
{
    s.castsShadows = lit.castsShadows;
    s.shadesWorld = lit.castsShadows && lit.shadesWorld;
    Bounds box;
    for (const PatchPoint& p : s.meshPoints) box.add(p.position);
    leavesInBox(tree, planes, box, s.leaves);
    if (!s.leaves.empty()) out.push_back(std::move(s));
}

// The mesh's triangles in lightmap pieces, each with its corners' normals.
void addLitPieces(const std::vector<PatchPoint>& placed, const std::vector<int>& triangles, const std::vector<int>& kept,
                  int texture, const MeshLighting& lit, const Tree& tree, const PlaneSet& planes,
                  std::vector<Surface>& out)
{
    const std::vector<Vec3> normals = cornerNormals(placed, triangles);
    for (const LightmapPiece& piece : lightmapPieces(placed, triangles, kept, lit.luxel * lit.scale, kMaxBlockLuxels)) {
        Surface s = pieceOf(placed, triangles, piece.triangles, texture);
        s.lightmapped = true;
        s.luxelScale = lit.scale;
        Vec3 axis;
        axis[piece.axis] = 1.0;
        lightmapAxes(axis, s.axes[0], s.axes[1]);
        for (int t : piece.triangles)
            for (int k = 0; k < 3; ++k) s.cornerNormals.push_back(normals[static_cast<size_t>(t) * 3 + static_cast<size_t>(k)]);
        addPiece(std::move(s), lit, tree, planes, out);
    }
}

// Adds the mesh's placed pieces (and, given clip, its triangles as clip
// triangles); false when a point lands outside the level's coordinate range.
bool addMesh(const ModelMesh& mesh, const ModelPlacement& where, int texture, const Tree& tree,
             const PlaneSet& planes, std::vector<Surface>& out, const ClipTriangle* clip,
             std::vector<ClipTriangle>* clips, const MeshLighting& lit = MeshLighting())
{
    std::vector<PatchPoint> placed = mesh.vertices;
    for (PatchPoint& p : placed) {
        p.position = where.apply(p.position);
        if (!finiteInside(p.position)) return false;
    }
    std::vector<int> kept;
    for (size_t t = 0; t * 3 + 2 < mesh.triangles.size(); ++t) {
        const Vec3& a = placed[static_cast<size_t>(mesh.triangles[t * 3])].position;
        const Vec3& b = placed[static_cast<size_t>(mesh.triangles[t * 3 + 1])].position;
        const Vec3& c = placed[static_cast<size_t>(mesh.triangles[t * 3 + 2])].position;
        if ((b - a).cross(c - a).length() < 1e-6) continue;  // no area
        if (clip && clips) {
            ClipTriangle t = *clip;
            t.corner[0] = a;
            t.corner[1] = b;
            t.corner[2] = c;
            clips->push_back(t);
        }
        kept.push_back(static_cast<int>(t));
    }
    if (lit.luxel > 0.0) {
        addLitPieces(placed, mesh.triangles, kept, texture, lit, tree, planes, out);
        return true;
    }
    std::map<std::tuple<long, long, long>, std::vector<int>> pieces;
    for (int t : kept) {
        Vec3 centre;
        for (int k = 0; k < 3; ++k) centre += placed[static_cast<size_t>(mesh.triangles[static_cast<size_t>(t) * 3 + k])].position;
        centre = centre * (1.0 / 3.0);
        pieces[std::make_tuple(static_cast<long>(std::floor(centre.x / kPieceSize)),
                               static_cast<long>(std::floor(centre.y / kPieceSize)),
                               static_cast<long>(std::floor(centre.z / kPieceSize)))]
            .push_back(t);
    }
    for (const auto& piece : pieces)
        addPiece(pieceOf(placed, mesh.triangles, piece.second, texture), lit, tree, planes, out);
    return true;
}

// Three numbers in [0, 1) that depend only on the point and the rule.
void chances(const Vec3& p, size_t rule, double out[3])
{
    uint64_t h = 0x9e3779b97f4a7c15ull * (rule + 1);
    for (int i = 0; i < 3; ++i) h = (h ^ static_cast<uint64_t>(std::llround(p[i] * 8.0))) * 0xbf58476d1ce4e5b9ull;
    for (int i = 0; i < 3; ++i) {
        h += 0x9e3779b97f4a7c15ull;
        uint64_t z = (h ^ (h >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        out[i] = static_cast<double>((z ^ (z >> 31)) >> 11) / 9007199254740992.0;
    }
}

// Scale, then a turn about the up axis, then up along the normal (when oriented).
ModelPlacement scatteredPlacement(const SurfaceModelRule& r, const Vec3& at, const Vec3& normal, const double c[3])
{
    ModelPlacement m;
    const double scale = r.minScale + (r.maxScale - r.minScale) * c[1];
    const double yaw = r.minAngle + (r.maxAngle - r.minAngle) * c[2];
    for (int i = 0; i < 3; ++i) m.axes[i][i] = scale;
    rotate(m.axes, 2, yaw);
    if (r.oriented) {
        Vec3 z = normal, x = std::fabs(z.x) < 0.9 ? Vec3(1, 0, 0) : Vec3(0, 1, 0);
        x = (x - z * x.dot(z)).normalized();
        const Vec3 y = z.cross(x);
        double turned[3][3];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) turned[i][j] = x[i] * m.axes[0][j] + y[i] * m.axes[1][j] + z[i] * m.axes[2][j];
        std::memcpy(m.axes, turned, sizeof(turned));
    }
    m.origin = at;
    return m;
}

// Cuts the triangle at the middle of its longest edge until no edge is
// longer than size; each final triangle's middle goes to spots.
// A shader asking for a model every unit over a wide floor would otherwise
// spend the machine's memory on spots before any model is counted.
constexpr size_t kMaxScatterSpots = 1u << 20;

void scatterSpots(const Vec3& a, const Vec3& b, const Vec3& c, double size, int depth, std::vector<Vec3>& spots)
{
    if (spots.size() >= kMaxScatterSpots) return;
    const double ab = (b - a).length(), bc = (c - b).length(), ca = (a - c).length();
    if (depth <= 0 || std::max(ab, std::max(bc, ca)) <= size) {
        spots.push_back((a + b + c) * (1.0 / 3.0));
        return;
    }
    if (ab >= bc && ab >= ca) {
        const Vec3 m = (a + b) * 0.5;
        scatterSpots(a, m, c, size, depth - 1, spots);
        scatterSpots(m, b, c, size, depth - 1, spots);
    } else if (bc >= ca) {
        const Vec3 m = (b + c) * 0.5;
        scatterSpots(a, b, m, size, depth - 1, spots);
        scatterSpots(a, m, c, size, depth - 1, spots);
    } else {
        const Vec3 m = (c + a) * 0.5;
        scatterSpots(a, b, m, size, depth - 1, spots);
        scatterSpots(m, b, c, size, depth - 1, spots);
    }
}

} // namespace

Vec3 ModelPlacement::apply(const Vec3& p) const
{
    Vec3 r;
    for (int i = 0; i < 3; ++i) r[i] = axes[i][0] * p.x + axes[i][1] * p.y + axes[i][2] * p.z + origin[i];
    return r;
}

ModelPlacement placementOf(const MapEntity& e)
{
    ModelPlacement m;
    double scale = e.number("modelscale", 1.0);
    Vec3 s(scale, scale, scale), angles(0, e.number("angle", 0.0), 0), v;
    if (e.vector("modelscale_vec", v)) s = v;
    if (e.vector("angles", v)) angles = v;
    for (int i = 0; i < 3; ++i) m.axes[i][i] = s[i];
    rotate(m.axes, 0, angles.z);  // roll
    rotate(m.axes, 1, angles.x);  // pitch: positive turns +x down
    rotate(m.axes, 2, angles.y);  // yaw
    e.vector("origin", m.origin);
    return m;
}

int addMiscModels(const MapFile& map, const FileSystem* files, TextureLibrary& library, BrushSet& textures,
                  const Tree& tree, const PlaneSet& planes, double luxel, std::vector<Surface>& out,
                  Diagnostics& diag, std::vector<ClipTriangle>* clips)
{
    ModelCache cache(files, diag);
    const size_t before = out.size();
    size_t triangles = 0;
    for (const MapEntity& e : map.entities) {
        const char* cls = e.value("classname");
        if (!cls || std::strcmp(cls, "misc_model") != 0) continue;
        const char* path = e.value("model");
        if (!path || !*path) {
            diag.warn(e.line, "misc_model without a model; left out");
            continue;
        }
        const Model* model = cache.get(path, e.line);
        if (!model) continue;
        triangles += model->triangleCount();
        if (triangles > kMaxLevelModelTriangles) {
            diag.warn(e.line, "placed models hold more than %zu triangles; '%s' and the rest left out",
                      kMaxLevelModelTriangles, path);
            break;
        }
        const ModelPlacement where = placementOf(e);
        const int flags = static_cast<int>(e.number("spawnflags", 0));
        const bool solid = (flags & kModelClipFlag) != 0;
        MeshLighting lit;
        // Placed models are part of the world: they shade it unless told not to.
        lit.castsShadows = e.number("_castshadows", e.number("_cs", 1.0)) > 0.0;
        if (flags & kModelLightmapFlag) {
            // Lit as part of the world, it shades the world as a brush would.
            lit.shadesWorld = true;
            lit.luxel = luxel;
            lit.scale = std::clamp(e.number("_lightmapscale", 1.0), kLeastLightmapScale, kMostLightmapScale);
        }
        for (const ModelMesh& mesh : model->meshes) {
            const TextureTraits& traits = library.traitsOfPath(mesh.shader, diag);
            if (traits.flags & (kSurfNoDraw | kSurfHint | kSurfSkip)) continue;
            int texture = textures.textureIndex(mesh.shader, static_cast<int>(traits.contents),
                                                static_cast<int>(traits.flags));
            // A shader that stops neither shots nor players makes a solid clip.
            ClipTriangle clip;
            clip.contents = static_cast<int>(traits.contents);
            if (!(clip.contents & (kContentsSolid | kContentsPlayerClip))) clip.contents |= kContentsSolid;
            clip.texture = textures.textureIndex(mesh.shader, clip.contents, static_cast<int>(traits.flags));
            // Sky and nolightmap shaders keep vertex light.
            MeshLighting meshLit = lit;
            if (traits.flags & (kSurfNoLightmap | kSurfSky)) meshLit.luxel = 0.0;
            if (!addMesh(mesh, where, texture, tree, planes, out, solid ? &clip : nullptr, clips, meshLit)) {
                diag.warn(e.line, "misc_model '%s' reaches past the coordinate limit; left out", path);
                break;
            }
        }
    }
    return static_cast<int>(out.size() - before);
}

int addSurfaceModels(const FileSystem* files, TextureLibrary& library, BrushSet& textures, const Tree& tree,
                     const PlaneSet& planes, std::vector<Surface>& surfaces, Diagnostics& diag)
{
    ModelCache cache(files, diag);
    const size_t faces = surfaces.size();
    size_t triangles = 0;
    for (size_t si = 0; si < faces; ++si) {
        if (surfaces[si].model != 0 || surfaces[si].isPatch() || surfaces[si].isMesh() || surfaces[si].texture < 0) continue;
        const std::string name = textures.textures[static_cast<size_t>(surfaces[si].texture)].name;
        const ShaderInfo* shader = library.shaderOf(name);
        if (!shader || shader->surfaceModels.empty()) continue;
        const Vec3 normal = planes[surfaces[si].plane].normal;
        for (size_t ri = 0; ri < shader->surfaceModels.size(); ++ri) {
            const SurfaceModelRule& rule = shader->surfaceModels[ri];
            const Model* model = cache.get(rule.model, 0);
            if (!model) continue;
            std::vector<Vec3> spots;
            for (const Winding& w : surfaces[si].pieces)
                for (size_t k = 1; k + 1 < w.size(); ++k)
                    scatterSpots(w[0], w[k], w[k + 1], std::max<double>(rule.density, 1.0), 24, spots);
            if (spots.size() >= kMaxScatterSpots)
                diag.warn(0, "shader '%s' scatters models too densely; only the first %zu spots are used",
                          name.c_str(), kMaxScatterSpots);
            for (const Vec3& at : spots) {
                double c[3];
                chances(at, ri, c);
                if (c[0] >= rule.odds) continue;
                triangles += model->triangleCount();
                if (triangles > kMaxLevelModelTriangles) {
                    diag.warn(0, "models scattered by shader '%s' pass %zu triangles; the rest left out",
                              name.c_str(), kMaxLevelModelTriangles);
                    return static_cast<int>(surfaces.size() - faces);
                }
                const ModelPlacement where = scatteredPlacement(rule, at, normal, c);
                for (const ModelMesh& mesh : model->meshes) {
                    const TextureTraits& traits = library.traitsOfPath(mesh.shader, diag);
                    if (traits.flags & (kSurfNoDraw | kSurfHint | kSurfSkip)) continue;
                    const int texture = textures.textureIndex(mesh.shader, static_cast<int>(traits.contents),
                                                              static_cast<int>(traits.flags));
                    addMesh(mesh, where, texture, tree, planes, surfaces, nullptr, nullptr);
                }
            }
        }
    }
    return static_cast<int>(surfaces.size() - faces);
}

std::vector<Vec3> meshNormals(const Surface& s)
{
    std::vector<Vec3> normals(s.meshPoints.size());
    for (size_t t = 0; t + 2 < s.meshIndices.size(); t += 3) {
        size_t a = static_cast<size_t>(s.meshIndices[t]), b = static_cast<size_t>(s.meshIndices[t + 1]),
               c = static_cast<size_t>(s.meshIndices[t + 2]);
        const Vec3& pa = s.meshPoints[a].position;
        Vec3 n = (s.meshPoints[c].position - pa).cross(s.meshPoints[b].position - pa);  // clockwise front
        normals[a] += n;
        normals[b] += n;
        normals[c] += n;
    }
    for (Vec3& n : normals) n = n.normalized();
    return normals;
}

void emitMeshFace(const Surface& s, LevelLumps& out)
{
    const bool lit = s.lightmap >= 0;
    bsp::BspFace f = startFace(s.texture, lit ? bsp::FacePolygon : bsp::FaceMesh, out);
    f.vertexCount = static_cast<int32_t>(s.meshPoints.size());
    f.meshVertexCount = static_cast<int32_t>(s.meshIndices.size());
    f.lightmap = s.lightmap;
    if (lit)
        for (int i = 0; i < 2; ++i) {
            f.lightmapCorner[i] = s.corner[i] + 1;
            f.lightmapSize[i] = s.size[i];
        }
    const std::vector<Vec3> normals = meshNormals(s);
    Vec3 total;
    for (const Vec3& n : normals) total += n;
    for (size_t i = 0; i < s.meshPoints.size(); ++i) {
        const PatchPoint& p = s.meshPoints[i];
        bsp::BspVertex v{};
        const Vec3& n = normals[i];
        for (int k = 0; k < 3; ++k) {
            v.position[k] = static_cast<float>(p.position[k]);
            v.normal[k] = static_cast<float>(n[k]);
        }
        v.texCoord[0] = static_cast<float>(p.st[0]);
        v.texCoord[1] = static_cast<float>(p.st[1]);
        if (lit) lightmapCoord(s, p.position, v.lightmapCoord);
        v.color[0] = v.color[1] = v.color[2] = v.color[3] = 255;
        if (s.meshLight.size() == s.meshPoints.size() * 3)
            for (int k = 0; k < 3; ++k) v.color[k] = s.meshLight[i * 3 + static_cast<size_t>(k)];
        out.vertices.push_back(v);
    }
    for (int index : s.meshIndices) out.meshVertices.push_back(index);
    total = total.normalized();
    for (int k = 0; k < 3; ++k) f.normal[k] = static_cast<float>(total[k]);
    out.faces.push_back(f);
}

} // namespace mapc
