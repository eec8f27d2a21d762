#include "script/LuaHost.h"

LuaHost* LuaHost::instance = nullptr;

LuaHost::LuaHost()
{
    instance = this;
}

LuaHost::~LuaHost()
{
    if (instance == this)
        instance = nullptr;
}
