// Building the level's brushes from the map: entity models, origin brushes, side bits and bevels.
#include "BrushSet.h"
#include <algorithm>
#include <cstdio>
#include <cstring>
#include "ContentFlags.h"
#include "TextureLibrary.h"

namespace mapc {

int BrushSet::textureIndex(const std::string& name, int contents, int flags)
{
    for (size_t i = 0; i < textures.size(); ++i)
        if (textures[i].name == name && textures[i].contents == contents && textures[i].flags == flags)
            return static_cast<int>(i);
    textures.push_back({name, contents, flags});
    return static_cast<int>(textures.size()) - 1;
}

namespace {

double brushVolume(const Brush& b, const PlaneSet& planes)
{
    Vec3 origin;
    int n = 0;
    for (const BrushSide& s : b.sides)
        for (const Vec3& p : s.winding) { origin += p; ++n; }
    if (n == 0) return 0.0;
    origin = origin * (1.0 / n);
    double volume = 0.0;
    for (const BrushSide& s : b.sides) {
        if (s.winding.empty()) continue;
        double height = planes[s.plane].distanceTo(origin);
        volume += -height * windingArea(s.winding) / 3.0;
    }
    return volume;
}

void addBevels(Brush& b, PlaneSet& planes)
{
    for (int axis = 0; axis < 3; ++axis) {
        for (int dir = -1; dir <= 1; dir += 2) {
            bool present = false;
            for (const BrushSide& s : b.sides)
                if (planes[s.plane].normal[axis] == dir) present = true;
            if (present) continue;
            Plane p;
            p.normal[axis] = dir;
            p.dist = dir > 0 ? b.bounds.maxs[axis] : -b.bounds.mins[axis];
            BrushSide bevel;
            bevel.plane = planes.find(p);
            bevel.texture = b.texture;
            bevel.bevel = true;
            bevel.drawn = false;
            b.sides.push_back(bevel);
        }
    }
}

} // namespace

bool pointInBrush(const Brush& b, const PlaneSet& planes, const Vec3& p, double epsilon)
{
    for (const BrushSide& s : b.sides)
        if (planes[s.plane].distanceTo(p) > -epsilon) return false;
    return true;
}

namespace {

bool isWorldEntity(const MapEntity& e)
{
    const char* cls = e.value("classname");
    return cls && (std::strcmp(cls, "worldspawn") == 0 || std::strcmp(cls, "func_group") == 0);
}

bool isOriginBrush(const MapBrush& b, TextureLibrary& library, Diagnostics& diag)
{
    for (const MapSide& s : b.sides)
        if (!(library.traits(s.texture, diag).contents & kContentsOrigin) && !(s.contents & kContentsOrigin))
            return false;
    return !b.sides.empty();
}

// Middle of the box of the brush's side points (origin brushes are boxes).
Vec3 brushMiddle(const MapBrush& b)
{
    Bounds box;
    for (const MapSide& s : b.sides)
        for (const Vec3& p : s.points) box.add(p);
    return (box.mins + box.maxs) * 0.5;
}

void shiftEntity(MapEntity& e, const Vec3& by)
{
    for (MapBrush& b : e.brushes)
        for (MapSide& s : b.sides)
            for (Vec3& p : s.points) p += by;
    for (MapPatch& p : e.patches)
        for (PatchPoint& cp : p.points) cp.position += by;
}

// The side's content bits joined with its texture's. The surface bits are
// the texture's alone: editors leave stale numbers in that field (ordinary
// walls marked sky or hint), and the common compilers ignore it too.
void sideBits(const MapSide& ms, const TextureTraits& t, int& contents, int& flags)
{
    contents = static_cast<int>(t.contents | static_cast<uint32_t>(ms.contents));
    flags = static_cast<int>(t.flags);
}

bool buildOne(const MapBrush& mb, int model, TextureLibrary& library, PlaneSet& planes, BrushSet& out,
              Diagnostics& diag, Brush& b)
{
    b.line = mb.line;
    b.model = model;
    std::vector<int> sidePlanes;
    uint32_t contents = 0, surfaceFlags = 0;
    bool anySeeThrough = false;  // a glass or grate side lets sight through the whole brush
    for (const MapSide& ms : mb.sides) {
        Vec3 n = (ms.points[0] - ms.points[1]).cross(ms.points[2] - ms.points[1]);
        if (n.length() < 1e-6) {
            diag.warn(ms.line, "brush side has three points on one line; brush skipped");
            return false;
        }
        Plane p{n.normalized(), 0.0};
        p.dist = p.normal.dot(ms.points[1]);
        int index = planes.find(p);
        if (std::find(sidePlanes.begin(), sidePlanes.end(), index) != sidePlanes.end()) continue;
        sidePlanes.push_back(index);

        const TextureTraits& traits = library.traits(ms.texture, diag);
        int sideContents = 0, flags = 0;
        sideBits(ms, traits, sideContents, flags);
        // The first side speaks for the whole brush, as editors expect
        // (mixed sides are usually a stray detail flag).
        if (b.sides.empty()) {
            contents = static_cast<uint32_t>(sideContents);
            surfaceFlags = static_cast<uint32_t>(flags);
        }
        anySeeThrough = anySeeThrough || (static_cast<uint32_t>(sideContents) & kContentsTranslucent);
        BrushSide s;
        s.plane = index;
        s.texture = out.textureIndex("textures/" + ms.texture, sideContents, flags);
        s.offset[0] = ms.offset[0];
        s.offset[1] = ms.offset[1];
        s.rotation = ms.rotation;
        s.scale[0] = ms.textureScale(0);
        s.scale[1] = ms.textureScale(1);
        s.hasMatrix = ms.hasMatrix;
        std::memcpy(s.matrix, ms.matrix, sizeof(s.matrix));
        s.imageSize[0] = traits.width;
        s.imageSize[1] = traits.height;
        s.worldTexture = traits.worldTexture;
        std::memcpy(s.worldAxes, traits.textureVectors, sizeof(s.worldAxes));
        s.drawn = (flags & (kSurfNoDraw | kSurfHint | kSurfSkip)) == 0;
        s.lightmapped = (flags & (kSurfNoLightmap | kSurfSky)) == 0;
        b.sides.push_back(s);
    }
    if (b.sides.size() < 4) {
        diag.warn(mb.line, "brush has fewer than four sides or no volume; skipped");
        return false;
    }
    // Opaque world brushes hide what they cover; the structural ones (not
    // detail) also seal the level and split the tree. See-through volumes,
    // liquids, hints and brushes without the solid bit (player clips and
    // other nonsolid walls) do neither, as level makers expect: the faces
    // behind a clip brush stay drawn. One translucent side (a grate on a
    // caulked column) makes the whole brush see-through.
    const uint32_t seeThrough =
        kContentsSeeThrough | kContentsAreaPortal | kContentsClusterPortal | kContentsOrigin | kContentsTrigger;
    bool detail = (contents & kContentsDetail) && !(contents & kContentsStructural);
    b.opaque = model == 0 && (contents & kContentsSolid) && !(contents & seeThrough) && !anySeeThrough &&
               !(surfaceFlags & (kSurfHint | kSurfSkip));
    b.structural = b.opaque && !detail;
    b.contents = static_cast<int>(contents);
    const TextureRecord first = out.textures[static_cast<size_t>(b.sides[0].texture)];  // a copy: the list may grow
    b.texture = out.textureIndex(first.name, b.contents, first.flags);

    // Each side's polygon: its plane cut by every other side.
    for (BrushSide& s : b.sides) {
        s.winding = baseWinding(planes[s.plane]);
        for (const BrushSide& o : b.sides) {
            if (&o == &s) continue;
            clipWinding(s.winding, planes[o.plane ^ 1], 0.001);
            if (s.winding.empty()) break;
        }
    }
    std::vector<BrushSide> kept;
    for (BrushSide& s : b.sides)
        if (!s.winding.empty()) kept.push_back(s);
    b.sides.swap(kept);
    if (b.sides.size() < 4 || brushVolume(b, planes) < 1.0) {
        diag.warn(mb.line, "brush has fewer than four sides or no volume; skipped");
        return false;
    }
    for (const BrushSide& s : b.sides)
        for (const Vec3& p : s.winding) b.bounds.add(p);
    const Bounds limit{Vec3(-kMaxCoordinate, -kMaxCoordinate, -kMaxCoordinate),
                       Vec3(kMaxCoordinate, kMaxCoordinate, kMaxCoordinate)};
    if (!limit.contains(b.bounds.mins, 1.0) || !limit.contains(b.bounds.maxs, 1.0)) {
        diag.warn(mb.line, "brush is not closed by its sides; skipped");
        return false;
    }
    addBevels(b, planes);
    return true;
}

} // namespace

int assignModels(MapFile& map, TextureLibrary& library, std::vector<int>& modelOf, Diagnostics& diag)
{
    modelOf.assign(map.entities.size(), -1);
    int models = 1;
    for (size_t i = 0; i < map.entities.size(); ++i) {
        MapEntity& e = map.entities[i];
        if (i == 0 || isWorldEntity(e)) {
            modelOf[i] = 0;
            continue;
        }
        if (e.brushes.empty() && e.patches.empty()) continue;
        // An origin brush names the point the model turns about.
        for (size_t b = 0; b < e.brushes.size(); ++b) {
            if (!isOriginBrush(e.brushes[b], library, diag)) continue;
            Vec3 origin = brushMiddle(e.brushes[b]);
            e.brushes.erase(e.brushes.begin() + static_cast<long>(b));
            char text[96];
            std::snprintf(text, sizeof(text), "%g %g %g", origin.x, origin.y, origin.z);
            e.set("origin", text);
            shiftEntity(e, -origin);
            break;
        }
        modelOf[i] = models;
        e.set("model", "*" + std::to_string(models));
        ++models;
    }
    return models;
}

void buildBrushes(const MapFile& map, const std::vector<int>& modelOf, TextureLibrary& library,
                  PlaneSet& planes, BrushSet& out, Diagnostics& diag)
{
    // Models in order, so each model's brushes form one run.
    int models = 0;
    for (int m : modelOf) models = std::max(models, m + 1);
    for (int model = 0; model < models; ++model)
        for (size_t ei = 0; ei < map.entities.size(); ++ei) {
            if (modelOf[ei] != model) continue;
            for (const MapBrush& mb : map.entities[ei].brushes) {
                Brush b;
                b.entity = static_cast<int>(ei);
                if (buildOne(mb, model, library, planes, out, diag, b)) out.brushes.push_back(std::move(b));
            }
        }
}

} // namespace mapc
