// Turns the shaders of a level's texture records into looks: which draw
// path each takes and the pictures of every stage.
#include "world/SurfaceLook.h"

#include <algorithm>

#include "resources/FileSystem.h"
#include "resources/TextureManager.h"
#include "world/StageMotion.h"
#include "world/SurfaceKind.h"

namespace {

bool isPlainStage(const ShaderStage& s)
{
    return s.texMods.empty() && s.rgbGen == ColourGen::Identity && s.alphaGen == ColourGen::Identity &&
           s.alphaTest == AlphaTest::None && !s.depthEqual && !s.clamp && s.images.size() <= 1 &&
           s.tcGen == (s.lightmap ? TexGen::Lightmap : TexGen::Base) && !s.white;
}

bool isFilter(const ShaderStage& s)
{
    return s.blended && ((s.source == BlendFactor::DstColour && s.destination == BlendFactor::Zero) ||
                         (s.source == BlendFactor::Zero && s.destination == BlendFactor::SrcColour));
}

bool needsCpuVertices(const ShaderInfo& shader)
{
    if (!shader.deforms.empty())
        return true;
    for (const ShaderStage& s : shader.stages)
        if (s.tcGen == TexGen::Environment || colourMixed(s))
            return true;
    return false;
}

void loadStagePictures(const ShaderInfo& shader, SurfaceLook& look)
{
    TextureManager& manager = TextureManager::get();
    for (const ShaderStage& stage : shader.stages) {
        StageLook stageLook;
        for (const std::string& image : stage.images) {
            unsigned handle = 0;
            manager.loadStageTexture(image.c_str(), stage.clamp, !shader.noMipmaps, &handle);
            stageLook.frames[stageLook.frameCount++] = handle;
        }
        look.stages.push_back(stageLook);
    }
}

// Which stages carry the light: the lightmap stage, and the filter that
// multiplies the picture by it when the lightmap is drawn first; stages
// coloured by their vertices.
void markLightStages(const std::vector<ShaderStage>& stages, SurfaceLook& look)
{
    for (size_t i = 0; i < stages.size(); i++) {
        const ShaderStage& s = stages[i];
        LightScaling& light = look.stages[i].light;
        if (s.lightmap) {
            if (isFilter(s))
                light = LightScaling::Filter;
            else if (!s.blended && i + 1 < stages.size() && isFilter(stages[i + 1]))
                look.stages[i + 1].light = LightScaling::Filter;
            else
                light = LightScaling::Colour;
        } else if (s.rgbGen == ColourGen::Vertex && light == LightScaling::None) {
            light = isFilter(s) ? LightScaling::Filter : LightScaling::Colour;
        }
    }
}

// Nexuiz's shaders list "map $lightmap" after an opaque picture with no
// blend, meaning the usual picture times light; drawn as written it would
// hide the picture and show the bare lightmap.
void multiplyUnblendedLightmaps(std::vector<ShaderStage>& stages)
{
    for (size_t i = 1; i < stages.size(); i++) {
        ShaderStage& s = stages[i];
        if (s.lightmap && !s.blended && !stages[i - 1].blended && !stages[i - 1].lightmap) {
            s.blended = true;
            s.source = BlendFactor::DstColour;
            s.destination = BlendFactor::Zero;
            // Only where the picture was drawn, not through its holes.
            if (stages[i - 1].alphaTest != AlphaTest::None)
                s.depthEqual = true;
        }
    }
}

} // namespace

bool isPlainLightmapped(const ShaderInfo& shader)
{
    if (shader.stages.size() != 2 || !shader.deforms.empty() || shader.cull != CullMode::Front ||
        shader.polygonOffset || shader.drawSort() != kSortOpaque)
        return false;
    const ShaderStage& first = shader.stages[0];
    const ShaderStage& second = shader.stages[1];
    if (!isPlainStage(first) || !isPlainStage(second) || first.lightmap == second.lightmap)
        return false;
    return !first.blended && isFilter(second) && (first.lightmap || !first.images.empty()) &&
           (second.lightmap || !second.images.empty());
}

void makeSurfaceLooks(const bsp::BspTexture* textures, int count, std::vector<SurfaceLook>& looks)
{
    looks.assign(size_t(count > 0 ? count : 0), SurfaceLook());
    TextureManager& manager = TextureManager::get();
    for (int i = 0; i < count; i++) {
        FaceKind kind = textureKind(textures[i]);
        if (kind == FaceHidden)
            continue;
        const ShaderInfo* shader = manager.findShader(textures[i].name);
        if (!shader || shader->stages.empty())
            continue;
        SurfaceLook& look = looks[size_t(i)];
        look.shader = *shader;
        // Detail stages are left out: they add grain seen up close only,
        // keep the brightness, and would cost a pass on most walls.
        std::vector<ShaderStage>& stages = look.shader.stages;
        stages.erase(std::remove_if(stages.begin(), stages.end(), [](const ShaderStage& s) { return s.detail; }),
                     stages.end());
        if (stages.empty())
            continue;
        multiplyUnblendedLightmaps(stages);
        // The sky's stages are its cloud layers, drawn with the sky.
        if (kind == FaceSky || isPlainLightmapped(look.shader)) {
            if (kind == FaceSky)
                loadStagePictures(look.shader, look);
            continue;
        }
        look.staged = true;
        look.sort = look.shader.drawSort();
        look.blended = look.sort > kSortOpaque || stages[0].blended;
        look.cpuVertices = needsCpuVertices(look.shader);
        loadStagePictures(look.shader, look);
        markLightStages(stages, look);
    }
}

void collectLookTextures(const std::vector<SurfaceLook>& looks, std::vector<unsigned>& handles)
{
    for (const SurfaceLook& look : looks)
        for (const StageLook& stage : look.stages)
            for (int f = 0; f < stage.frameCount; f++)
                if (stage.frames[f])
                    handles.push_back(stage.frames[f]);
}
