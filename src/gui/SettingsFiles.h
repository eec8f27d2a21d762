#pragma once
// The two Lua files the menu writes back, input.lua and videoSettings.lua:
// their exact text, the key texts the controls screen shows, and a writer
// that never leaves a half-written or clobbered file behind. No GL, no GUI.
#include <string>

#include "gui/MenuScreens.h"

namespace settings {

// What an edit box shows for a key: the character of the code's low byte
// ("%c", so code 0 gives ""), or "*" and the mouse button ("*%i").
std::string keyText(const ActionKey& key);

// One input.lua line for an edit box's content, line break included; empty
// when the content names no key (nothing, or "*" without a digit after it),
// so that action keeps its key. A digit or a byte Lua cannot quote plainly
// is written as its code, so the digit key 1 binds code 49, not code 1.
std::string inputLine(const char* command, const char* content);

// The whole input.lua; contents[i] belongs to menu::kInputFileOrder[i] and is
// null when that edit box does not exist.
std::string inputFileText(const char* const contents[menu::kActionFieldCount]);

// The whole videoSettings.lua; resolution null writes no setRes line.
std::string videoFileText(const char* resolution, bool fullscreen);

// Replaces path with text through a temporary file in the same folder and a
// rename. False, with the old file untouched, when path is a folder or a
// read-only file or the folder cannot be written.
bool replaceFile(const char* path, const std::string& text);

} // namespace settings
