// Reading script command arguments without ever raising a Lua error.
#include "script/ScriptArgs.h"

#include "platform/Saturate.h"

#include <climits>
#include <cmath>

namespace scriptargs {

namespace {
bool present(lua_State* L, int index)
{
    return L && index >= 1 && index <= lua_gettop(L);
}
} // namespace

bool isNumeric(lua_State* L, int index)
{
    return present(L, index) && lua_isnumber(L, index);
}

const char* text(lua_State* L, int index)
{
    if (!present(L, index) || !lua_isstring(L, index))
        return nullptr;
    return lua_tostring(L, index);
}

bool integer(lua_State* L, int index, int* out)
{
    if (!isNumeric(L, index))
        return false;
    *out = saturatedInt(lua_tonumber(L, index));
    return true;
}

bool finiteNumber(lua_State* L, int index, float* out)
{
    if (!isNumeric(L, index))
        return false;
    double value = lua_tonumber(L, index);
    if (!std::isfinite(value) || std::fabs(value) > 3.0e38)
        return false;
    *out = static_cast<float>(value);
    return true;
}

bool lowByte(double value, int* out)
{
    double n = std::trunc(value);
    if (!std::isfinite(n))
        return false;
    double low = std::fmod(n, 256.0);
    if (low < 0.0)
        low += 256.0;
    *out = static_cast<int>(low);
    return true;
}

bool keyCode(lua_State* L, int index, int* out)
{
    if (isNumeric(L, index))
        return lowByte(lua_tonumber(L, index), out);
    const char* t = text(L, index);
    if (!t)
        return false;
    *out = static_cast<unsigned char>(t[0]);
    return true;
}

} // namespace scriptargs
