#pragma once

class Renderer {
public:
    static Renderer* instance;  // published by the constructor, cleared by the destructor

    Renderer();
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;
};
