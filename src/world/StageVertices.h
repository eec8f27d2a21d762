#pragma once
// The CPU vertex work of shader stages, into plain arrays.
#include <cstdint>

#include "resources/ShaderScripts.h"
#include "world/BspFormat.h"
#include "world/Vector3.h"

// The vertex work some stages need, done on the CPU into plain arrays:
// deformVertexes (wave, autosprite, autosprite2), tcGen environment and
// colours mixing vertex and constant parts. No GL.

struct StageView {
    Vector3 eye, right, up;  // the camera, y-up
};

// Positions (x y z per vertex) of n vertices after the shader's deforms.
void deformVertices(const ShaderInfo& shader, const bsp::BspVertex* source, int n, const StageView& view,
                    float time, float* positions);

// The stage's texture coordinates (s t per vertex) before its tcMods.
void stageTexCoords(const ShaderStage& stage, const bsp::BspVertex* source, int n, const float* positions,
                    const Vector3& eye, float* coords);

// RGBA bytes per vertex: the vertex's colour or alpha where the stage says
// so, its constant or wave otherwise.
void stageVertexColours(const ShaderStage& stage, const bsp::BspVertex* source, int n, float time,
                        uint8_t* colours);
