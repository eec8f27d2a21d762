#include "world/Camera.h"

Camera* Camera::instance = nullptr;

Camera::Camera()
{
    instance = this;
}

Camera::~Camera()
{
    if (instance == this)
        instance = nullptr;
}
