// Cel-shading outlines: clones of the drawn brush faces with the outline shader.
#include "CelShading.h"
#include <algorithm>
#include <string>
#include "ContentFlags.h"
#include "TextureLibrary.h"

namespace mapc {

namespace {

// The entity's own key, else the worldspawn's.
const char* celShaderOf(const MapFile& map, int entity)
{
    const char* own = entity >= 0 ? map.entities[static_cast<size_t>(entity)].value("_celshader") : nullptr;
    if (own && *own) return own;
    const char* world = map.entities.empty() ? nullptr : map.entities[0].value("_celshader");
    return world && *world ? world : nullptr;
}

} // namespace

int addCelOutlines(const MapFile& map, TextureLibrary& library, BrushSet& brushes, PlaneSet& planes,
                   std::vector<Surface>& surfaces, Diagnostics& diag)
{
    const size_t count = surfaces.size();
    int added = 0;
    for (size_t i = 0; i < count; ++i) {
        const Surface& s = surfaces[i];
        if (s.model != 0 || s.isPatch() || s.isMesh() || s.brush < 0 || s.texture < 0) continue;
        if (brushes.textures[static_cast<size_t>(s.texture)].flags & kSurfSky) continue;
        const char* shader = celShaderOf(map, brushes.brushes[static_cast<size_t>(s.brush)].entity);
        if (!shader) continue;
        std::string name = shader;
        if (name.compare(0, 9, "textures/") == 0) name.erase(0, 9);
        const TextureTraits& t = library.traits(name, diag);
        Surface clone = s;
        clone.texture = brushes.textureIndex("textures/" + name, static_cast<int>(t.contents), static_cast<int>(t.flags));
        clone.lightmapped = (t.flags & (kSurfNoLightmap | kSurfSky)) == 0;
        Plane plane = planes[s.plane];
        if (t.invert) {
            plane.normal = plane.normal * -1.0;
            plane.dist = -plane.dist;
            for (Winding& w : clone.pieces) std::reverse(w.begin(), w.end());
        }
        // Moved along the (turned) normal: a negative offset with invert
        // puts the outline just outside the face.
        for (Winding& w : clone.pieces)
            for (Vec3& p : w) p += plane.normal * t.offset;
        plane.dist += t.offset;
        clone.plane = planes.find(plane);
        surfaces.push_back(std::move(clone));
        ++added;
    }
    return added;
}

} // namespace mapc
