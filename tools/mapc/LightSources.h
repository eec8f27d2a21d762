#pragma once
// The light sources of a level: light entities, the worldspawn's light keys
// and the shaders that give off light (skies and glowing faces).
#include <vector>
#include "BrushSet.h"
#include "Diagnostics.h"
#include "MapParser.h"
#include "PlaneSet.h"
#include "Surfaces.h"
#include "TextureLibrary.h"

namespace mapc {

class DetailShadows;
class ModelShadows;

// A "light" entity: "light" is both its brightness at the source (0-255
// scale) and the distance at which it fades to nothing; "_color" tints it.
// Aimed at a target it is a spotlight (cone through "radius" at the
// target); with "_sun" it is a sun.
struct PointLight {
    Vec3 origin;
    double intensity = 300.0;
    Vec3 color{1, 1, 1};
    bool linear = false;  // spawnflags 1: fades linearly to nothing at `intensity` / `fade` units
    double fade = 1.0;    // "_fade": light lost per unit of distance, linear lights only
    Vec3 facing;          // a glowing face's normal: shines as cos(angle off it); zero: all round
    double reach = 0;     // beyond this it adds less than a unit
    Vec3 spotAxis;        // a spotlight's unit direction; zero: all round
    double spotCosFull = 1;  // ... full light within this cosine off the axis,
    double spotCosNone = 1;  // ... none beyond this one, a ramp between
    bool glowing = false; // given off by a glowing face (its cell or its back-splash)
    Winding cell;         // a glowing face's piece it stands for; empty: a point
    double cellArea = 0;  // ... its area
    double nearRange = 0; // ... closer than this, lit as the whole piece seen (not as a point)

    double valueAt(double dist) const;
    // Light of a glowing piece at p (normal n), from how much of the view
    // above p the piece fills: right beside it, a point would graze.
    double nearValueAt(const Vec3& p, const Vec3& n) const;
    void setReach();  // from intensity and linear
};

// Light from the sky in one direction (a sky shader's "q3map_sun", or a
// light entity with "_sun" aimed at its target): a luxel gets it when a
// line towards the sun ends on a sky face.
struct SunLight {
    Vec3 towards;  // unit vector to the sun
    Vec3 color{1, 1, 1};
    double intensity = 0;
};

struct LightSettings {
    double luxel = 16.0;       // world units per luxel (worldspawn "luxel_size")
    // Worldspawn "ambient" and "_minlight" name the stored byte (the light
    // is that times the overbright factor); "_color" scales both as given.
    double ambient = 0.0;      // light added to every luxel
    double minLight = 0.0;     // no luxel darker than this light
    Vec3 ambientColor{1, 1, 1};
    double floodLight = 0.0;   // worldspawn "_floodlight": light of a fully open luxel
    double floodReach = 0.0;   // ... and how far a luxel looks for what shades it
    Vec3 floodColor{1, 1, 1};
    double dirtScale = 1.0;    // worldspawn "_dirtscale": how much corners darken (0: not at all)
    double dirtDepth = 128.0;  // worldspawn "_dirtdepth": how far a luxel looks for what closes it in
    std::vector<PointLight> lights;
    std::vector<SunLight> suns;
    std::vector<char> skySurface;  // per surface: a sky face the sun shines through
    std::vector<Vec3> skyGlow;     // per surface: light of the dome seen through a sky face (0: none)
    bool anySkyGlow = false;
    std::vector<float> brightness;  // per surface: its stored light times this (shader's); empty: all 1
    const ModelShadows* modelShadows = nullptr;  // placed models' triangles in the way; null: none
    const ModelShadows* worldModelShadows = nullptr;  // ... those in the way of brush faces and patches
    const DetailShadows* detailShadows = nullptr;  // opaque detail brushes in the way; null: none
};

// Reads the worldspawn keys and the light entities; `dirtScale` is the
// corner dirt of a level whose worldspawn names none (negative: 1).
LightSettings readLightSettings(const MapFile& map, Diagnostics& diag, double dirtScale = -1.0);

// The sky faces, their suns ("q3map_sun") and dome light ("q3map_skylight",
// and "q3map_surfacelight" of a sky shader); also each surface's
// "q3map_lightmapBrightness".
void addSkyLights(const std::vector<Surface>& surfaces, const BrushSet& brushes, TextureLibrary& library,
                  Diagnostics& diag, LightSettings& light);

// Faces whose shader gives off light ("q3map_surfacelight") light the
// level as a point light a little in front of each piece (of a placed
// model: of each cluster of its glowing triangles).
void addSurfaceLights(const std::vector<Surface>& surfaces, const BrushSet& brushes, const PlaneSet& planes,
                      TextureLibrary& library, Diagnostics& diag, LightSettings& light);

} // namespace mapc
