// Names of keys that type no character (F1, Up, ...) and their SDL symbols.
#include "script/KeyNames.h"

#include <SDL/SDL_keysym.h>
#include <strings.h>

namespace {

struct NamedKey {
    const char* name;
    int symbol;
};

const NamedKey kNamedKeys[kNamedKeyCount] = {
    {"F1", SDLK_F1},          {"F2", SDLK_F2},          {"F3", SDLK_F3},
    {"F4", SDLK_F4},          {"F5", SDLK_F5},          {"F6", SDLK_F6},
    {"F7", SDLK_F7},          {"F8", SDLK_F8},          {"F9", SDLK_F9},
    {"F10", SDLK_F10},        {"F11", SDLK_F11},        {"F12", SDLK_F12},
    {"F13", SDLK_F13},        {"F14", SDLK_F14},        {"F15", SDLK_F15},
    {"Up", SDLK_UP},          {"Down", SDLK_DOWN},      {"Left", SDLK_LEFT},
    {"Right", SDLK_RIGHT},    {"Insert", SDLK_INSERT},  {"Delete", SDLK_DELETE},
    {"Home", SDLK_HOME},      {"End", SDLK_END},        {"PageUp", SDLK_PAGEUP},
    {"PageDown", SDLK_PAGEDOWN}, {"Pause", SDLK_PAUSE},
};

} // namespace

int namedKeyIndex(const char* name)
{
    if (!name)
        return -1;
    for (int i = 0; i < kNamedKeyCount; ++i)
        if (strcasecmp(name, kNamedKeys[i].name) == 0)
            return i;
    return -1;
}

int namedKeyOfSymbol(int symbol)
{
    for (int i = 0; i < kNamedKeyCount; ++i)
        if (kNamedKeys[i].symbol == symbol)
            return i;
    return -1;
}
