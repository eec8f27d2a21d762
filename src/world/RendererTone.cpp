// The tone curve drawn over the finished 3-D view: every channel x becomes
// x + lift * x * (1 - x), lifting the middle tones and sparing black and
// white, as the peer engine's default tone mapping shows these levels.
#include <GL/gl.h>
#include <GL/glext.h>

#include "resources/TextureManager.h"
#include "world/Renderer.h"

namespace {

// The smallest power of two holding n pixels.
int roundUpToPowerOfTwo(int n)
{
    int size = 1;
    while (size < n)
        size <<= 1;
    return size;
}

} // namespace

void Renderer::drawToneCurve(int width, int height)
{
    if (toneLift <= 0.0f || !levelPacked || width <= 0 || height <= 0 || width > (1 << 14) || height > (1 << 14) ||
        !activeTexture || !levelLoaded)
        return;
    int size = roundUpToPowerOfTwo(width > height ? width : height);
    if (toneTextureSize != size) {
        // Made through the texture manager, so it goes with the level's.
        if (toneTexture)
            TextureManager::get().releaseTexture(toneTexture);
        toneTexture = 0;
        toneTextureSize = 0;
        // A one-pixel seed: the storage is made at full size just below.
        const unsigned char black[4] = {0, 0, 0, 0};
        if (!TextureManager::get().createRgbaTexture(black, 1, 1, true, &toneTexture))
            return;
        toneTextureSize = size;
        // The frame's own format: the copy is then a plain one.
        glBindTexture(GL_TEXTURE_2D, toneTexture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, size, size, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    }
    activeTexture(GL_TEXTURE1_ARB);
    glDisable(GL_TEXTURE_2D);
    activeTexture(GL_TEXTURE0_ARB);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, toneTexture);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, width, height);

    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_CURRENT_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, 1.0, 0.0, 1.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_ALPHA_TEST);
    glDepthMask(GL_FALSE);
    // lift * x from the copy, times (1 - x) from the frame, added to the frame.
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE_MINUS_DST_COLOR, GL_ONE);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glColor4f(toneLift, toneLift, toneLift, 1.0f);
    float s = float(width) / float(size), t = float(height) / float(size);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f); glVertex2f(0.0f, 0.0f);
    glTexCoord2f(s, 0.0f); glVertex2f(1.0f, 0.0f);
    glTexCoord2f(s, t); glVertex2f(1.0f, 1.0f);
    glTexCoord2f(0.0f, t); glVertex2f(0.0f, 1.0f);
    glEnd();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
}
