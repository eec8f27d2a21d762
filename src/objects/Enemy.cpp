// The enemy: chasing the player, taking shots, exploding and drawing its sphere.
#include "objects/Enemy.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <cmath>

#include "app/FrameTimer.h"
#include "app/Game.h"
#include "objects/Explosion.h"
#include "platform/Saturate.h"
#include "platform/GlContext.h"
#include "resources/TextureManager.h"
#include "world/Frustum.h"
#include "world/Camera.h"
#include "world/EntitieParser.h"
#include "world/PhysicsBody.h"
#include "world/Renderer.h"

namespace {

const float kChaseRangeSquared = 490000.0f;  // 700 units
const float kTouchRangeSquared = 3600.0f;    // 60 units

} // namespace

Enemy::Enemy()
    : camera(Camera::instance), renderer(Renderer::instance), timer(FrameTimer::instance),
      game(Game::instance)
{
    TextureManager::get().loadTexture("baseq3//textures//enemy.tga", &texture, false);
    sphere = gluNewQuadric();
    if (sphere)
        gluQuadricTexture(sphere, GL_TRUE);
}

Enemy::~Enemy()
{
    delete body;
    delete explosion;
    if (sphereList && glContextCurrent())
        glDeleteLists(sphereList, 1);
    if (sphere)
        gluDeleteQuadric(sphere);
}

bool Enemy::acceptable(const EntityBlock& block)
{
    return std::isfinite(block.getFloat("radius")) && std::isfinite(block.getFloat("speed"));
}

void Enemy::configure(const EntityBlock& block)
{
    radius = block.getFloat("radius");
    speed = block.getFloat("speed");
    radiusSquared = radius * radius;
    delete body;
    body = new PhysicsBody(radius, 0.006f, true, Vector3());
    life = 100;
    spin = 0.0f;

    // The sphere's geometry is made once here and replayed every frame.
    if (sphereList && glContextCurrent())
        glDeleteLists(sphereList, 1);
    sphereList = sphere && glContextCurrent() ? glGenLists(1) : 0;
    if (sphereList) {
        glNewList(sphereList, GL_COMPILE);
        gluSphere(sphere, radius, 20, 20);
        glEndList();
    }
}

float Enemy::closestApproachFraction(const Vector3& start, const Vector3& end,
                                     const Vector3& centre, float radiusSquared)
{
    Vector3 v = end - start;
    float length = v.length();
    if (length != 0.0f)
        v = v * (1.0f / length);
    float t = (centre - start).dot(v);
    Vector3 closest = start + v * t;
    // A zero-length segment has no fraction to give, and nothing behind the
    // start of the ray is hit.
    if ((closest - centre).lengthSquared() < radiusSquared && t >= 0.0f && t < length &&
        length != 0.0f)
        return t / length;
    return 1.0f;
}

int Enemy::lifeAfterBlast(int life, float distanceSquared, float radius)
{
    double r = std::trunc(static_cast<double>(radius));
    if (!std::isfinite(r))
        return 0;
    double d2 = distanceSquared;
    double r2 = r * r;
    if (d2 < r2)
        return 0;
    double gap = d2 - r2;
    return saturatedInt(static_cast<double>(life) - 300000000.0 / (gap * gap));
}

float Enemy::hitFraction(const Vector3& start, const Vector3& end)
{
    return closestApproachFraction(start, end, position, radiusSquared);
}

void Enemy::takeDamage(int amount)
{
    life = saturatedInt(static_cast<double>(life) - amount);
}

void Enemy::die(float distanceSquared)
{
    explosion = new Explosion(position, radius);
    if (game)
        game->life = lifeAfterBlast(game->life, distanceSquared, radius);
}

bool Enemy::update()
{
    if (!camera)
        return true;
    float dt = timer ? timer->frameTime : 0.0f;
    Vector3 toPlayer = camera->position - position;
    float d2 = toPlayer.lengthSquared();

    if (d2 < kChaseRangeSquared) {
        float length = std::sqrt(d2);
        Vector3 n = length != 0.0f ? toPlayer * (1.0f / length) : Vector3();
        if (body)
            body->impulse(dt * speed, n);
    }

    if (!explosion && (d2 < kTouchRangeSquared || life <= 0)) {
        die(d2);
        return false;
    }
    if (!explosion) {
        if (body)
            body->step(position);
        moved = true;
    }
    return true;
}

// Leaf culling keeps whole rooms; a sphere wholly outside the view would
// still cost the rasteriser all of its triangles and draws no pixel.
bool Enemy::offScreen() const
{
    if (!renderer || renderer->referenceDrawing || !renderer->frustum || renderer->frustum->locked)
        return false;
    BoundingSphere bounds;
    bounds.center = position;
    bounds.radius = radius;
    bounds.radiusSquared = radiusSquared;
    return renderer->frustum->sphereTest(bounds) == Frustum::Outside;
}

bool Enemy::draw()
{
    if (explosion)
        return explosion->draw();
    if (offScreen()) {
        spin += 5.0f;
        return true;
    }

    // Seen from well outside (past the near plane), the far half of the
    // sphere lies behind the near half: culling it halves the rasteriser's
    // work and keeps the picture. From inside, both halves are drawn.
    bool built = sphereList && !(renderer && renderer->referenceDrawing);
    float clear = radius + 2.0f;
    bool fromOutside = built && camera && (camera->position - position).lengthSquared() > clear * clear;
    glPushMatrix();
    if (fromOutside)
        glCullFace(GL_BACK);
    else
        glDisable(GL_CULL_FACE);
    glBindTexture(GL_TEXTURE_2D, texture);
    glColor3f(1.0f, 1.0f, 1.0f);
    glTranslatef(position.x, position.y, position.z);
    glRotatef(spin, 1.0f, 1.0f, 1.0f);
    if (built)
        glCallList(sphereList);
    else if (sphere)
        gluSphere(sphere, radius, 20, 20);
    glCullFace(GL_FRONT);  // the level's winding
    glEnable(GL_CULL_FACE);
    glColor3f(1.0f, 1.0f, 1.0f);
    glPopMatrix();

    spin += 5.0f;
    return true;
}
