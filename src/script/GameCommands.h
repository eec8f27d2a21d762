#pragma once

// Registers the seven game commands with the LuaHost: map, quit, drawFps,
// lockFrustum, toggleCameraPhysics, setRes, kill. main calls it before
// videoSettings.lua runs.
void registerGameCommands();

// setRes parsing without Lua: "WIDTHxHEIGHT" with atoi rules on each side
// (the width's text cut to 11 characters). False, outputs untouched, when
// the text is null or has no "x".
bool parseResolution(const char* text, int* width, int* height);
