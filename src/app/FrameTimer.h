#pragma once

class FrameTimer {
public:
    static FrameTimer* instance;  // published by the constructor, cleared by the destructor

    FrameTimer();
    ~FrameTimer();
    FrameTimer(const FrameTimer&) = delete;
    FrameTimer& operator=(const FrameTimer&) = delete;
};
