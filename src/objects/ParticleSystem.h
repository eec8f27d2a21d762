#pragma once
// The particle fountain a map places, and how it emits.
#include "objects/ParticleGroup.h"
#include "objects/WorldEntity.h"

class EntityBlock;

// How a fountain (re)emits a particle; plain maths over rand().
struct FountainParams {
    // Reads the emission keys, "color" to "axis".
    void configure(const EntityBlock& block);
    // Sets fade range and divisor from the two fade keys.
    void setFadePrecision(float maxLifeFade, float minLifeFade);
    // Draws from rand() in a fixed order and fills p, emitted at origin.
    void emit(Particle& p, const Vector3& origin) const;

    Vector3 axis;
    Vector3 side;
    float colour[3] = {0.0f, 0.0f, 0.0f};
    float spread = 0.0f;   // radians
    int minSpeed = 0;
    int maxSpeed = 0;
    float minFade = 0.0f;
    int fadeRange = 1;
    int fadeDivisor = 1;
};

// A map's "particle_fountain": sprays sprites for the whole run.
class ParticleSystem : public WorldEntity {
public:
    // position in world coordinates; reads the keys through block. Needs a
    // GL context for the sprite list and the texture.
    ParticleSystem(const EntityBlock& block, const Vector3& origin);

    // Emits n particles (clipped to the free slots) and sets the distance
    // threshold from n.
    void emit(int n);

    bool draw() override;

    FountainParams params;
    ParticleGroup group;
};
