#include "world/Renderer.h"

Renderer* Renderer::instance = nullptr;

Renderer::Renderer()
{
    instance = this;
}

Renderer::~Renderer()
{
    if (instance == this)
        instance = nullptr;
}
