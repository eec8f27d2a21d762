#pragma once

// Keys that type no character (function keys, arrows, editing keys), by the
// names bind() takes for them: "F1".."F15", "Up", "PageDown", ...
constexpr int kNamedKeyCount = 26;

// Index 0..kNamedKeyCount-1 of a name (letter case ignored); -1 when the
// text names none of these keys.
int namedKeyIndex(const char* name);
// Index of an SDL key symbol; -1 when it is not one of these keys.
int namedKeyOfSymbol(int symbol);
