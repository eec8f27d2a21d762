#pragma once

// Registers the game commands with the LuaHost: map, gameData, quit,
// drawFps, lockFrustum, toggleCameraPhysics, setRes, kill, setOverbright, setToneCurve, and the view
// commands. main calls it before videoSettings.lua runs.
void registerGameCommands();

// setRes parsing without Lua: "WIDTHxHEIGHT" with atoi rules on each side
// (the width's text cut to 11 characters). False, outputs untouched, when
// the text is null or has no "x".
bool parseResolution(const char* text, int* width, int* height);

// What gameData(folder) does: every .pk3 in the folder is searched as if it
// lay in baseq3/. Returns the number of archives added.
int addGameData(const char* folder);

// What map(path) does: loads the level and hides the menu when it loaded.
bool playLevel(const char* path);
