#pragma once
// A batch of camera-facing sprites drawn with one call.
#include "platform/Multitexture.h"
#include "world/Vector3.h"

struct SpriteVertex {
    float position[3];
    float texCoord[2];
    float colour[4];
};

// Camera-facing textured squares worked out on the CPU and drawn with one
// call: what a particle group or the impact marks draw in a frame. Each
// square is the fan (w, h), (-w, h), (-w, -h), (w, -h) with the texture
// corners (1, 1), (0, 1), (0, 0), (1, 0), turned by the billboard rotation
// and moved to the sprite's centre, as one display list per sprite drew it.
class SpriteBatch {
public:
    enum { MAX_SPRITES = 100 };

    void clear() { count = 0; }
    // False (nothing added) when the batch is full.
    bool add(const float billboard[16], const Vector3& centre, float halfWidth, float halfHeight,
             const float colour[4]);
    // Draws the squares with the bound texture and the current blending; the
    // client arrays (all texture units) are left as they were. The current
    // colour ends as the last sprite's, as after drawing them one by one.
    void draw(ActiveTextureProc clientActiveTexture) const;

    SpriteVertex vertices[MAX_SPRITES * 4];
    int count = 0;
};

// The reference way of drawing the same squares, one display list per
// sprite (Renderer::referenceDrawing): the square of half sides w and h,
// compiled into a new list (0 when GL gives none).
unsigned compileSpriteList(float halfWidth, float halfHeight);
// One sprite through its list: the billboard rotation moved to the centre.
void drawSpriteList(unsigned list, const float billboard[16], const Vector3& centre, const float colour[4]);
