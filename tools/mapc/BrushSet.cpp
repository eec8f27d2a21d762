#include "BrushSet.h"
#include <cstring>

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

bool startsWith(const std::string& s, const char* prefix)
{
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

std::string lastPart(const std::string& name)
{
    size_t slash = name.find_last_of('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

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

void buildBrushes(const MapFile& map, PlaneSet& planes, BrushSet& out, Diagnostics& diag)
{
    for (const MapEntity& e : map.entities) {
        if (e.brushes.empty()) continue;
        const char* cls = e.value("classname");
        if (!cls || std::string(cls) != "worldspawn") {
            diag.warn(e.line, "brushes of entity '%s' ignored (only worldspawn brushes are compiled)",
                      cls ? cls : "?");
            continue;
        }
        for (const MapBrush& mb : e.brushes) {
            Brush b;
            b.line = mb.line;
            bool bad = false;
            std::vector<int> sidePlanes;
            for (const MapSide& ms : mb.sides) {
                Vec3 n = (ms.points[0] - ms.points[1]).cross(ms.points[2] - ms.points[1]);
                if (n.length() < 1e-6) {
                    diag.warn(ms.line, "brush side has three points on one line; brush skipped");
                    bad = true;
                    break;
                }
                Plane p{n.normalized(), 0.0};
                p.dist = p.normal.dot(ms.points[1]);
                int index = planes.find(p);
                bool duplicate = false;
                for (int q : sidePlanes)
                    if (q == index) duplicate = true;
                if (duplicate) continue;
                sidePlanes.push_back(index);

                std::string part = lastPart(ms.texture);
                bool clip = startsWith(part, "clip");
                int contents = ms.contents >= 0 ? ms.contents : kContentsSolidBit;
                int flags = ms.flags;
                if (clip || startsWith(part, "nodraw")) flags |= kSurfaceNodraw;
                BrushSide s;
                s.plane = index;
                s.texture = out.textureIndex("textures/" + ms.texture, contents, flags);
                s.offset[0] = ms.offset[0];
                s.offset[1] = ms.offset[1];
                s.rotation = ms.rotation;
                s.scale[0] = ms.scale[0] == 0.0 ? 1.0 : ms.scale[0];
                s.scale[1] = ms.scale[1] == 0.0 ? 1.0 : ms.scale[1];
                s.drawn = (flags & kSurfaceNodraw) == 0;
                if (b.sides.empty()) {
                    b.texture = s.texture;
                    b.contents = contents;
                    b.structural = (contents & kContentsSolidBit) && !clip;
                }
                b.sides.push_back(s);
            }
            if (bad) continue;
            if (b.sides.size() < 4) {
                diag.warn(mb.line, "brush has fewer than four sides or no volume; skipped");
                continue;
            }
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
                continue;
            }
            for (const BrushSide& s : b.sides)
                for (const Vec3& p : s.winding) b.bounds.add(p);
            if (!Bounds{Vec3(-kMaxCoordinate, -kMaxCoordinate, -kMaxCoordinate),
                        Vec3(kMaxCoordinate, kMaxCoordinate, kMaxCoordinate)}
                     .contains(b.bounds.mins, 1.0) ||
                !Bounds{Vec3(-kMaxCoordinate, -kMaxCoordinate, -kMaxCoordinate),
                        Vec3(kMaxCoordinate, kMaxCoordinate, kMaxCoordinate)}
                     .contains(b.bounds.maxs, 1.0)) {
                diag.warn(mb.line, "brush is not closed by its sides; skipped");
                continue;
            }
            addBevels(b, planes);
            out.brushes.push_back(std::move(b));
        }
    }
}

} // namespace mapc
