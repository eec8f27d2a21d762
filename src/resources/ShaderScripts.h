#pragma once
// The shader scripts' description of a surface: stages, blends, waves and texture modifiers.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

class FileSystem;

// A periodic value: base + amplitude * form((time + phase) * frequency).
enum class WaveForm : uint8_t { None, Sin, Triangle, Square, Sawtooth, InverseSawtooth };
struct Wave {
    WaveForm form = WaveForm::None;  // None: the base alone
    float base = 0.0f, amplitude = 0.0f, phase = 0.0f, frequency = 0.0f;
};

// Blend factors as the scripts name them (GL_ONE ... GL_SRC_ALPHA_SATURATE).
enum class BlendFactor : uint8_t {
    Zero, One, SrcColour, OneMinusSrcColour, SrcAlpha, OneMinusSrcAlpha,
    DstColour, OneMinusDstColour, DstAlpha, OneMinusDstAlpha, SrcAlphaSaturate
};
enum class AlphaTest : uint8_t { None, Gt0, Lt128, Ge128 };
// identityLighting is Identity (lightmaps are brightened at load);
// exactVertex and lightingDiffuse are Vertex.
enum class ColourGen : uint8_t { Identity, Vertex, Const, Wave };
enum class TexGen : uint8_t { Base, Lightmap, Environment };
enum class TexModKind : uint8_t { Scroll, Scale, Rotate, Stretch, Turb, Transform };

struct TexMod {
    TexModKind kind = TexModKind::Scroll;
    float values[6] = {};  // scroll s t; scale s t; rotate deg/s; transform m00 m01 m10 m11 t0 t1
    Wave wave;             // stretch and turb
};

constexpr int kMaxAnimFrames = 8;
constexpr int kMaxTexMods = 8;
constexpr int kMaxStages = 8;

// One pass of a shader over its surface.
struct ShaderStage {
    std::vector<std::string> images;  // one for map/clampMap, the frames of animMap
    float animFrequency = 0.0f;       // frames per second of animMap
    bool lightmap = false;            // "$lightmap"
    bool white = false;               // "$whiteimage" (or "*white")
    bool clamp = false;               // clampMap
    bool detail = false;              // "detail": fine grain seen up close only
    bool blended = false;
    BlendFactor source = BlendFactor::One, destination = BlendFactor::Zero;
    AlphaTest alphaTest = AlphaTest::None;
    bool depthWrite = true;  // off by default for blended stages
    bool depthEqual = false;
    ColourGen rgbGen = ColourGen::Identity;
    float rgbConst[3] = {1.0f, 1.0f, 1.0f};
    Wave rgbWave;
    ColourGen alphaGen = ColourGen::Identity;  // Identity: 1, or the vertex's with rgbGen vertex
    float alphaConst = 1.0f;
    Wave alphaWave;
    TexGen tcGen = TexGen::Base;
    std::vector<TexMod> texMods;
};

enum class CullMode : uint8_t { Front, None, Back };  // Front: back sides hidden, as usual
enum class DeformKind : uint8_t { Wave, Autosprite, Autosprite2 };
struct Deform {
    DeformKind kind = DeformKind::Wave;
    float spread = 0.0f;  // wave: phase added per unit of x + y + z
    Wave wave;
};

// Drawing order classes; explicit numbers are kept as given.
constexpr float kSortOpaque = 3.0f;
constexpr float kSortDecal = 4.0f;
constexpr float kSortAdditive = 9.0f;

// "q3map_surfacemodel model density odds minScale maxScale minAngle
// maxAngle oriented": the level compiler scatters the model over the
// shader's faces, one chance per piece of about density units.
struct SurfaceModelRule {
    std::string model;
    float density = 0.0f, odds = 0.0f;
    float minScale = 1.0f, maxScale = 1.0f;
    float minAngle = 0.0f, maxAngle = 360.0f;  // degrees about the up axis
    bool oriented = false;                     // up along the face's normal
};

// What the game takes from a shader script.
struct ShaderInfo {
    std::string image;   // "map", "clampmap" or the first "animmap" frame; may be empty
    std::string skyBox;  // farbox of "skyparms" ("env/sky1" for env/sky1_rt.tga ...); may be empty
    std::string editorImage;                // "qer_editorimage"; may be empty
    std::vector<std::string> surfaceParms;  // "surfaceparm" names, lower case (the level compiler's)
    // "q3map_sun r g b intensity degrees elevation" (also q3map_sunExt),
    // read by the level compiler; all zero when absent.
    double sun[6] = {0, 0, 0, 0, 0, 0};
    double surfaceLight = 0;  // "q3map_surfacelight": light given off by the faces
    double skyLight = 0;      // "q3map_skylight": light of the whole sky dome
    std::string lightImage;   // "q3map_lightimage": the picture whose colour that light has; may be empty
    // "q3map_backsplash percent distance": the share of that light a glowing
    // face throws back onto itself and its surroundings, from this far out.
    double backSplash[2] = {5, 23};
    bool terrain = false;     // "q3map_terrain": painted by its entity's index map
    bool invert = false;      // "q3map_invert": faces turned to face the other way
    double offset = 0;        // "q3map_offset": faces moved along their normal
    double lightmapBrightness = 1;  // "q3map_lightmapBrightness": its faces' stored light times this
    std::vector<SurfaceModelRule> surfaceModels;
    // "q3map_tcgen vector ( s ) ( t )" or "ivector" (each number n as 1 / n):
    // texture s and t are the point's position dotted with these.
    bool worldTexture = false;
    double textureVectors[2][3] = {{0, 0, 0}, {0, 0, 0}};

    std::vector<ShaderStage> stages;
    std::vector<Deform> deforms;
    CullMode cull = CullMode::Front;
    float sort = 0.0f;  // 0: not given (see drawSort)
    bool noMipmaps = false;
    bool polygonOffset = false;
    bool sky = false;            // has "skyparms"
    float cloudHeight = 128.0f;  // of "skyparms"
    bool fog = false;            // has "fogparms"
    float fogColour[3] = {0.0f, 0.0f, 0.0f};
    float fogDistance = 0.0f;    // where the fog becomes opaque

    // The sort to draw by: as given, else decal for polygonOffset,
    // additive when the first stage blends, else opaque.
    float drawSort() const;
};

// Every shader of the scripts, by name without regard to case. The first
// definition of a name wins.
class ShaderLibrary {
public:
    // Parses one script. A damaged script (unbalanced braces, an endless
    // comment) keeps the shaders completed before the damage, goes on at
    // the next shader name it can recognise, and returns false with the
    // first reason in *problem. Keywords this engine does not use are
    // added to *ignored (may be null).
    bool parse(const char* text, size_t size, std::string* problem,
               std::set<std::string>* ignored = nullptr);

    // Reads every "<folder>/*.shader" of the file system once, in name
    // order. Returns the number of scripts read; damaged ones are reported
    // through `report` (may be null) and skipped past, and a script using
    // keywords that are not drawn gets one report naming them all.
    int readAll(const FileSystem& files, const char* folder,
                const std::function<void(const char* script, const char* problem)>& report = nullptr);

    const ShaderInfo* find(const char* name) const;
    size_t count() const { return shaders.size(); }

private:
    std::unordered_map<std::string, ShaderInfo> shaders;  // key: lower-case name
};

// Applies one keyword line (its words, the keyword first) to the shader or
// to a stage of it. False when the keyword or its argument is not one this
// engine draws: the line is then ignored.
bool applyShaderLine(ShaderInfo& shader, const std::vector<std::string>& words);
bool applyStageLine(ShaderStage& stage, const std::vector<std::string>& words);
// Settles what the stage's keywords left open (depth writes of blended stages).
void finishStage(ShaderStage& stage, bool depthWriteGiven);
