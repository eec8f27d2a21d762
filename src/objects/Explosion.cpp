// The burst of particles a dying enemy leaves.
#include "objects/Explosion.h"

#include <cmath>
#include <cstdlib>

#include "platform/Saturate.h"

// --- ExplosionParams -----------------------------------------------------

void ExplosionParams::setRadius(float radius)
{
    count = saturatedInt(radius);
    offset = true;
    if (count == 0) {
        count = 1;
        offset = false;
    }
    colour[0] = 1.0f;
    colour[1] = 0.4f;
    colour[2] = 0.0f;
    fade = 0.005f;
    speedScale = 50.0f / static_cast<float>(count);
}

void ExplosionParams::emit(Particle& p, const Vector3& origin) const
{
    float size = static_cast<float>(count);
    float vx = std::cos(static_cast<float>((rand() % 600) * 0.01)) * size;
    float vy = std::sin(static_cast<float>((rand() % 600) * 0.01)) * size;
    float rest = size * size - vx * vx - vy * vy;
    float vz;
    if (rest >= 0.0f) {
        vz = std::sqrt(rest);
    } else {
        // The two draws left the sphere: pull (vx, vy) back onto its equator.
        float planar = std::sqrt(vx * vx + vy * vy);
        float scale = std::fabs(size) / planar;
        vx *= scale;
        vy *= scale;
        vz = 0.0f;
    }
    if (rand() % 20 > 10)
        vz = -vz;

    Vector3 v(vx, vy, vz);
    p.position = offset ? origin + v : origin;
    p.velocity = v * speedScale;
    p.life = 1.0f;
    p.fade = fade * 100.0f;
    p.colour[0] = colour[0];
    p.colour[1] = colour[1];
    p.colour[2] = colour[2];
}

// --- Explosion -----------------------------------------------------------

Explosion::Explosion(const Vector3& origin, float radius)
    : group(&position, &moved)
{
    position = origin;
    params.setRadius(radius);
    group.loadTexture("baseq3//textures//particle.tga");
    group.compileSprite(5.0f, 5.0f);

    for (unsigned i = 0; i < ParticleGroup::MAX_PARTICLES; ++i)
        params.emit(group.particles[i], position);
    group.live = ParticleGroup::MAX_PARTICLES;
    group.distanceThreshold = ParticleGroup::thresholdFor(ParticleGroup::MAX_PARTICLES);
}

bool Explosion::draw()
{
    float dt = group.frameTime();
    unsigned toProcess = group.countToProcess(group.viewerDistanceSquared());

    group.beginDraw();
    unsigned i = 0;
    while (i < toProcess) {
        Particle& p = group.particles[i];
        ParticleGroup::advance(p, group.gravity, dt);
        group.drawParticle(p);
        if (p.life <= 0.0f) {
            // The last live particle fills the hole and is looked at next.
            p = group.particles[group.live - 1];
            --group.live;
            --toProcess;
        } else {
            ++i;
        }
    }
    group.endDraw();

    group.moveSystem(dt);
    return group.live > 0;
}
