#pragma once
// The content and surface bits of brushes and faces.
#include <cstdint>

// The content and surface bits every Quake-3-format tool and game agree on.
// Content bits say what a brush is made of (the game collides with
// kContentsSolid); surface bits say how its faces are drawn and lit.
namespace mapc {

enum ContentBits : uint32_t {
    kContentsSolid = 0x1,
    kContentsLava = 0x8,
    kContentsSlime = 0x10,
    kContentsWater = 0x20,
    kContentsFog = 0x40,
    kContentsNotTeam1 = 0x80,
    kContentsNotTeam2 = 0x100,
    kContentsNoBotClip = 0x200,
    kContentsAreaPortal = 0x8000,
    kContentsPlayerClip = 0x10000,
    kContentsMonsterClip = 0x20000,
    kContentsTeleporter = 0x40000,
    kContentsJumpPad = 0x80000,
    kContentsClusterPortal = 0x100000,
    kContentsDoNotEnter = 0x200000,
    kContentsBotClip = 0x400000,
    kContentsMover = 0x800000,
    kContentsOrigin = 0x1000000,
    kContentsBody = 0x2000000,
    kContentsCorpse = 0x4000000,
    kContentsDetail = 0x8000000,
    kContentsStructural = 0x10000000,
    kContentsTranslucent = 0x20000000,
    kContentsTrigger = 0x40000000,
    kContentsNoDrop = 0x80000000,
};

// Contents light and sight pass through: see-through volumes, liquids, fog.
constexpr uint32_t kContentsSeeThrough = kContentsTranslucent | kContentsWater | kContentsSlime | kContentsLava | kContentsFog;

enum SurfaceBits : uint32_t {
    kSurfNoDamage = 0x1,
    kSurfSlick = 0x2,
    kSurfSky = 0x4,
    kSurfLadder = 0x8,
    kSurfNoImpact = 0x10,
    kSurfNoMarks = 0x20,
    kSurfFlesh = 0x40,
    kSurfNoDraw = 0x80,
    kSurfHint = 0x100,
    kSurfSkip = 0x200,
    kSurfNoLightmap = 0x400,
    kSurfPointLight = 0x800,
    kSurfMetalSteps = 0x1000,
    kSurfNoSteps = 0x2000,
    kSurfNonSolid = 0x4000,
    kSurfLightFilter = 0x8000,
    kSurfAlphaShadow = 0x10000,
    kSurfNoDLight = 0x20000,
    kSurfDust = 0x40000,
};

// What a texture makes of the brushes and faces that use it.
struct TextureTraits {
    uint32_t contents = kContentsSolid;
    uint32_t flags = 0;
    int width = 64;   // texels, for classic texture placement
    int height = 64;
    double sun[6] = {0, 0, 0, 0, 0, 0};  // sky shaders: r g b intensity degrees elevation
    double surfaceLight = 0;             // light given off per face area
    double skyLight = 0;                 // sky shaders: light of the whole dome
    double lightColor[3] = {1, 1, 1};    // of surface and sky light: the light image's mean, largest 1
    double backSplash[2] = {5, 23};      // glowing faces: percent of their light thrown back, from this far out
    bool terrain = false;                // painted by the entity's index map
    bool invert = false;                 // clones (cel shading) face the other way
    double offset = 0;                   // clones are moved this far along the normal
    double lightmapBrightness = 1;       // the faces' stored light times this
    bool twoSided = false;               // "cull none": seen, and glowing, from both sides
    bool worldTexture = false;           // texture s, t = position . textureVectors
    double textureVectors[2][3] = {{0, 0, 0}, {0, 0, 0}};
};

// Applies one "surfaceparm NAME" to the traits; false for an unknown name.
bool applySurfaceParm(const char* name, TextureTraits& t);

// Traits of the usual tool texture names (the part after the last '/'):
// caulk, nodraw, clip, playerclip, weapclip, trigger, hint, skip,
// areaportal, origin, sky...; ordinary names are solid and drawn.
TextureTraits toolTextureTraits(const char* name);

} // namespace mapc
