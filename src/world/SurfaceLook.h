#pragma once
// How the surfaces of one texture record are drawn.
#include <vector>

#include "resources/ShaderScripts.h"

#include "world/BspFormat.h"

// How the surfaces of one texture record are drawn: the plain way (its
// picture times its lightmap, batched) or stage by stage as its shader says.
// How a stage takes the part of the overbright factor applied when drawing
// (texture x light x 2): its own colour scaled (clamped per pixel), or its
// multiply with what lies below counted twice, which is not clamped before
// the product, so a lit surface may pass its texture's colour.
enum class LightScaling : uint8_t { None, Colour, Filter };

struct StageLook {
    unsigned frames[kMaxAnimFrames] = {};  // the stage's pictures; 0: none found
    int frameCount = 0;
    LightScaling light = LightScaling::None;
};

struct SurfaceLook {
    ShaderInfo shader;
    std::vector<StageLook> stages;  // one per shader stage
    bool staged = false;            // false: texture x lightmap, as without a shader
    bool blended = false;           // drawn after the opaque surfaces, far to near
    bool cpuVertices = false;       // deforms, environment coordinates or mixed colours
    float sort = kSortOpaque;
};

// A fog volume of the level: what its shader's fogParms say.
struct FogVolume {
    bool present = false;
    float colour[3] = {0.0f, 0.0f, 0.0f};
    float distance = 1.0f;  // where the fog becomes opaque
};

// Whether a shader is the plain picture-times-lightmap pair, drawn the fast way.
bool isPlainLightmapped(const ShaderInfo& shader);

// One look per texture record of the level, with every stage's pictures
// requested from the texture manager (clamped and mipmapped as asked). Sky,
// tool and fog records get empty looks. Needs a GL context.
void makeSurfaceLooks(const bsp::BspTexture* textures, int count, std::vector<SurfaceLook>& looks);

// Every texture the looks requested, for their release with the level.
void collectLookTextures(const std::vector<SurfaceLook>& looks, std::vector<unsigned>& handles);
