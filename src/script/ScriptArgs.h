#pragma once
// Argument reading shared by every script command.
#include <lua5.1/lua.hpp>

// Argument reading shared by every script command. A command never raises a
// Lua error: a missing or unusable argument makes these answer false.
namespace scriptargs {

// A number, or a text Lua converts to one (decimal or hex, blanks around).
bool isNumeric(lua_State* L, int index);
// The argument as text (numbers become their text); null when it is missing,
// nil, a boolean, a table or a function.
const char* text(lua_State* L, int index);
// Numeric argument with a finite value into *out; false otherwise.
bool finiteNumber(lua_State* L, int index, float* out);
// Numeric argument truncated toward zero into *out, clamped to the int range
// (NaN gives 0); false when not numeric.
bool integer(lua_State* L, int index, int* out);
// Key argument: the low 8 bits of a numeric value truncated toward zero
// (any size), else the first character of the text as an unsigned byte.
// False when missing or not finite.
bool keyCode(lua_State* L, int index, int* out);

// Low 8 bits of the number truncated toward zero, negatives as in two's
// complement; false for NaN and the infinities.
bool lowByte(double value, int* out);

} // namespace scriptargs
