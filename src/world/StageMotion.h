#pragma once
// The arithmetic of shader stage waves and texture modifiers.
#include "resources/ShaderScripts.h"

// What a shader stage's waves and texture modifiers amount to at a time (in
// seconds): plain arithmetic, no GL, shared by the surfaces and the sky.

// The wave's value; `phase` is added to the wave's own.
float waveValue(const Wave& wave, float time, float phase = 0.0f);

// The stage's tcMod chain as a column-major 4 x 4 texture matrix, applied
// first to last. flipT: the coordinates it works on have t negated (the
// level's picture coordinates), so the chain is applied in the script's
// frame. False when it is the identity (nothing to load).
bool stageTextureMatrix(const ShaderStage& stage, float time, bool flipT, float matrix[16]);

// The stage's colour and alpha when neither comes from the vertices
// (rgbGen/alphaGen identity, const or wave), each in 0..1.
void stageColour(const ShaderStage& stage, float time, float rgba[4]);

// rgbGen vertex with the vertex's alpha (alphaGen vertex, or none given).
inline bool colourFromVertices(const ShaderStage& stage)
{
    return stage.rgbGen == ColourGen::Vertex &&
           (stage.alphaGen == ColourGen::Vertex || stage.alphaGen == ColourGen::Identity);
}
// One of colour and alpha from the vertices, the other not: worked out per vertex.
inline bool colourMixed(const ShaderStage& stage)
{
    return (stage.rgbGen == ColourGen::Vertex) != (stage.alphaGen == ColourGen::Vertex) &&
           !colourFromVertices(stage);
}

// The frame of an animMap stage at `time`.
int animationFrame(const ShaderStage& stage, int frames, float time);
