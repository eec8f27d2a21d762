// Reading ASE (ASCII scene) models into triangle meshes, every count bounded.
#include <array>
#include <cmath>
#include <cstdlib>
#include <map>
#include <unordered_map>
#include "ModelFormats.h"

namespace mapc {

namespace {

constexpr long kMaxMaterials = 4096;
// Objects, vertices, texture vertices and faces of all objects together.
constexpr size_t kMaxAseItems = 4u << 20;
// An object's empty lists cost about what four items do.
constexpr size_t kObjectItems = 4;

struct AseObject {
    std::vector<Vec3> vertices;
    std::vector<std::array<double, 2>> tverts;
    std::vector<std::array<long, 3>> faces, tfaces;
    long material = 0;
};

struct AseMaterial {
    std::string name, bitmap;
};

class AseScanner {
public:
    AseScanner(const char* t, size_t n) : text(t), size(n) {}

    // Next word, or the inside of a quoted string; false at the end.
    bool next(std::string& out)
    {
        while (at < size && static_cast<unsigned char>(text[at]) <= ' ') ++at;
        if (at >= size) return false;
        size_t start = at;
        if (text[at] == '"') {
            ++start;
            ++at;
            while (at < size && text[at] != '"' && text[at] != '\n') ++at;
            out.assign(text + start, at - start);
            if (at < size && text[at] == '"') ++at;
            return true;
        }
        while (at < size && static_cast<unsigned char>(text[at]) > ' ') ++at;
        out.assign(text + start, at - start);
        return true;
    }

    bool number(double& out)
    {
        std::string word;
        if (!next(word)) return false;
        char* end = nullptr;
        out = std::strtod(word.c_str(), &end);
        return end != word.c_str() && std::isfinite(out);
    }

    // An integer, a trailing ':' allowed ("12:").
    bool integer(long& out)
    {
        std::string word;
        if (!next(word)) return false;
        char* end = nullptr;
        out = std::strtol(word.c_str(), &end, 10);
        return end != word.c_str() && (*end == '\0' || (*end == ':' && end[1] == '\0'));
    }

    // "A:" 12 "B:" 5 ... : skips the label, reads the number.
    bool labelled(long& out)
    {
        std::string label;
        return next(label) && integer(out);
    }

private:
    const char* text;
    size_t size;
    size_t at = 0;
};

// A count that resizes a list; within the file's budget.
bool readCount(AseScanner& scan, size_t& budget, long& count)
{
    if (!scan.integer(count) || count < 0 || static_cast<size_t>(count) > budget) return false;
    budget -= static_cast<size_t>(count);
    return true;
}

bool readMeshLine(const std::string& word, AseScanner& scan, AseObject& o, size_t& budget, std::string& problem)
{
    long n = 0, i = 0;
    if (word == "*MESH_NUMVERTEX" || word == "*MESH_NUMTVERTEX" || word == "*MESH_NUMFACES" ||
        word == "*MESH_NUMTVFACES") {
        if (!readCount(scan, budget, n)) { problem = "bad or too large " + word; return false; }
        if (word == "*MESH_NUMVERTEX") o.vertices.assign(static_cast<size_t>(n), Vec3());
        else if (word == "*MESH_NUMTVERTEX") o.tverts.assign(static_cast<size_t>(n), {0.0, 0.0});
        else if (word == "*MESH_NUMFACES") o.faces.assign(static_cast<size_t>(n), {-1, -1, -1});
        else o.tfaces.assign(static_cast<size_t>(n), {-1, -1, -1});
        return true;
    }
    if (word == "*MESH_VERTEX") {
        Vec3 p;
        if (!scan.integer(i) || !scan.number(p.x) || !scan.number(p.y) || !scan.number(p.z) || i < 0 ||
            static_cast<size_t>(i) >= o.vertices.size()) {
            problem = "bad *MESH_VERTEX";
            return false;
        }
        o.vertices[static_cast<size_t>(i)] = p;
    } else if (word == "*MESH_TVERT") {
        double u = 0, v = 0, w = 0;
        if (!scan.integer(i) || !scan.number(u) || !scan.number(v) || !scan.number(w) || i < 0 ||
            static_cast<size_t>(i) >= o.tverts.size()) {
            problem = "bad *MESH_TVERT";
            return false;
        }
        o.tverts[static_cast<size_t>(i)] = {u, 1.0 - v};  // the export's v grows upwards
    } else if (word == "*MESH_FACE" || word == "*MESH_TFACE") {
        bool plain = word == "*MESH_FACE";
        std::vector<std::array<long, 3>>& list = plain ? o.faces : o.tfaces;
        std::array<long, 3> f{};
        bool ok = scan.integer(i);
        for (int k = 0; k < 3 && ok; ++k) ok = plain ? scan.labelled(f[static_cast<size_t>(k)]) : scan.integer(f[static_cast<size_t>(k)]);
        if (!ok || i < 0 || static_cast<size_t>(i) >= list.size()) {
            problem = "bad " + word;
            return false;
        }
        list[static_cast<size_t>(i)] = f;
    } else if (word == "*MATERIAL_REF") {
        if (!scan.integer(o.material)) { problem = "bad *MATERIAL_REF"; return false; }
    }
    return true;
}

bool inRange(const std::array<long, 3>& f, size_t count)
{
    for (long v : f)
        if (v < 0 || static_cast<size_t>(v) >= count) return false;
    return true;
}

// The object's triangles added to the mesh of its material.
bool addObject(const AseObject& o, const std::vector<AseMaterial>& materials, std::map<long, ModelMesh>& meshes,
               std::string& problem)
{
    if (o.faces.empty()) return true;
    ModelMesh& mesh = meshes[o.material];
    if (mesh.shader.empty()) {
        if (o.material >= 0 && static_cast<size_t>(o.material) < materials.size()) {
            const AseMaterial& m = materials[static_cast<size_t>(o.material)];
            mesh.shader = modelTextureName(m.bitmap.empty() ? m.name : m.bitmap);
        }
        if (mesh.shader.empty()) mesh.shader = "noshader";
    }
    const bool textured = o.tfaces.size() == o.faces.size();
    std::unordered_map<long long, int> corner;  // vertex * tverts + tvert -> mesh vertex
    for (size_t fi = 0; fi < o.faces.size(); ++fi) {
        const std::array<long, 3>& f = o.faces[fi];
        if (!inRange(f, o.vertices.size())) { problem = "face vertex out of range"; return false; }
        bool hasT = textured && inRange(o.tfaces[fi], o.tverts.size());
        int index[3];
        for (int k = 0; k < 3; ++k) {
            long v = f[static_cast<size_t>(k)], t = hasT ? o.tfaces[fi][static_cast<size_t>(k)] : -1;
            long long key = static_cast<long long>(v) * (static_cast<long long>(o.tverts.size()) + 1) + (t + 1);
            auto found = corner.find(key);
            if (found == corner.end()) {
                PatchPoint p;
                p.position = o.vertices[static_cast<size_t>(v)];
                if (t >= 0) {
                    p.st[0] = o.tverts[static_cast<size_t>(t)][0];
                    p.st[1] = o.tverts[static_cast<size_t>(t)][1];
                }
                found = corner.emplace(key, static_cast<int>(mesh.vertices.size())).first;
                mesh.vertices.push_back(p);
            }
            index[k] = found->second;
        }
        // The export winds counter-clockwise seen from the front.
        mesh.triangles.push_back(index[0]);
        mesh.triangles.push_back(index[2]);
        mesh.triangles.push_back(index[1]);
    }
    return true;
}

} // namespace

bool readAseModel(const char* text, size_t size, Model& out, std::string& problem)
{
    out = Model();
    AseScanner scan(text, size);
    std::vector<AseMaterial> materials;
    std::vector<AseObject> objects;
    size_t budget = kMaxAseItems;
    int depth = 0, materialDepth = -1, objectDepth = -1;
    long material = -1;
    std::string word;
    while (scan.next(word)) {
        if (word == "{") { ++depth; continue; }
        if (word == "}") {
            if (--depth < 0) { problem = "unbalanced '}'"; return false; }
            if (depth < materialDepth) { material = -1; materialDepth = -1; }
            if (depth < objectDepth) objectDepth = -1;
            continue;
        }
        if (word == "*MATERIAL" && materialDepth < 0) {
            if (!scan.integer(material) || material < 0 || material >= kMaxMaterials) {
                problem = "bad *MATERIAL";
                return false;
            }
            if (static_cast<size_t>(material) >= materials.size()) materials.resize(static_cast<size_t>(material) + 1);
            materialDepth = depth + 1;
        } else if ((word == "*MATERIAL_NAME" || word == "*BITMAP") && material >= 0) {
            std::string value;
            if (!scan.next(value)) break;
            std::string& slot = word == "*BITMAP" ? materials[static_cast<size_t>(material)].bitmap
                                                  : materials[static_cast<size_t>(material)].name;
            if (slot.empty()) slot = value;
        } else if (word == "*GEOMOBJECT") {
            if (budget < kObjectItems) { problem = "too many *GEOMOBJECT items"; return false; }
            budget -= kObjectItems;
            objects.emplace_back();
            objectDepth = depth + 1;
        } else if (objectDepth >= 0 && (word.compare(0, 5, "*MESH") == 0 || word == "*MATERIAL_REF")) {
            if (!readMeshLine(word, scan, objects.back(), budget, problem)) return false;
        }
    }
    if (depth != 0) { problem = "unbalanced '{'"; return false; }
    std::map<long, ModelMesh> meshes;
    for (const AseObject& o : objects)
        if (!addObject(o, materials, meshes, problem)) return false;
    for (auto& m : meshes)
        if (!m.second.triangles.empty()) out.meshes.push_back(std::move(m.second));
    if (out.triangleCount() > static_cast<size_t>(kMaxModelTriangles)) { problem = "too many triangles"; return false; }
    return true;
}

} // namespace mapc
