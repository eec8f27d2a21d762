// What every particle system shares: moving its particles and drawing their sprites.
#include "objects/ParticleGroup.h"

#include <GL/gl.h>
#include <cstring>

#include "app/FrameTimer.h"
#include "platform/GlContext.h"
#include "resources/TextureManager.h"
#include "world/Camera.h"
#include "world/Renderer.h"

ParticleGroup::ParticleGroup(Vector3* origin_, bool* movedFlag_)
    : origin(origin_), camera(Camera::instance), timer(FrameTimer::instance),
      renderer(Renderer::instance), movedFlag(movedFlag_)
{
}

ParticleGroup::~ParticleGroup()
{
    if (spriteList && glContextCurrent())
        glDeleteLists(spriteList, 1);
}

unsigned ParticleGroup::clipEmitCount(int n) const
{
    // Compared as unsigned, so a negative request fills every free slot.
    unsigned wanted = static_cast<unsigned>(n);
    if (live + wanted > MAX_PARTICLES || wanted > MAX_PARTICLES)
        wanted = MAX_PARTICLES - live;
    return wanted;
}

float ParticleGroup::thresholdFor(unsigned n)
{
    return static_cast<float>((n * n) / 2u);
}

unsigned ParticleGroup::countToProcess(float distanceSquared) const
{
    // Near the viewer fewer particles move; the rest stay frozen.
    if (distanceSquared <= distanceThreshold && distanceThreshold > 0.0f) {
        float share = static_cast<float>(live) * distanceSquared / distanceThreshold;
        if (!(share >= 0.0f))
            return 0;
        unsigned n = static_cast<unsigned>(share);
        return n < live ? n : live;
    }
    // A zero threshold with the viewer on the spot: 0 * d2 / 0 is no count.
    if (distanceSquared <= distanceThreshold)
        return 0;
    return live;
}

void ParticleGroup::advance(Particle& p, const Vector3& gravity, float dt)
{
    p.life -= dt * p.fade;
    p.velocity += gravity * dt;
    p.position += p.velocity * dt;
}

void ParticleGroup::moveSystem(float dt)
{
    if (!moving)
        return;
    if (origin)
        *origin += systemVelocity * dt;
    systemVelocity += systemAcceleration * dt;
    if (movedFlag)
        *movedFlag = true;
}

void ParticleGroup::loadTexture(const char* file)
{
    TextureManager::get().loadTexture(file ? file : "", &texture, false);
}

void ParticleGroup::compileSprite(float w, float h)
{
    if (spriteList)
        glDeleteLists(spriteList, 1);
    halfWidth = w;
    halfHeight = h;
    spriteList = compileSpriteList(w, h);
}

void ParticleGroup::beginDraw()
{
    glDepthMask(GL_FALSE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glBindTexture(GL_TEXTURE_2D, texture);
    batch.clear();
}

namespace {

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
// A full batch drops the sprite; every particle must find room.
static_assert(int(ParticleGroup::MAX_PARTICLES) <= int(SpriteBatch::MAX_SPRITES),
              "every particle fits the batch");

} // namespace

void ParticleGroup::drawParticle(const Particle& p)
{
    // The camera's billboard turns the sprite toward the viewer; only the
    // translation is the particle's own.
    const float* billboard = camera ? camera->billboardMatrix : kIdentity;
    float colour[4] = {p.colour[0], p.colour[1], p.colour[2], p.life};
    if (!renderer || !renderer->referenceDrawing) {
        batch.add(billboard, p.position, halfWidth, halfHeight, colour);
        return;
    }
    drawSpriteList(spriteList, billboard, p.position, colour);
}

void ParticleGroup::endDraw()
{
    batch.draw(renderer ? renderer->clientActiveTexture : nullptr);
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
}

float ParticleGroup::frameTime() const
{
    return timer ? timer->frameTime : 0.0f;
}

float ParticleGroup::viewerDistanceSquared() const
{
    if (!camera || !origin)
        return 0.0f;
    return (*origin - camera->position).lengthSquared();
}
