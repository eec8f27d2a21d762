// The particle fountain placed by a map entity: reading its keys and emitting.
#include "objects/ParticleSystem.h"

#include <cmath>
#include <cstdlib>

#include "platform/Saturate.h"
#include "world/EntitieParser.h"

namespace {

const double kDegreesToRadians = 0.017453292522222223;

// At most this many shifts, so the divisor 10^(shifts + 3) fits an int.
const int kMaxFadeShifts = 6;

} // namespace

// --- FountainParams ------------------------------------------------------

void FountainParams::configure(const EntityBlock& block)
{
    Vector3 base = block.getVector("color");
    float maxLifeFade = block.getFloat("max_life_fade");
    float minLifeFade = block.getFloat("min_life_fade");
    int maxVelocity = block.getInt("max_velocity");
    int minVelocity = block.getInt("min_velocity");
    float spreadDegrees = block.getFloat("spread");
    Vector3 direction = block.getVector("axis");

    axis = direction;
    float length = axis.length();
    if (length != 0.0f)
        axis = axis * (1.0f / length);
    side = Vector3(-axis.z, 0.0f, axis.x);
    if (side.x == 0.0f && side.y == 0.0f && side.z == 0.0f)
        side = Vector3(0.0f, axis.z, -axis.y);

    minSpeed = minVelocity;
    maxSpeed = maxVelocity;
    minFade = minLifeFade;
    setFadePrecision(maxLifeFade, minLifeFade);
    spread = static_cast<float>(spreadDegrees * kDegreesToRadians);
    colour[0] = base.x;
    colour[1] = base.y;
    colour[2] = base.z;
}

void FountainParams::setFadePrecision(float maxLifeFade, float minLifeFade)
{
    fadeRange = 1;
    fadeDivisor = 1;
    // Equal fades (or unreadable ones): every particle gets the min fade.
    if (!(maxLifeFade - minLifeFade > 0.0001f) || !std::isfinite(maxLifeFade))
        return;

    // Three significant digits of max_life_fade.
    double scaled = maxLifeFade;
    int shifts = 0;
    while (std::trunc(scaled) == 0.0 && shifts < kMaxFadeShifts) {
        scaled *= 10.0;
        ++shifts;
    }
    if (std::trunc(scaled) == 0.0)
        return;  // zero or too small to scale: keep the min fade only
    int digits = shifts + 3;
    double divisor = std::pow(10.0, digits);
    int range = saturatedInt(static_cast<double>(maxLifeFade) * divisor);
    if (range == 0)
        return;
    fadeRange = range;
    fadeDivisor = static_cast<int>(divisor);
}

void FountainParams::emit(Particle& p, const Vector3& origin) const
{
    p.position = origin;

    float a = static_cast<float>((rand() % 600) * 0.01);
    float tilt = a < spread ? a : spread;
    Vector3 w = axis + side * std::tan(tilt);

    // Right-handed rotation of w about the axis by a.
    float cosA = std::cos(a), sinA = std::sin(a), t = 1.0f - cosA;
    float kx = axis.x, ky = axis.y, kz = axis.z;
    Vector3 r;
    r.x = (cosA + kx * kx * t) * w.x + (kx * ky * t - kz * sinA) * w.y + (kx * kz * t + ky * sinA) * w.z;
    r.y = (ky * kx * t + kz * sinA) * w.x + (cosA + ky * ky * t) * w.y + (ky * kz * t - kx * sinA) * w.z;
    r.z = (kz * kx * t - ky * sinA) * w.x + (kz * ky * t + kx * sinA) * w.y + (cosA + kz * kz * t) * w.z;

    // Equal speeds leave no range to draw from: always the min speed.
    long long range = static_cast<long long>(maxSpeed) - minSpeed;
    long long speed = minSpeed;
    if (range != 0)
        speed += rand() % range;
    p.velocity = r * static_cast<float>(speed);

    float brightness = static_cast<float>((rand() % 1000) * 0.001);
    if (colour[0] == 0.0f && colour[1] == 0.0f && colour[2] == 0.0f) {
        float r1 = static_cast<float>((rand() % 1000) * 0.001);
        float r2 = static_cast<float>((rand() % 1000) * 0.001);
        float r3 = static_cast<float>((rand() % 1000) * 0.001);
        p.colour[0] = r3;
        p.colour[1] = r2;
        p.colour[2] = r1;
    } else {
        p.colour[0] = colour[0] * brightness;
        p.colour[1] = colour[1] * brightness;
        p.colour[2] = colour[2] * brightness;
    }

    p.life = 1.0f;
    float increment = static_cast<float>(rand() % fadeRange) / static_cast<float>(fadeDivisor);
    p.fade = (increment + minFade) * 100.0f;
}

// --- ParticleSystem ------------------------------------------------------

ParticleSystem::ParticleSystem(const EntityBlock& block, const Vector3& origin)
    : group(&position, &moved)
{
    position = origin;
    moved = false;
    params.configure(block);

    group.gravity = block.getVector("gravity");
    if (block.getBool("move_system")) {
        group.systemAcceleration = block.getVector("sys_accel");
        group.systemVelocity = block.getVector("sys_velocity");
        group.moving = true;
    }
    // Without a "texture" key the load fails with its log line and the
    // sprites are drawn untextured.
    char textureFile[EntityBlock::TEXT_SIZE] = "";
    block.getText("texture", textureFile, sizeof(textureFile));
    group.loadTexture(textureFile);
    group.compileSprite(block.getFloat("txt_width"), block.getFloat("txt_height"));
}

void ParticleSystem::emit(int n)
{
    unsigned count = group.clipEmitCount(n);
    for (unsigned i = 0; i < count; ++i)
        params.emit(group.particles[group.live + i], position);
    group.live += count;
    group.distanceThreshold = ParticleGroup::thresholdFor(count);
}

bool ParticleSystem::draw()
{
    float dt = group.frameTime();
    unsigned toProcess = group.countToProcess(group.viewerDistanceSquared());

    group.beginDraw();
    for (unsigned i = 0; i < toProcess; ++i) {
        Particle& p = group.particles[i];
        ParticleGroup::advance(p, group.gravity, dt);
        group.drawParticle(p);
        // Dead particles are re-emitted in place, first drawn next frame.
        if (p.life <= 0.0f)
            params.emit(p, position);
    }
    group.endDraw();

    group.moveSystem(dt);
    return group.live > 0;
}
