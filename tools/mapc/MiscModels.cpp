// Placing misc_model meshes into the level in pieces and writing their faces.
#include "MiscModels.h"
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <tuple>
#include "ContentFlags.h"
#include "ModelFormats.h"
#include "Patches.h"
#include "resources/FileSystem.h"

namespace mapc {

namespace {

// Triangles are grouped by the cube of this size their centre falls in, so
// each piece is listed only in the leaves near it.
constexpr double kPieceSize = 512.0;

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

// Adds the mesh's placed pieces (and, given clip, its triangles as clip
// triangles); false when a point lands outside the level's coordinate range.
bool addMesh(const ModelMesh& mesh, const ModelPlacement& where, int texture, const Tree& tree,
             const PlaneSet& planes, std::vector<Surface>& out, const ClipTriangle* clip,
             std::vector<ClipTriangle>* clips)
{
    std::vector<PatchPoint> placed = mesh.vertices;
    for (PatchPoint& p : placed) {
        p.position = where.apply(p.position);
        if (!finiteInside(p.position)) return false;
    }
    std::map<std::tuple<long, long, long>, std::vector<int>> pieces;
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
        Vec3 centre = (a + b + c) * (1.0 / 3.0);
        pieces[std::make_tuple(static_cast<long>(std::floor(centre.x / kPieceSize)),
                               static_cast<long>(std::floor(centre.y / kPieceSize)),
                               static_cast<long>(std::floor(centre.z / kPieceSize)))]
            .push_back(static_cast<int>(t));
    }
    for (const auto& piece : pieces) {
        Surface s = pieceOf(placed, mesh.triangles, piece.second, texture);
        Bounds box;
        for (const PatchPoint& p : s.meshPoints) box.add(p.position);
        leavesInBox(tree, planes, box, s.leaves);
        if (!s.leaves.empty()) out.push_back(std::move(s));  // wholly outside the level or in solid: dropped
    }
    return true;
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
                  const Tree& tree, const PlaneSet& planes, std::vector<Surface>& out, Diagnostics& diag,
                  std::vector<ClipTriangle>* clips)
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
        const bool solid = (static_cast<int>(e.number("spawnflags", 0)) & kModelClipFlag) != 0;
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
            if (!addMesh(mesh, where, texture, tree, planes, out, solid ? &clip : nullptr, clips)) {
                diag.warn(e.line, "misc_model '%s' reaches past the coordinate limit; left out", path);
                break;
            }
        }
    }
    return static_cast<int>(out.size() - before);
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
    bsp::BspFace f = startFace(s.texture, bsp::FaceMesh, out);
    f.vertexCount = static_cast<int32_t>(s.meshPoints.size());
    f.meshVertexCount = static_cast<int32_t>(s.meshIndices.size());
    f.lightmap = -1;
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
