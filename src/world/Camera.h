#pragma once

class Camera {
public:
    static Camera* instance;  // published by the constructor, cleared by the destructor

    Camera();
    ~Camera();
    Camera(const Camera&) = delete;
    Camera& operator=(const Camera&) = delete;
};
