// Reading MD3 models into triangle meshes, every offset checked.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include "ModelFormats.h"
#include "resources/FileSystem.h"

namespace mapc {

namespace {

constexpr size_t kHeaderBytes = 108;
constexpr size_t kSurfaceBytes = 108;
constexpr size_t kShaderBytes = 68;
constexpr int kMaxSurfaces = 256;

int32_t le32(const unsigned char* b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                                (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24));
}

int16_t le16(const unsigned char* b) { return static_cast<int16_t>(b[0] | (b[1] << 8)); }

float leFloat(const unsigned char* b)
{
    uint32_t u = static_cast<uint32_t>(le32(b));
    float f;
    std::memcpy(&f, &u, sizeof(f));
    return f;
}

// [start + offset, + count * each) lies inside [0, size).
bool spanInside(size_t start, int32_t offset, int32_t count, size_t each, size_t size)
{
    if (offset < 0 || count < 0) return false;
    size_t from = start + static_cast<size_t>(offset);
    return from <= size && static_cast<size_t>(count) <= (size - from) / each;
}

std::string fixedString(const unsigned char* b, size_t n)
{
    size_t len = 0;
    while (len < n && b[len]) ++len;
    return std::string(reinterpret_cast<const char*>(b), len);
}

bool readSurface(const unsigned char* bytes, size_t size, size_t at, int frames, ModelMesh& mesh,
                 std::string& problem)
{
    const unsigned char* s = bytes + at;
    if (std::memcmp(s, "IDP3", 4) != 0) { problem = "surface without its IDP3 mark"; return false; }
    const int32_t surfaceFrames = le32(s + 72), shaders = le32(s + 76), verts = le32(s + 80), tris = le32(s + 84);
    const int32_t ofsTris = le32(s + 88), ofsShaders = le32(s + 92), ofsSt = le32(s + 96), ofsXyz = le32(s + 100);
    if (surfaceFrames < 1 || surfaceFrames > frames || verts < 0 || verts > kMaxModelVertices || tris < 0 ||
        tris > kMaxModelTriangles) {
        problem = "surface with bad frame, vertex or triangle counts";
        return false;
    }
    if (verts == 0 || tris == 0) return true;  // nothing to draw
    if (!spanInside(at, ofsTris, tris, 12, size) || !spanInside(at, ofsSt, verts, 8, size) ||
        !spanInside(at, ofsXyz, verts, 8, size) || !spanInside(at, ofsShaders, shaders, kShaderBytes, size)) {
        problem = "surface data past the end of the file";
        return false;
    }
    mesh.shader = shaders > 0 ? modelTextureName(fixedString(bytes + at + ofsShaders, 64)) : std::string();
    if (mesh.shader.empty()) mesh.shader = modelTextureName(fixedString(s + 4, 64));
    mesh.vertices.resize(static_cast<size_t>(verts));
    for (int32_t v = 0; v < verts; ++v) {
        const unsigned char* xyz = bytes + at + ofsXyz + 8 * v;  // frame 0 comes first
        const unsigned char* st = bytes + at + ofsSt + 8 * v;
        PatchPoint& p = mesh.vertices[static_cast<size_t>(v)];
        p.position = Vec3(le16(xyz) / 64.0, le16(xyz + 2) / 64.0, le16(xyz + 4) / 64.0);
        p.st[0] = leFloat(st);
        p.st[1] = leFloat(st + 4);
        if (!std::isfinite(p.st[0]) || !std::isfinite(p.st[1])) p.st[0] = p.st[1] = 0.0;
    }
    mesh.triangles.resize(static_cast<size_t>(tris) * 3);
    for (size_t i = 0; i < mesh.triangles.size(); ++i) {
        int32_t index = le32(bytes + at + ofsTris + 4 * i);
        if (index < 0 || index >= verts) { problem = "triangle index out of range"; return false; }
        // Stored clockwise seen from the front already.
        mesh.triangles[i] = index;
    }
    return true;
}

// The counts of every surface header added up before anything is read:
// surfaces may all point at the same bytes, so the file's size bounds nothing.
bool withinBudget(const unsigned char* bytes, size_t size, size_t at, int32_t surfaces, std::string& problem)
{
    int64_t vertices = 0, triangles = 0;
    for (int32_t i = 0; i < surfaces && at <= size && size - at >= kSurfaceBytes; ++i) {
        vertices += std::max(0, le32(bytes + at + 80));
        triangles += std::max(0, le32(bytes + at + 84));
        int32_t end = le32(bytes + at + 104);
        if (end < static_cast<int32_t>(kSurfaceBytes)) break;  // reported when the surfaces are read
        at += static_cast<size_t>(end);
    }
    if (vertices <= kMaxModelVertices && triangles <= kMaxModelTriangles) return true;
    char text[200];
    std::snprintf(text, sizeof(text), "%lld vertices and %lld triangles, past the budget of %d and %d for a model",
                  static_cast<long long>(vertices), static_cast<long long>(triangles), kMaxModelVertices,
                  kMaxModelTriangles);
    problem = text;
    return false;
}

} // namespace

bool readMd3Model(const unsigned char* bytes, size_t size, Model& out, std::string& problem)
{
    out = Model();
    if (size < kHeaderBytes || std::memcmp(bytes, "IDP3", 4) != 0) { problem = "not an MD3 file"; return false; }
    if (le32(bytes + 4) != 15) { problem = "MD3 version is not 15"; return false; }
    const int32_t frames = le32(bytes + 76), surfaces = le32(bytes + 84), ofsSurfaces = le32(bytes + 100);
    if (frames < 1 || surfaces < 0 || surfaces > kMaxSurfaces || ofsSurfaces < 0) {
        problem = "bad frame or surface counts";
        return false;
    }
    if (!withinBudget(bytes, size, static_cast<size_t>(ofsSurfaces), surfaces, problem)) return false;
    size_t at = static_cast<size_t>(ofsSurfaces);
    for (int32_t i = 0; i < surfaces; ++i) {
        if (at > size || size - at < kSurfaceBytes) { problem = "surface past the end of the file"; return false; }
        ModelMesh mesh;
        if (!readSurface(bytes, size, at, frames, mesh, problem)) return false;
        if (!mesh.triangles.empty()) out.meshes.push_back(std::move(mesh));
        int32_t end = le32(bytes + at + 104);
        if (end < static_cast<int32_t>(kSurfaceBytes)) { problem = "surface of no length"; return false; }
        at += static_cast<size_t>(end);
    }
    return true;
}

size_t Model::triangleCount() const
{
    size_t n = 0;
    for (const ModelMesh& m : meshes) n += m.triangles.size() / 3;
    return n;
}

std::string modelTextureName(const std::string& raw)
{
    std::string name = raw;
    for (char& c : name)
        if (c == '\\') c = '/';
    std::string lower = name;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    // A full path ("C:/art/textures/x/y.tga") from its game folder on.
    size_t root = std::string::npos;
    for (const char* start : {"textures/", "models/"}) {
        size_t at = lower.find(start);
        if (at != std::string::npos && (at == 0 || lower[at - 1] == '/') && at < root) root = at;
    }
    if (root != std::string::npos) name = name.substr(root);
    while (!name.empty() && name[0] == '/') name.erase(0, 1);
    return FileSystem::withoutExtension(name);
}

} // namespace mapc
