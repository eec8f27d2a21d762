#pragma once
// The GL names of a shader's blend factors, for the files that draw.
#include <GL/gl.h>

#include "resources/ShaderScripts.h"

inline GLenum glBlendFactor(BlendFactor f)
{
    static const GLenum kFactors[] = {GL_ZERO,      GL_ONE,       GL_SRC_COLOR,           GL_ONE_MINUS_SRC_COLOR,
                                      GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_DST_COLOR, GL_ONE_MINUS_DST_COLOR,
                                      GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA, GL_SRC_ALPHA_SATURATE};
    return kFactors[int(f)];
}

// The stage's blending, or none.
inline void applyStageBlend(const ShaderStage& stage)
{
    if (stage.blended) {
        glEnable(GL_BLEND);
        glBlendFunc(glBlendFactor(stage.source), glBlendFactor(stage.destination));
    } else {
        glDisable(GL_BLEND);
    }
}
