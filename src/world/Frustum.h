#pragma once

class Frustum {
public:
    static Frustum* instance;  // published by the constructor, cleared by the destructor

    Frustum();
    ~Frustum();
    Frustum(const Frustum&) = delete;
    Frustum& operator=(const Frustum&) = delete;
};
