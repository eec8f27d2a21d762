#pragma once

class InputBindings {
public:
    static InputBindings* instance;  // published by the constructor, cleared by the destructor

    InputBindings();
    ~InputBindings();
    InputBindings(const InputBindings&) = delete;
    InputBindings& operator=(const InputBindings&) = delete;
};
