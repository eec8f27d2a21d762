// Wave values and texture-coordinate modifiers of shader stages at a given time.
#include "world/StageMotion.h"

#include <cmath>

namespace {

const float kTwoPi = 6.28318531f;

// A 2-D affine map: s' = a s + b t + c, t' = d s + e t + f.
struct Affine {
    float a = 1, b = 0, c = 0, d = 0, e = 1, f = 0;
};

// `then` applied after `first`.
Affine compose(const Affine& then, const Affine& first)
{
    Affine r;
    r.a = then.a * first.a + then.b * first.d;
    r.b = then.a * first.b + then.b * first.e;
    r.c = then.a * first.c + then.b * first.f + then.c;
    r.d = then.d * first.a + then.e * first.d;
    r.e = then.d * first.b + then.e * first.e;
    r.f = then.d * first.c + then.e * first.f + then.f;
    return r;
}

// Scales (or turns) about the picture's centre.
Affine aboutCentre(float a, float b, float d, float e)
{
    Affine m;
    m.a = a, m.b = b, m.d = d, m.e = e;
    m.c = 0.5f - 0.5f * a - 0.5f * b;
    m.f = 0.5f - 0.5f * d - 0.5f * e;
    return m;
}

Affine texModAt(const TexMod& mod, float time)
{
    Affine m;
    switch (mod.kind) {
    case TexModKind::Scroll:
        // Only the fraction matters; it keeps the coordinates small.
        m.c = std::fmod(mod.values[0] * time, 1.0f);
        m.f = std::fmod(mod.values[1] * time, 1.0f);
        break;
    case TexModKind::Scale:
        m.a = mod.values[0], m.e = mod.values[1];
        break;
    case TexModKind::Rotate: {
        float angle = -mod.values[0] * time * kTwoPi / 360.0f;
        float c = std::cos(angle), s = std::sin(angle);
        m = aboutCentre(c, -s, s, c);
        break;
    }
    case TexModKind::Stretch: {
        float v = waveValue(mod.wave, time);
        float p = std::fabs(v) > 1e-4f ? 1.0f / v : 1.0f;
        m = aboutCentre(p, 0, 0, p);
        break;
    }
    case TexModKind::Turb: {
        // The whole picture sways; no per-vertex ripple.
        float v = mod.wave.amplitude * std::sin((mod.wave.phase + time * mod.wave.frequency) * kTwoPi);
        m.c = v, m.f = v;
        break;
    }
    case TexModKind::Transform:
        m.a = mod.values[0], m.b = mod.values[2], m.c = mod.values[4];
        m.d = mod.values[1], m.e = mod.values[3], m.f = mod.values[5];
        break;
    }
    return m;
}

float clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

} // namespace

float waveValue(const Wave& wave, float time, float phase)
{
    float x = time * wave.frequency + wave.phase + phase;
    x -= std::floor(x);
    float form = 0.0f;
    switch (wave.form) {
    case WaveForm::None:
        return wave.base;
    case WaveForm::Sin:
        form = std::sin(x * kTwoPi);
        break;
    case WaveForm::Triangle:
        form = x < 0.5f ? 4.0f * x - 1.0f : 3.0f - 4.0f * x;
        break;
    case WaveForm::Square:
        form = x < 0.5f ? 1.0f : -1.0f;
        break;
    case WaveForm::Sawtooth:
        form = x;
        break;
    case WaveForm::InverseSawtooth:
        form = 1.0f - x;
        break;
    }
    return wave.base + wave.amplitude * form;
}

bool stageTextureMatrix(const ShaderStage& stage, float time, bool flipT, float matrix[16])
{
    if (stage.texMods.empty())
        return false;
    Affine m;
    for (const TexMod& mod : stage.texMods)
        m = compose(texModAt(mod, time), m);
    if (flipT)
        m.b = -m.b, m.d = -m.d, m.f = -m.f;
    for (int i = 0; i < 16; i++)
        matrix[i] = 0.0f;
    matrix[0] = m.a, matrix[4] = m.b, matrix[12] = m.c;
    matrix[1] = m.d, matrix[5] = m.e, matrix[13] = m.f;
    matrix[10] = matrix[15] = 1.0f;
    return true;
}

void stageColour(const ShaderStage& stage, float time, float rgba[4])
{
    for (int c = 0; c < 3; c++)
        rgba[c] = 1.0f;
    if (stage.rgbGen == ColourGen::Const)
        for (int c = 0; c < 3; c++)
            rgba[c] = clamp01(stage.rgbConst[c]);
    if (stage.rgbGen == ColourGen::Wave)
        rgba[0] = rgba[1] = rgba[2] = clamp01(waveValue(stage.rgbWave, time));
    rgba[3] = 1.0f;
    if (stage.alphaGen == ColourGen::Const)
        rgba[3] = clamp01(stage.alphaConst);
    if (stage.alphaGen == ColourGen::Wave)
        rgba[3] = clamp01(waveValue(stage.alphaWave, time));
}

int animationFrame(const ShaderStage& stage, int frames, float time)
{
    if (frames <= 1 || stage.animFrequency <= 0.0f || time < 0.0f)
        return 0;
    double at = double(time) * double(stage.animFrequency);
    return int(std::fmod(at, double(frames)));
}
