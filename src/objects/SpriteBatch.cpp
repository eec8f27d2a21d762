// Camera-facing textured squares built on the CPU and drawn in one call.
#include "objects/SpriteBatch.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <cstring>

namespace {

// Two triangles per square, split as GL splits a four-corner polygon or fan.
struct FanIndices {
    unsigned short v[SpriteBatch::MAX_SPRITES * 6];
    constexpr FanIndices() : v()
    {
        for (int s = 0; s < SpriteBatch::MAX_SPRITES; s++) {
            const int corner[6] = {0, 1, 2, 0, 2, 3};
            for (int k = 0; k < 6; k++)
                v[s * 6 + k] = static_cast<unsigned short>(s * 4 + corner[k]);
        }
    }
};
constexpr FanIndices kFan;

const float kCorners[4][2] = {{1, 1}, {-1, 1}, {-1, -1}, {1, -1}};

} // namespace

bool SpriteBatch::add(const float b[16], const Vector3& c, float w, float h, const float colour[4])
{
    if (count >= MAX_SPRITES)
        return false;
    SpriteVertex* out = vertices + count * 4;
    for (int k = 0; k < 4; k++) {
        // The billboard's first two columns are the sprite's right and up.
        float x = kCorners[k][0] * w, y = kCorners[k][1] * h;
        out[k].position[0] = b[0] * x + b[4] * y + c.x;
        out[k].position[1] = b[1] * x + b[5] * y + c.y;
        out[k].position[2] = b[2] * x + b[6] * y + c.z;
        out[k].texCoord[0] = kCorners[k][0] > 0 ? 1.0f : 0.0f;
        out[k].texCoord[1] = kCorners[k][1] > 0 ? 1.0f : 0.0f;
        for (int i = 0; i < 4; i++)
            out[k].colour[i] = colour[i];
    }
    count++;
    return true;
}

void SpriteBatch::draw(ActiveTextureProc clientActiveTexture) const
{
    if (count == 0)
        return;
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    // The level leaves its lightmap coordinates enabled on unit 1; they must
    // not be read past the level's arrays for these squares.
    if (clientActiveTexture) {
        clientActiveTexture(GL_TEXTURE1_ARB);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        clientActiveTexture(GL_TEXTURE0_ARB);
    }
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, sizeof(SpriteVertex), vertices[0].position);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, sizeof(SpriteVertex), vertices[0].texCoord);
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_FLOAT, sizeof(SpriteVertex), vertices[0].colour);
    glDrawElements(GL_TRIANGLES, count * 6, GL_UNSIGNED_SHORT, kFan.v);
    glPopClientAttrib();
    glColor4fv(vertices[count * 4 - 1].colour);
}

unsigned compileSpriteList(float w, float h)
{
    unsigned list = glGenLists(1);
    if (!list)
        return 0;
    glNewList(list, GL_COMPILE);
    glBegin(GL_TRIANGLE_FAN);
    glTexCoord2f(1.0f, 1.0f); glVertex3f(w, h, 0.0f);
    glTexCoord2f(0.0f, 1.0f); glVertex3f(-w, h, 0.0f);
    glTexCoord2f(0.0f, 0.0f); glVertex3f(-w, -h, 0.0f);
    glTexCoord2f(1.0f, 0.0f); glVertex3f(w, -h, 0.0f);
    glEnd();
    glEndList();
    return list;
}

void drawSpriteList(unsigned list, const float billboard[16], const Vector3& centre, const float colour[4])
{
    float matrix[16];
    std::memcpy(matrix, billboard, sizeof(matrix));
    matrix[12] = centre.x;
    matrix[13] = centre.y;
    matrix[14] = centre.z;
    glPushMatrix();
    glMultMatrixf(matrix);
    glColor4fv(colour);
    if (list)
        glCallList(list);
    glPopMatrix();
}
