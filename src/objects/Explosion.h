#pragma once
// The explosion a dying enemy leaves behind.
#include "objects/ParticleGroup.h"
#include "objects/WorldEntity.h"

// How an explosion emits a particle: onto a sphere, outward at 50 units/s.
struct ExplosionParams {
    // count from the radius; a zero count becomes 1 without offset.
    void setRadius(float radius);
    void emit(Particle& p, const Vector3& origin) const;

    float colour[3] = {1.0f, 0.4f, 0.0f};
    float fade = 0.005f;
    float speedScale = 50.0f;
    int count = 1;
    bool offset = false;
};

// The burst a dying enemy leaves; finished once its last particle faded.
class Explosion : public WorldEntity {
public:
    // Needs a GL context for the sprite list and the texture.
    Explosion(const Vector3& position, float radius);

    bool draw() override;

    ExplosionParams params;
    ParticleGroup group;
};
