// The game's arithmetic: blast, ray fraction, fire rate, marks and the
// particle emission rules. No GL context: nothing here draws.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "app/FrameTimer.h"
#include "app/Game.h"
#include "objects/Enemy.h"
#include "objects/Explosion.h"
#include "objects/ParticleGroup.h"
#include "objects/ParticleSystem.h"
#include "world/Camera.h"
#include "world/EntitieParser.h"

TEST(EnemyRules, BlastFallsOffWithDistance)
{
    // 59 units from a radius-20 enemy: 100 - trunc(100 - 3e8 / 3081^2) = 32.
    EXPECT_EQ(100 - Enemy::lifeAfterBlast(100, 59.0f * 59.0f, 20.0f), 32);
    // 500 units still costs one point.
    EXPECT_EQ(100 - Enemy::lifeAfterBlast(100, 500.0f * 500.0f, 20.0f), 1);
    // Inside the blast radius: dead whatever the life was.
    EXPECT_EQ(Enemy::lifeAfterBlast(100000, 19.0f * 19.0f, 20.0f), 0);
    // A zero-radius enemy never zeroes life by radius alone.
    EXPECT_EQ(Enemy::lifeAfterBlast(100, 250000.0f, 0.0f), 99);
    // On the sphere exactly (d2 == r2) the division does not overflow.
    EXPECT_LE(Enemy::lifeAfterBlast(100, 400.0f, 20.0f), 0);
    EXPECT_EQ(Enemy::lifeAfterBlast(100, 400.0f, std::nanf("")), 0);
}

TEST(EnemyRules, HitFractionIsTheClosestApproach)
{
    Vector3 s(0, 0, 0), e(100, 0, 0);
    float r2 = 400.0f;
    EXPECT_FLOAT_EQ(Enemy::closestApproachFraction(s, e, Vector3(50, 10, 0), r2), 0.5f);
    EXPECT_FLOAT_EQ(Enemy::closestApproachFraction(s, e, Vector3(50, 30, 0), r2), 1.0f);
    EXPECT_FLOAT_EQ(Enemy::closestApproachFraction(s, e, Vector3(150, 0, 0), r2), 1.0f);
    // Behind the start of the ray, even when the start is inside the sphere.
    EXPECT_FLOAT_EQ(Enemy::closestApproachFraction(s, e, Vector3(-10, 5, 0), r2), 1.0f);
    // Zero radius: nothing is closer than 0. Zero length: no fraction.
    EXPECT_FLOAT_EQ(Enemy::closestApproachFraction(s, e, Vector3(50, 0, 0), 0.0f), 1.0f);
    EXPECT_FLOAT_EQ(Enemy::closestApproachFraction(s, s, Vector3(0, 0, 0), r2), 1.0f);
}

TEST(GameRules, HeldShootFiresOnEveryFourteenthFrameAt100Fps)
{
    FrameTimer timer;
    Camera camera;
    Game game;
    std::vector<int> shotFrames;
    for (int frame = 1; frame <= 1000; ++frame) {
        timer.tickAt(static_cast<uint32_t>(frame * 10));
        int before = game.bullets;
        game.shot();
        if (game.bullets != before)
            shotFrames.push_back(frame);
    }
    ASSERT_GT(shotFrames.size(), 60u);
    // 0.13 s after a shot is not yet past 0.13 s, whatever the float noise.
    EXPECT_EQ(shotFrames.front(), 14);
    for (size_t i = 1; i < shotFrames.size(); ++i)
        EXPECT_EQ(shotFrames[i] - shotFrames[i - 1], 14) << "shot " << i;
    EXPECT_EQ(game.bullets, 1000 - static_cast<int>(shotFrames.size()));
}

TEST(GameRules, NoBulletsNoShot)
{
    FrameTimer timer;
    Game game;
    game.bullets = 0;
    timer.tickAt(5000);
    game.shot();
    EXPECT_EQ(game.bullets, 0);
    EXPECT_FLOAT_EQ(game.lastShotTime, 0.0f);
}

TEST(GameRules, FiftyMarksThenNoneAndSwapWithLast)
{
    Game game;
    for (int i = 0; i < Game::MAX_MARKS; ++i)
        EXPECT_TRUE(game.placeMark(Vector3(static_cast<float>(i), 0, 0)));
    EXPECT_FALSE(game.placeMark(Vector3(99, 0, 0)));
    EXPECT_EQ(game.markCount, 50);

    // Mark 3 dies: the last mark moves into its slot, unfaded this time.
    game.marks[3].alpha = 0.1f;
    EXPECT_FALSE(game.fadeMark(3, 1.0f));
    EXPECT_EQ(game.markCount, 49);
    EXPECT_FLOAT_EQ(game.marks[3].position.x, 49.0f);
    EXPECT_FLOAT_EQ(game.marks[3].alpha, 1.0f);
    EXPECT_TRUE(game.fadeMark(0, 1.0f));
    EXPECT_NEAR(game.marks[0].alpha, 0.7f, 1e-6f);

    game.life = 3;
    game.bullets = 4;
    game.reset();
    EXPECT_EQ(game.life, 100);
    EXPECT_EQ(game.bullets, 1000);
    EXPECT_EQ(game.markCount, 0);
}

TEST(ParticleRules, FadePrecision)
{
    FountainParams p;
    p.setFadePrecision(0.05f, 0.01f);
    EXPECT_EQ(p.fadeDivisor, 100000);
    EXPECT_EQ(p.fadeRange, 5000);
    p.setFadePrecision(2.5f, 0.5f);
    EXPECT_EQ(p.fadeDivisor, 1000);
    EXPECT_EQ(p.fadeRange, 2500);
    // Nine digits is the finest divisor an int holds.
    p.setFadePrecision(3e-6f, -1.0f);
    EXPECT_EQ(p.fadeDivisor, 1000000000);
    EXPECT_EQ(p.fadeRange, 3000);
    // Equal fades, zero max with a negative min, a max too small to scale,
    // and unreadable values all keep the min fade only.
    const float cases[][2] = {{0.3f, 0.3f}, {0.0f, -1.0f}, {1e-9f, -1.0f},
                              {1.5e-7f, -1.0f},
                              {INFINITY, 0.0f}, {NAN, 0.0f}};
    for (const auto& c : cases) {
        p.setFadePrecision(c[0], c[1]);
        EXPECT_EQ(p.fadeRange, 1);
        EXPECT_EQ(p.fadeDivisor, 1);
    }
}

TEST(ParticleRules, FountainDrawsInOrder)
{
    EntityBlock block;
    block.parse("\"max_life_fade\" \"0.05\"\n\"min_life_fade\" \"0.01\"\n"
                "\"max_velocity\" \"30\"\n\"min_velocity\" \"10\"\n\"axis\" \"0 2 0\"\n");
    FountainParams p;
    p.configure(block);
    EXPECT_FLOAT_EQ(p.axis.y, 1.0f);
    EXPECT_FLOAT_EQ(p.side.x, 0.0f);  // axis x (0,1,0) is zero: the second side
    EXPECT_FLOAT_EQ(p.side.y, 0.0f);
    EXPECT_FLOAT_EQ(p.side.z, -1.0f);

    srand(1234);
    int draws[8];
    for (int& d : draws)
        d = rand();
    srand(1234);
    Particle particle;
    p.emit(particle, Vector3(1, 2, 3));
    int next = rand();
    EXPECT_EQ(next, draws[7]);  // exactly seven draws

    // Random colours: the first colour draw becomes blue.
    EXPECT_FLOAT_EQ(particle.colour[2], static_cast<float>((draws[3] % 1000) * 0.001));
    EXPECT_FLOAT_EQ(particle.colour[1], static_cast<float>((draws[4] % 1000) * 0.001));
    EXPECT_FLOAT_EQ(particle.colour[0], static_cast<float>((draws[5] % 1000) * 0.001));
    float speed = static_cast<float>(10 + draws[1] % 20);
    EXPECT_NEAR(particle.velocity.length(), speed, speed * 1e-4f + 1e-3f);
    float fade = (static_cast<float>(draws[6] % 5000) / 100000.0f + 0.01f) * 100.0f;
    EXPECT_FLOAT_EQ(particle.fade, fade);
    EXPECT_FLOAT_EQ(particle.life, 1.0f);
    EXPECT_FLOAT_EQ(particle.position.z, 3.0f);
    EXPECT_GE(particle.fade, 1.0f);
    EXPECT_LT(particle.fade, 6.0f);
}

TEST(ParticleRules, ZeroSpreadLeavesAlongTheAxisAndEqualSpeedsUseTheMin)
{
    EntityBlock block;
    block.parse("\"color\" \"1 0 0\"\n\"max_velocity\" \"40\"\n\"min_velocity\" \"40\"\n"
                "\"axis\" \"1 0 0\"\n");
    FountainParams p;
    p.configure(block);
    srand(99);
    for (int i = 0; i < 50; ++i) {
        Particle particle;
        p.emit(particle, Vector3());
        EXPECT_NEAR(particle.velocity.x, 40.0f, 1e-3f);
        EXPECT_NEAR(particle.velocity.y, 0.0f, 1e-3f);
        EXPECT_NEAR(particle.velocity.z, 0.0f, 1e-3f);
        EXPECT_FLOAT_EQ(particle.colour[1], 0.0f);  // red only
        EXPECT_FLOAT_EQ(particle.colour[2], 0.0f);
        EXPECT_FLOAT_EQ(particle.fade, 0.0f);       // no fade keys: min fade 0
    }
}

TEST(ParticleRules, ExplosionParticlesStartOnTheSphere)
{
    ExplosionParams p;
    p.setRadius(20.9f);
    EXPECT_EQ(p.count, 20);
    EXPECT_TRUE(p.offset);
    srand(5);
    for (int i = 0; i < 1000; ++i) {
        Particle particle;
        p.emit(particle, Vector3(100, 0, 0));
        EXPECT_NEAR((particle.position - Vector3(100, 0, 0)).length(), 20.0f, 1e-3f);
        EXPECT_NEAR(particle.velocity.length(), 50.0f, 1e-3f);
        EXPECT_FLOAT_EQ(particle.fade, 0.5f);  // two seconds of life
        EXPECT_FLOAT_EQ(particle.colour[1], 0.4f);
    }
    p.setRadius(0.5f);
    EXPECT_EQ(p.count, 1);
    EXPECT_FALSE(p.offset);
    Particle particle;
    p.emit(particle, Vector3(1, 2, 3));
    EXPECT_FLOAT_EQ(particle.position.y, 2.0f);
    p.setRadius(1e30f);  // saturates, no overflow
    EXPECT_GT(p.count, 0);
}

TEST(ParticleRules, EmissionLimitsAndDistanceThreshold)
{
    Vector3 origin;
    bool moved = false;
    ParticleGroup group(&origin, &moved);
    EXPECT_EQ(group.clipEmitCount(150), 100u);
    EXPECT_EQ(group.clipEmitCount(-1), 100u);
    EXPECT_EQ(group.clipEmitCount(-2147483647 - 1), 100u);
    EXPECT_EQ(group.clipEmitCount(0), 0u);
    group.live = 95;
    EXPECT_EQ(group.clipEmitCount(10), 5u);
    EXPECT_EQ(group.clipEmitCount(-1), 5u);

    EXPECT_FLOAT_EQ(ParticleGroup::thresholdFor(50), 1250.0f);
    EXPECT_FLOAT_EQ(ParticleGroup::thresholdFor(100), 5000.0f);
    EXPECT_FLOAT_EQ(ParticleGroup::thresholdFor(0), 0.0f);

    group.live = 100;
    group.distanceThreshold = 5000.0f;
    EXPECT_EQ(group.countToProcess(2500.0f), 50u);
    EXPECT_EQ(group.countToProcess(6000.0f), 100u);
    EXPECT_EQ(group.countToProcess(0.0f), 0u);
    group.distanceThreshold = 0.0f;
    group.live = 0;
    EXPECT_EQ(group.countToProcess(0.0f), 0u);

    // System motion moves the origin, then accelerates, and flags the move.
    group.moving = true;
    group.systemVelocity = Vector3(0, 10, 0);
    group.systemAcceleration = Vector3(0, 2, 0);
    group.moveSystem(0.5f);
    EXPECT_FLOAT_EQ(origin.y, 5.0f);
    EXPECT_FLOAT_EQ(group.systemVelocity.y, 11.0f);
    EXPECT_TRUE(moved);
}
