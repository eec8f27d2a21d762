// The keywords of a shader script, one line at a time: what each sets in the
// shader or in one of its stages.
#include <algorithm>
#include <cmath>
#include <iterator>
#include <cstdlib>
#include <cstring>

#include "resources/FileSystem.h"
#include "resources/ShaderScripts.h"

namespace {

std::string lower(const std::string& text) { return FileSystem::lowerCase(text); }

// Words past the end read as "" and 0, so a short line sets defaults.
struct Line {
    const std::vector<std::string>& words;
    std::string word(size_t i) const { return i < words.size() ? lower(words[i]) : std::string(); }
    const std::string& raw(size_t i) const
    {
        static const std::string empty;
        return i < words.size() ? words[i] : empty;
    }
    float number(size_t i) const { return i < words.size() ? std::strtof(words[i].c_str(), nullptr) : 0.0f; }
    size_t size() const { return words.size(); }
};

bool readWaveForm(const std::string& name, WaveForm* form)
{
    static const struct {
        const char* name;
        WaveForm form;
    } kForms[] = {{"sin", WaveForm::Sin},
                  {"triangle", WaveForm::Triangle},
                  {"square", WaveForm::Square},
                  {"sawtooth", WaveForm::Sawtooth},
                  {"inversesawtooth", WaveForm::InverseSawtooth}};
    for (const auto& f : kForms)
        if (name == f.name) {
            *form = f.form;
            return true;
        }
    return false;
}

// "<form> base amplitude phase frequency" from word `at` on.
bool readWave(const Line& line, size_t at, Wave* wave)
{
    Wave w;
    if (!readWaveForm(line.word(at), &w.form))
        return false;
    w.base = line.number(at + 1);
    w.amplitude = line.number(at + 2);
    w.phase = line.number(at + 3);
    w.frequency = line.number(at + 4);
    *wave = w;
    return true;
}

bool readBlendFactor(const std::string& name, BlendFactor* factor)
{
    static const struct {
        const char* name;
        BlendFactor factor;
    } kFactors[] = {{"gl_zero", BlendFactor::Zero},
                    {"gl_one", BlendFactor::One},
                    {"gl_src_color", BlendFactor::SrcColour},
                    {"gl_one_minus_src_color", BlendFactor::OneMinusSrcColour},
                    {"gl_src_alpha", BlendFactor::SrcAlpha},
                    {"gl_one_minus_src_alpha", BlendFactor::OneMinusSrcAlpha},
                    {"gl_dst_color", BlendFactor::DstColour},
                    {"gl_one_minus_dst_color", BlendFactor::OneMinusDstColour},
                    {"gl_dst_alpha", BlendFactor::DstAlpha},
                    {"gl_one_minus_dst_alpha", BlendFactor::OneMinusDstAlpha},
                    {"gl_src_alpha_saturate", BlendFactor::SrcAlphaSaturate}};
    for (const auto& f : kFactors)
        if (name == f.name) {
            *factor = f.factor;
            return true;
        }
    return false;
}

bool readBlendFunc(const Line& line, ShaderStage& stage)
{
    std::string first = line.word(1);
    if (first == "add") {
        stage.source = BlendFactor::One, stage.destination = BlendFactor::One;
    } else if (first == "filter") {
        stage.source = BlendFactor::DstColour, stage.destination = BlendFactor::Zero;
    } else if (first == "blend") {
        stage.source = BlendFactor::SrcAlpha, stage.destination = BlendFactor::OneMinusSrcAlpha;
    } else if (!readBlendFactor(first, &stage.source) ||
               !readBlendFactor(line.word(2), &stage.destination)) {
        return false;
    }
    // GL_ONE, GL_ZERO is no blending at all.
    stage.blended = !(stage.source == BlendFactor::One && stage.destination == BlendFactor::Zero);
    return true;
}

bool readImage(const Line& line, ShaderStage& stage, bool clamp)
{
    std::string name = line.word(1);
    if (name.empty())
        return false;
    stage.images.clear();
    stage.clamp = clamp;
    stage.lightmap = name == "$lightmap";
    stage.white = name == "$whiteimage" || name == "*white";
    if (!stage.lightmap && !stage.white)
        stage.images.push_back(line.raw(1));
    if (stage.lightmap)
        stage.tcGen = TexGen::Lightmap;
    return true;
}

bool readAnimMap(const Line& line, ShaderStage& stage)
{
    stage.images.clear();
    stage.animFrequency = line.number(1);
    for (size_t i = 2; i < line.size() && stage.images.size() < size_t(kMaxAnimFrames); i++)
        stage.images.push_back(line.raw(i));
    return !stage.images.empty();
}

// rgbGen and alphaGen share their forms.
bool readColourGen(const Line& line, bool alpha, ShaderStage& stage)
{
    std::string form = line.word(1);
    ColourGen gen;
    if (form == "identity" || form == "identitylighting")
        gen = ColourGen::Identity;
    else if (form == "vertex" || form == "exactvertex" || form == "lightingdiffuse")
        gen = ColourGen::Vertex;
    else if (form == "const" || form == "constant")
        gen = ColourGen::Const;
    else if (form == "wave")
        gen = ColourGen::Wave;
    else
        return false;
    if (alpha && form != "const" && form != "constant" && form != "vertex" && form != "wave" &&
        form != "identity")
        return false;
    if (gen == ColourGen::Wave && !readWave(line, 2, alpha ? &stage.alphaWave : &stage.rgbWave))
        return false;
    if (gen == ColourGen::Const) {
        // "const ( r g b )": the parentheses are words of their own.
        std::vector<float> values;
        for (size_t i = 2; i < line.size(); i++)
            if (line.word(i) != "(" && line.word(i) != ")")
                values.push_back(line.number(i));
        if (alpha)
            stage.alphaConst = values.empty() ? 1.0f : values[0];
        for (int c = 0; !alpha && c < 3; c++)
            stage.rgbConst[c] = size_t(c) < values.size() ? values[size_t(c)] : 1.0f;
    }
    (alpha ? stage.alphaGen : stage.rgbGen) = gen;
    return true;
}

bool readTexMod(const Line& line, ShaderStage& stage)
{
    std::string kind = line.word(1);
    TexMod mod;
    if (kind == "scroll" || kind == "scale") {
        mod.kind = kind == "scroll" ? TexModKind::Scroll : TexModKind::Scale;
        mod.values[0] = line.number(2), mod.values[1] = line.number(3);
    } else if (kind == "rotate") {
        mod.kind = TexModKind::Rotate;
        mod.values[0] = line.number(2);
    } else if (kind == "stretch") {
        mod.kind = TexModKind::Stretch;
        if (!readWave(line, 2, &mod.wave))
            return false;
    } else if (kind == "turb") {
        // No form word: "turb base amplitude phase frequency".
        mod.kind = TexModKind::Turb;
        mod.wave.form = WaveForm::Sin;
        mod.wave.base = line.number(2), mod.wave.amplitude = line.number(3);
        mod.wave.phase = line.number(4), mod.wave.frequency = line.number(5);
    } else if (kind == "transform") {
        mod.kind = TexModKind::Transform;
        for (int i = 0; i < 6; i++)
            mod.values[i] = line.number(size_t(i) + 2);
    } else {
        return false;
    }
    if (stage.texMods.size() < size_t(kMaxTexMods))
        stage.texMods.push_back(mod);
    return true;
}

bool readTcGen(const Line& line, ShaderStage& stage)
{
    std::string form = line.word(1);
    if (form == "base" || form == "texture")
        stage.tcGen = TexGen::Base;
    else if (form == "lightmap")
        stage.tcGen = TexGen::Lightmap;
    else if (form == "environment")
        stage.tcGen = TexGen::Environment;
    else
        return false;
    return true;
}

bool readAlphaFunc(const Line& line, ShaderStage& stage)
{
    std::string test = line.word(1);
    if (test == "gt0")
        stage.alphaTest = AlphaTest::Gt0;
    else if (test == "lt128")
        stage.alphaTest = AlphaTest::Lt128;
    else if (test == "ge128")
        stage.alphaTest = AlphaTest::Ge128;
    else
        return false;
    return true;
}

bool readDeform(const Line& line, ShaderInfo& shader)
{
    std::string kind = line.word(1);
    Deform deform;
    if (kind == "autosprite") {
        deform.kind = DeformKind::Autosprite;
    } else if (kind == "autosprite2") {
        deform.kind = DeformKind::Autosprite2;
    } else if (kind == "wave") {
        deform.kind = DeformKind::Wave;
        float div = line.number(2);
        deform.spread = div != 0.0f ? 1.0f / div : 0.0f;
        if (!readWave(line, 3, &deform.wave))
            return false;
    } else {
        return false;
    }
    shader.deforms.push_back(deform);
    return true;
}

bool readSort(const Line& line, ShaderInfo& shader)
{
    static const struct {
        const char* name;
        float sort;
    } kSorts[] = {{"portal", 1},     {"sky", 2},      {"opaque", 3},     {"decal", 4},  {"seethrough", 5},
                  {"banner", 6},     {"underwater", 8}, {"additive", 9}, {"nearest", 16}};
    std::string name = line.word(1);
    for (const auto& s : kSorts)
        if (name == s.name) {
            shader.sort = s.sort;
            return true;
        }
    float number = line.number(1);
    if (number <= 0.0f)
        return false;
    shader.sort = number;
    return true;
}

bool readCull(const Line& line, ShaderInfo& shader)
{
    std::string mode = line.word(1);
    if (mode == "none" || mode == "disable" || mode == "twosided")
        shader.cull = CullMode::None;
    else if (mode == "back" || mode == "backside" || mode == "backsided")
        shader.cull = CullMode::Back;
    else if (mode == "front" || mode.empty())
        shader.cull = CullMode::Front;
    else
        return false;
    return true;
}

// The numbers of the line from word `from` on, parentheses left out.
std::vector<float> numbersFrom(const Line& line, size_t from)
{
    std::vector<float> values;
    for (size_t i = from; i < line.size(); i++)
        if (line.word(i) != "(" && line.word(i) != ")")
            values.push_back(line.number(i));
    return values;
}

// For the editor and the level compiler: read and kept quiet.
bool isToolKeyword(const std::string& keyword)
{
    static const char* const kTools[] = {"tesssize", "light", "cloudparms", "entitymergable"};
    if (keyword.compare(0, 4, "qer_") == 0 || keyword.compare(0, 6, "q3map_") == 0)
        return true;
    for (const char* tool : kTools)
        if (keyword == tool)
            return true;
    return false;
}

} // namespace

bool applyShaderLine(ShaderInfo& shader, const std::vector<std::string>& words)
{
    Line line{words};
    std::string keyword = line.word(0);
    if (keyword == "surfaceparm") {
        if (line.size() > 1)
            shader.surfaceParms.push_back(line.word(1));
        return true;
    }
    // The light keywords' "nan" or "inf" (or a float past its range) would
    // poison every luxel they reach: such a line gives no light.
    if (keyword == "q3map_sun" || keyword == "q3map_sunext") {
        // "q3map_sun r g b intensity degrees elevation", for the level compiler
        float sun[6] = {};
        for (size_t i = 1; i < line.size() && i <= 6; i++)
            sun[i - 1] = line.number(i);
        if (std::all_of(std::begin(sun), std::end(sun), [](float v) { return std::isfinite(v); }))
            std::copy(std::begin(sun), std::end(sun), shader.sun);
        return true;
    }
    if (keyword == "q3map_surfacelight" || keyword == "q3map_skylight") {
        const float value = line.number(1);
        (keyword == "q3map_surfacelight" ? shader.surfaceLight : shader.skyLight) = std::isfinite(value) ? value : 0.0f;
        return true;
    }
    if (keyword == "q3map_backsplash") {
        const float percent = line.number(1), distance = line.number(2);
        if (std::isfinite(percent) && std::isfinite(distance)) {
            shader.backSplash[0] = std::clamp(percent, 0.0f, 100.0f);
            shader.backSplash[1] = std::clamp(distance, 0.0f, 1024.0f);
        }
        return true;
    }
    if (keyword == "q3map_lightimage") {
        shader.lightImage = line.raw(1);
        return true;
    }
    if (keyword == "q3map_terrain" || keyword == "q3map_invert") {
        (keyword == "q3map_terrain" ? shader.terrain : shader.invert) = true;
        return true;
    }
    if (keyword == "q3map_surfacemodel") {
        SurfaceModelRule r;
        r.model = line.raw(1);
        r.density = line.number(2);
        r.odds = line.number(3);
        r.minScale = line.size() > 4 ? line.number(4) : 1.0f;
        r.maxScale = line.size() > 5 ? line.number(5) : r.minScale;
        r.minAngle = line.number(6);
        r.maxAngle = line.size() > 7 ? line.number(7) : 360.0f;
        r.oriented = line.number(8) != 0.0f;
        const float numbers[] = {r.density, r.odds, r.minScale, r.maxScale, r.minAngle, r.maxAngle};
        const bool finite = std::all_of(std::begin(numbers), std::end(numbers), [](float v) { return std::isfinite(v); });
        if (!r.model.empty() && finite && r.density > 0.0f && r.odds > 0.0f) shader.surfaceModels.push_back(r);
        return true;
    }
    if (keyword == "q3map_tcgen") {
        // "vector ( a b c ) ( d e f )"; ivector takes the inverse of each number
        const std::vector<float> values = numbersFrom(line, 2);
        const std::string kind = line.word(1);
        if ((kind != "vector" && kind != "ivector") || values.size() < 6 ||
            !std::all_of(values.begin(), values.begin() + 6, [](float v) { return std::isfinite(v); }))
            return true;  // another generator (or a broken one): the compiler keeps its own placement
        for (int k = 0; k < 6; k++) {
            double v = values[size_t(k)];
            shader.textureVectors[k / 3][k % 3] = kind == "ivector" ? (v != 0.0 ? 1.0 / v : 0.0) : v;
        }
        shader.worldTexture = true;
        return true;
    }
    if (keyword == "q3map_lightmapbrightness") {
        // Dimming to black or brightening past four times full is a slip, not a look.
        const float scale = line.number(1);
        shader.lightmapBrightness = std::isfinite(scale) && scale > 0.0f ? std::min(scale, 4.0f) : 1.0f;
        return true;
    }
    if (keyword == "q3map_offset") {
        // An outline is a small shift; anything else (or no number) leaves it in place.
        const float offset = line.number(1);
        shader.offset = std::isfinite(offset) && std::fabs(offset) <= 1024.0f ? offset : 0.0f;
        return true;
    }
    if (keyword == "qer_editorimage") {
        shader.editorImage = line.raw(1);
        return true;
    }
    if (keyword == "skyparms") {
        shader.sky = true;
        if (line.size() > 1 && line.raw(1) != "-")
            shader.skyBox = line.raw(1);
        float height = line.number(2);
        if (height > 0.0f)
            shader.cloudHeight = height;
        return true;
    }
    if (keyword == "fogparms") {
        // "fogparms ( r g b ) distance"
        const std::vector<float> values = numbersFrom(line, 1);
        if (values.size() < 4)
            return false;
        shader.fog = true;
        for (int c = 0; c < 3; c++)
            shader.fogColour[c] = values[size_t(c)];
        shader.fogDistance = values[3] > 1.0f ? values[3] : 1.0f;
        return true;
    }
    if (keyword == "cull")
        return readCull(line, shader);
    if (keyword == "sort")
        return readSort(line, shader);
    if (keyword == "nomipmaps" || keyword == "nopicmip") {
        shader.noMipmaps = shader.noMipmaps || keyword == "nomipmaps";
        return true;
    }
    if (keyword == "polygonoffset") {
        shader.polygonOffset = true;
        return true;
    }
    if (keyword == "deformvertexes")
        return readDeform(line, shader);
    return isToolKeyword(keyword);
}

bool applyStageLine(ShaderStage& stage, const std::vector<std::string>& words)
{
    Line line{words};
    std::string keyword = line.word(0);
    if (keyword == "map" || keyword == "clampmap")
        return readImage(line, stage, keyword == "clampmap");
    if (keyword == "animmap")
        return readAnimMap(line, stage);
    if (keyword == "blendfunc")
        return readBlendFunc(line, stage);
    if (keyword == "alphafunc")
        return readAlphaFunc(line, stage);
    if (keyword == "depthwrite") {
        stage.depthWrite = true;
        return true;
    }
    if (keyword == "depthfunc") {
        stage.depthEqual = line.word(1) == "equal";
        return stage.depthEqual || line.word(1) == "lequal";
    }
    if (keyword == "rgbgen")
        return readColourGen(line, false, stage);
    if (keyword == "alphagen")
        return readColourGen(line, true, stage);
    if (keyword == "tcgen")
        return readTcGen(line, stage);
    if (keyword == "tcmod")
        return readTexMod(line, stage);
    if (keyword == "detail") {
        stage.detail = true;
        return true;
    }
    return false;
}

void finishStage(ShaderStage& stage, bool depthWriteGiven)
{
    if (stage.blended && !depthWriteGiven)
        stage.depthWrite = false;
}

float ShaderInfo::drawSort() const
{
    if (sort > 0.0f)
        return sort;
    if (polygonOffset)
        return kSortDecal;
    if (!stages.empty() && stages[0].blended)
        return kSortAdditive;
    return kSortOpaque;
}
