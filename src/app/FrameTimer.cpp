#include "app/FrameTimer.h"

FrameTimer* FrameTimer::instance = nullptr;

FrameTimer::FrameTimer()
{
    instance = this;
}

FrameTimer::~FrameTimer()
{
    if (instance == this)
        instance = nullptr;
}
