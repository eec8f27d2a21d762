#pragma once
// The map's enemy: a spinning sphere that chases the player and explodes.
#include "app/Target.h"
#include "objects/WorldEntity.h"

class Camera;
class EntityBlock;
class Explosion;
class FrameTimer;
class Game;
class PhysicsBody;
class Renderer;
struct GLUquadric;

// A map's "enemy": a textured spinning sphere that chases the player within
// 700 units and explodes on touch or when shot dead.
class Enemy : public WorldEntity, public Target {
public:
    // Loads the texture and the quadric (needs a GL context for the texture).
    Enemy();
    ~Enemy() override;
    Enemy(const Enemy&) = delete;
    Enemy& operator=(const Enemy&) = delete;

    // False when "radius" or "speed" is not a finite number.
    static bool acceptable(const EntityBlock& block);
    // Reads "radius" and "speed"; remakes the body; full life, no spin.
    void configure(const EntityBlock& block);

    bool draw() override;
    // Wholly outside the current view (never while the view is locked or
    // drawn the reference way).
    bool offScreen() const;
    float hitFraction(const Vector3& start, const Vector3& end) override;
    void takeDamage(int amount) override;
    bool update() override;

    // Fraction of the point on start..end closest to centre, or 1.0 when that
    // point is not within the radius or lies past the end.
    static float closestApproachFraction(const Vector3& start, const Vector3& end,
                                         const Vector3& centre, float radiusSquared);
    // The player's life after a blast d2 (squared distance) away from an
    // enemy of the given radius.
    static int lifeAfterBlast(int life, float distanceSquared, float radius);

    unsigned texture = 0;
    float radius = 0.0f;
    float radiusSquared = 0.0f;
    float speed = 0.0f;
    GLUquadric* sphere = nullptr;
    unsigned sphereList = 0;  // the sphere at this radius, built by configure
    PhysicsBody* body = nullptr;
    Explosion* explosion = nullptr;
    int life = 100;
    float spin = 0.0f;

    Camera* camera;
    Renderer* renderer;
    FrameTimer* timer;
    Game* game;

private:
    void die(float distanceSquared);
};
