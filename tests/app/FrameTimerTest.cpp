#include <gtest/gtest.h>

#include "app/FrameTimer.h"

TEST(FrameTimer, FirstFrameTimeIsTimeSinceStart)
{
    FrameTimer timer;
    EXPECT_EQ(FrameTimer::instance, &timer);
    timer.tickAt(2500);
    EXPECT_FLOAT_EQ(timer.frameTime, 2.5f);
    EXPECT_FLOAT_EQ(timer.now, 2.5f);
    EXPECT_EQ(timer.frameCount, 1u);
    // More than a second since the (zero) period start: the period closes.
    EXPECT_EQ(timer.fps, 1);
    EXPECT_EQ(timer.framesSinceFps, 0);
    EXPECT_FLOAT_EQ(timer.lastFpsTime, 2.5f);
}

TEST(FrameTimer, SixtyHertzReadsSixtyOne)
{
    // A period starts at 0; frames follow 1/60 s apart (to SDL's millisecond).
    FrameTimer timer;
    for (int frame = 1; frame <= 60; ++frame)
        timer.tickAt(static_cast<uint32_t>(frame * 1000 / 60));
    // The frame at exactly 1.0 s does not close the period...
    EXPECT_EQ(timer.fps, 0);
    // ...the first one after it does, and is counted in it.
    timer.tickAt(61 * 1000 / 60);
    EXPECT_EQ(timer.fps, 61);
    EXPECT_EQ(timer.framesSinceFps, 0);
    EXPECT_EQ(timer.frameCount, 61u);
}

TEST(FrameTimer, PeriodClosesOnlyWhenStrictlyOverOneSecond)
{
    FrameTimer timer;
    timer.tickAt(500);
    timer.tickAt(1000);
    EXPECT_EQ(timer.fps, 0);
    EXPECT_EQ(timer.framesSinceFps, 2);
    timer.tickAt(1001);
    EXPECT_EQ(timer.fps, 3);
    EXPECT_NEAR(timer.frameTime, 0.001f, 1e-6);
    // The instance pointer follows the newest timer and is cleared with it.
    {
        FrameTimer other;
        EXPECT_EQ(FrameTimer::instance, &other);
    }
    EXPECT_EQ(FrameTimer::instance, nullptr);
}
