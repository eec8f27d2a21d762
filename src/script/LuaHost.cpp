// The Lua host: opening the state and its libraries, routing print and errors to the log, running chunks.
#include "script/LuaHost.h"

#include "platform/SystemLog.h"

#include <cstdio>
#include <cstring>

namespace {

struct LibraryEntry {
    const char* name;
    lua_CFunction open;
};

// Opened in this order; the log shows one line per row after it is open.
// Lua 5.1 keeps loadlib inside its package library.
const LibraryEntry libraryTable[] = {
    { "base", luaopen_base },
    { "table", luaopen_table },
    { "io", luaopen_io },
    { "string", luaopen_string },
    { "math", luaopen_math },
    { "debug", luaopen_debug },
    { "loadlib", luaopen_package },
    { nullptr, nullptr },
};

// lua_tostring gives nothing for nil, booleans, tables and functions.
const char* topText(lua_State* L)
{
    if (lua_gettop(L) < 1)
        return "(null)";
    const char* text = lua_tostring(L, -1);
    return text ? text : "(null)";
}

int logPrint(lua_State* L)
{
    SystemLog::get().write(LOG_WHITE "%s", topText(L));
    return 0;
}

int logAlert(lua_State* L)
{
    SystemLog::get().write(LOG_RED "%s", topText(L));
    return 0;
}

// Lua 5.0 said "cannot read NAME: reason" for any file it could not load;
// 5.1 says "cannot open" or "cannot reopen". The log keeps the 5.0 wording.
void renameFileError(lua_State* L)
{
    const char* message = lua_tostring(L, -1);
    if (!message)
        return;
    const char* rest = nullptr;
    if (std::strncmp(message, "cannot open ", 12) == 0)
        rest = message + 12;
    else if (std::strncmp(message, "cannot reopen ", 14) == 0)
        rest = message + 14;
    if (!rest)
        return;
    lua_pushfstring(L, "cannot read %s", rest);
    lua_remove(L, -2);
}

int atPanic(lua_State* L)
{
    SystemLog::get().write(LOG_RED "::LUA ERROR unprotected error: %s", topText(L));
    return 0;
}

} // namespace

LuaHost::LuaHost()
{
    state = luaL_newstate();
    if (!state) {
        SystemLog::get().write(LOG_RED "::LUA ERROR lua_open() Failed!");
        return;
    }
    lua_atpanic(state, atPanic);
    SystemLog::get().write(LOG_WHITE "::LUA 5.02 Initilize success!");

    for (const LibraryEntry* lib = libraryTable; lib->name; ++lib) {
        // 5.1 openers must run as Lua calls (they set their own environment).
        lua_pushcfunction(state, lib->open);
        lua_pushstring(state, lib->name);
        if (lua_pcall(state, 1, 0, 0) != 0)
            SystemLog::get().write(LOG_RED "::LUA ERROR opening library %s: %s",
                                   lib->name, topText(state));
        lua_settop(state, 0);
        SystemLog::get().write(LOG_WHITE "::LUA Opening library: %s", lib->name);
    }

    // Scripts written for 5.0 call loadlib as a global.
    lua_getfield(state, LUA_GLOBALSINDEX, "package");
    if (lua_istable(state, -1)) {
        lua_getfield(state, -1, "loadlib");
        lua_setfield(state, LUA_GLOBALSINDEX, "loadlib");
    }
    lua_settop(state, 0);

    registerCommand("_ALERT", logAlert);
    registerCommand("print", logPrint);
}

LuaHost::~LuaHost()
{
    // Nothing reaches the state through the host while it closes.
    withdraw();
    if (state)
        lua_close(state);
    state = nullptr;
}

void LuaHost::registerCommand(const char* name, lua_CFunction fn)
{
    if (!state || !name || !fn) {
        SystemLog::get().write(LOG_RED "::LUA ERROR cannot register command %s", name ? name : "(null)");
        return;
    }
    // Raw access: a script's metatable on the globals cannot raise here,
    // outside any protected call.
    lua_pushstring(state, name);
    lua_pushcclosure(state, fn, 0);
    lua_rawset(state, LUA_GLOBALSINDEX);
}

bool LuaHost::runFile(const char* path)
{
    if (!state) {
        SystemLog::get().write(LOG_RED "::LUA ERROR no Lua state to run %s", path ? path : "(null)");
        return false;
    }
    int top = lua_gettop(state);
    if (!path) {
        lua_pushstring(state, "cannot read (no file name)");
        return finishRun(LUA_ERRFILE, top);
    }
    int status = luaL_loadfile(state, path);
    if (status == LUA_ERRFILE)
        renameFileError(state);
    return finishRun(status, top);
}

bool LuaHost::runString(const char* text)
{
    if (!state) {
        SystemLog::get().write(LOG_RED "::LUA ERROR no Lua state to run a text");
        return false;
    }
    if (!text)
        text = "";
    int top = lua_gettop(state);
    // The text is its own chunk name, as Lua 5.0's dostring had it.
    int status = luaL_loadbuffer(state, text, std::strlen(text), text);
    return finishRun(status, top);
}

// Runs the loaded chunk and hands any error message to the global _ALERT,
// or to stderr when a script has replaced _ALERT by something not callable.
bool LuaHost::finishRun(int status, int oldTop)
{
    if (status == 0)
        status = lua_pcall(state, 0, LUA_MULTRET, 0);
    if (status != 0) {
        lua_pushstring(state, "_ALERT");
        lua_rawget(state, LUA_GLOBALSINDEX);
        if (lua_isfunction(state, -1)) {
            lua_insert(state, -2);
            if (lua_pcall(state, 1, 0, 0) != 0)
                std::fprintf(stderr, "%s\n", topText(state));
        } else {
            lua_pop(state, 1);
            std::fprintf(stderr, "%s\n", topText(state));
        }
    }
    lua_settop(state, oldTop);
    return status == 0;
}
