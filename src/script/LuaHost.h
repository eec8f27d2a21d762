#pragma once

class LuaHost {
public:
    static LuaHost* instance;  // published by the constructor, cleared by the destructor

    LuaHost();
    ~LuaHost();
    LuaHost(const LuaHost&) = delete;
    LuaHost& operator=(const LuaHost&) = delete;
};
