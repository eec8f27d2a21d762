#pragma once
// The particles and sprite drawing shared by fountains and explosions.
#include "objects/SpriteBatch.h"
#include "world/Vector3.h"

class Camera;
class FrameTimer;
class Renderer;

struct Particle {
    Vector3 position;
    Vector3 velocity;  // units per second
    float colour[3] = {0.0f, 0.0f, 0.0f};
    float life = 0.0f;  // 1 when emitted, also the alpha; dead at <= 0
    float fade = 0.0f;  // life lost per second
};

// What fountains and explosions share: the particles, their sprite, gravity
// and the motion of the whole system. The owner emits and recycles.
class ParticleGroup {
public:
    enum { MAX_PARTICLES = 100 };

    // origin and movedFlag point into the owning entity.
    ParticleGroup(Vector3* origin, bool* movedFlag);
    ~ParticleGroup();
    ParticleGroup(const ParticleGroup&) = delete;
    ParticleGroup& operator=(const ParticleGroup&) = delete;

    // Plain maths, no GL.
    // n clipped to the free slots (a negative n counts as huge).
    unsigned clipEmitCount(int n) const;
    // (n * n) / 2 in unsigned arithmetic.
    static float thresholdFor(unsigned n);
    // How many particles to update this frame with the viewer d2 away.
    unsigned countToProcess(float distanceSquared) const;
    static void advance(Particle& p, const Vector3& gravity, float dt);
    // origin moves with the system velocity, which then accelerates.
    void moveSystem(float dt);

    // GL side.
    void loadTexture(const char* file);
    void compileSprite(float halfWidth, float halfHeight);
    void beginDraw();            // depth writes off, additive blending, texture
    // Adds the particle's sprite to this frame's batch; on the renderer's
    // reference path it is drawn at once through the sprite list.
    void drawParticle(const Particle& p);
    void endDraw();              // draws the batch; depth writes on, no blending

    float frameTime() const;
    float viewerDistanceSquared() const;

    Vector3 gravity;
    Vector3* origin;
    Vector3 systemVelocity;
    Vector3 systemAcceleration;
    unsigned texture = 0;
    Camera* camera;
    FrameTimer* timer;
    Renderer* renderer;          // its multitexture entry and drawing path
    unsigned spriteList = 0;
    float halfWidth = 0.0f, halfHeight = 0.0f;  // of the sprite
    SpriteBatch batch;
    bool moving = false;
    bool* movedFlag;
    unsigned live = 0;
    Particle particles[MAX_PARTICLES];
    float distanceThreshold = 0.0f;
};
