#pragma once

class Console {
public:
    static Console* instance;  // published by the constructor, cleared by the destructor

    Console();
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;
};
