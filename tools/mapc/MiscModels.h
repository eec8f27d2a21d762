#pragma once
// Models placed by misc_model entities, in level space.
#include <vector>
#include "BrushSet.h"
#include "BspTree.h"
#include "BspWriter.h"
#include "MapParser.h"
#include "ModelClip.h"
#include "Surfaces.h"
#include "TextureLibrary.h"

class FileSystem;

namespace mapc {

// Triangles of all placed models of a level together, at most.
constexpr size_t kMaxLevelModelTriangles = 2u << 20;

// Model space to level space of one misc_model: scale ("modelscale",
// "modelscale_vec"), then roll about x, pitch about y, yaw about z
// ("angles" "pitch yaw roll" or "angle" yaw), then "origin".
struct ModelPlacement {
    double axes[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    Vec3 origin;
    Vec3 apply(const Vec3& p) const;
};
ModelPlacement placementOf(const MapEntity& e);

// Every misc_model entity's ASE or MD3 model, read from the files, placed,
// and cut into pieces of nearby triangles: mesh surfaces of the world, each
// listed in the inside leaves its box reaches. A missing or damaged model
// costs one warning. The triangles of models whose spawnflags ask for
// collision go to clips as well. Models whose spawnflags ask for lightmaps
// are cut into lightmap pieces of `luxel` units per luxel (times their
// "_lightmapscale"); the others are lit at their points. Returns the
// surfaces added.
int addMiscModels(const MapFile& map, const FileSystem* files, TextureLibrary& library, BrushSet& textures,
                  const Tree& tree, const PlaneSet& planes, double luxel, std::vector<Surface>& out,
                  Diagnostics& diag, std::vector<ClipTriangle>* clips = nullptr);

// The models the shaders of the world's brush faces scatter over them
// ("q3map_surfacemodel"): each face is cut into triangles no longer than
// the rule's density, and each has the rule's odds of one model on its
// middle, scaled and turned at random (the same for the same source).
// Returns the surfaces added.
int addSurfaceModels(const FileSystem* files, TextureLibrary& library, BrushSet& textures, const Tree& tree,
                     const PlaneSet& planes, std::vector<Surface>& surfaces, Diagnostics& diag);

// Unit normal at each point of a mesh surface: the area-weighted front
// normals of the triangles around it.
std::vector<Vec3> meshNormals(const Surface& s);

// Appends the face of a mesh surface: type 3, or with a lightmap block a
// type-1 face with lightmap coordinates, the kind levels keep lit triangles in.
void emitMeshFace(const Surface& s, LevelLumps& out);

} // namespace mapc
