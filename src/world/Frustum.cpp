#include "world/Frustum.h"

Frustum* Frustum::instance = nullptr;

Frustum::Frustum()
{
    instance = this;
}

Frustum::~Frustum()
{
    if (instance == this)
        instance = nullptr;
}
