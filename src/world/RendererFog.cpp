// The GL side of fog volumes: the faces inside one are drawn again in the
// fog's colour, its opacity rising with the distance from the eye up to the
// fog's opaque distance (texture coordinates made by GL from eye depth).
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>

#include "world/Renderer.h"

void Renderer::drawFog()
{
    stats.foggedFaces = int(foggedFaces.size());
    if (foggedFaces.empty() || !fogRamp)
        return;
    std::sort(foggedFaces.begin(), foggedFaces.end(), [this](int32_t a, int32_t b) {
        return faces[a].effect != faces[b].effect ? faces[a].effect < faces[b].effect : a < b;
    });

    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_CURRENT_BIT | GL_TEXTURE_BIT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    activeTexture(GL_TEXTURE1_ARB);
    glDisable(GL_TEXTURE_2D);
    activeTexture(GL_TEXTURE0_ARB);
    clientActiveTexture(GL_TEXTURE0_ARB);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, fogRamp);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_FALSE);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_FRONT);
    glVertexPointer(3, GL_FLOAT, sizeof(bsp::BspVertex), vertices[0].position);
    glTexCoord2f(0.0f, 0.5f);
    glEnable(GL_TEXTURE_GEN_S);
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_EYE_LINEAR);

    size_t start = 0;
    while (start < foggedFaces.size()) {
        int effect = faces[foggedFaces[start]].effect;
        size_t end = start;
        while (end < foggedFaces.size() && faces[foggedFaces[end]].effect == effect)
            end++;
        gatherIndices(foggedFaces.data() + start, int(end - start));
        const FogVolume& fog = fogs[size_t(effect)];
        // s = eye depth / opaque distance; the plane is given in eye space.
        const GLfloat plane[4] = {0.0f, 0.0f, -1.0f / fog.distance, 0.0f};
        glPushMatrix();
        glLoadIdentity();
        glTexGenfv(GL_S, GL_EYE_PLANE, plane);
        glPopMatrix();
        glColor4f(fog.colour[0], fog.colour[1], fog.colour[2], 1.0f);
        glDrawElements(GL_TRIANGLES, GLsizei(groupIndices.size()), GL_UNSIGNED_INT, groupIndices.data());
        start = end;
    }
    glPopClientAttrib();
    glPopAttrib();
}
