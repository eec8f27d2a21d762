// Scaling a parsed source before it is compiled.
#include "MapScale.h"
#include <cmath>
#include <cstdio>
#include <cstring>

namespace mapc {

namespace {

bool inRange(const Vec3& p)
{
    return std::fabs(p.x) <= kMaxCoordinate && std::fabs(p.y) <= kMaxCoordinate && std::fabs(p.z) <= kMaxCoordinate;
}

std::string vectorText(const Vec3& v)
{
    char text[96];
    std::snprintf(text, sizeof(text), "%.17g %.17g %.17g", v.x, v.y, v.z);
    return text;
}

std::string numberText(double v)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%.17g", v);
    return text;
}

// The line of the first entity with a point that would leave the range; 0: none.
int firstOutOfRange(const MapFile& map, double factor)
{
    for (const MapEntity& e : map.entities) {
        Vec3 origin;
        if (e.vector("origin", origin) && !inRange(origin * factor)) return e.line;
        for (const MapBrush& b : e.brushes)
            for (const MapSide& side : b.sides)
                for (const Vec3& p : side.points)
                    if (!inRange(p * factor)) return side.line;
        for (const MapPatch& patch : e.patches)
            for (const PatchPoint& p : patch.points)
                if (!inRange(p.position * factor)) return patch.line;
    }
    return 0;
}

} // namespace

bool scaleMap(MapFile& map, double factor, Diagnostics& diag)
{
    if (!isMapScale(factor)) {
        diag.fail(0, "scale %g is outside %g-%g", factor, kLeastMapScale, kMostMapScale);
        return false;
    }
    if (const int line = firstOutOfRange(map, factor)) {
        diag.fail(line, "scaled by %g, a point leaves +-%g", factor, kMaxCoordinate);
        return false;
    }
    for (MapEntity& e : map.entities) {
        // An origin that is no point (vector() refuses it) stays as written, for the passes that report it.
        Vec3 v;
        if (e.vector("origin", v)) e.set("origin", vectorText(v * factor));
        const char* cls = e.value("classname");
        if (cls && std::strcmp(cls, "misc_model") == 0) {
            if (e.vector("modelscale_vec", v)) e.set("modelscale_vec", vectorText(v * factor));
            else e.set("modelscale", numberText(e.number("modelscale", 1.0) * factor));
        }
        for (MapBrush& b : e.brushes)
            for (MapSide& side : b.sides) {
                for (Vec3& p : side.points) p = p * factor;
                // Texture units per world unit shrink as the world grows: the picture stretches with the face.
                for (int i = 0; i < 2; ++i) {
                    side.scale[i] = side.textureScale(i) * factor;
                    side.matrix[i][0] /= factor;
                    side.matrix[i][1] /= factor;
                }
            }
        for (MapPatch& patch : e.patches)
            for (PatchPoint& p : patch.points) p.position = p.position * factor;
    }
    return true;
}

} // namespace mapc
