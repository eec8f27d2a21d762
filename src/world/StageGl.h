#pragma once
// The GL names of a shader's blend factors, for the files that draw.
#include <GL/gl.h>
#include <GL/glext.h>

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

// The active unit's picture times what comes into it (the unit before, or
// the colour on unit 0), times scale (1, 2 or 4): the part of the overbright
// factor applied when drawing. 1 is the plain multiply.
inline void applyLightScale(float scale)
{
    if (scale == 1.0f) {
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        return;
    }
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE_ARB);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB_ARB, GL_MODULATE);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB_ARB, GL_TEXTURE);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB_ARB, GL_PREVIOUS_ARB);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA_ARB, GL_MODULATE);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_ALPHA_ARB, GL_TEXTURE);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_ALPHA_ARB, GL_PREVIOUS_ARB);
    glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE_ARB, scale);
}
