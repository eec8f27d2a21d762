#pragma once
// The program's one Lua state and the commands registered in it.
#include "platform/Published.h"
#include <lua5.1/lua.hpp>

// Owns the program's one Lua state. Every configurable thing is a Lua chunk
// run here; native commands are published as globals through registerCommand.
class LuaHost : public Published<LuaHost> {
public:
    lua_State* state = nullptr;  // null when the state could not be created

    LuaHost();
    ~LuaHost();

    // Makes fn the global `name`; a second registration replaces the first.
    void registerCommand(const char* name, lua_CFunction fn);
    // Loads and runs a file / a text; any error goes to the global _ALERT.
    // True when the chunk loaded and ran without error.
    bool runFile(const char* path);
    bool runString(const char* text);

private:
    bool finishRun(int status, int oldTop);
};
