// Which key or mouse button each player action is bound to, and whether it is held.
#include "script/ActionKeyTable.h"

#include <SDL/SDL.h>

void ActionKeyTable::set(int action, int device, int code)
{
    if (action < 0 || action >= ActionCount)
        return;
    keys[action].device = device;
    keys[action].code = code;
}

bool ActionKeyTable::isHeld(int action, const uint8_t* keyState, int keyCount, uint32_t buttons) const
{
    if (action < 0 || action >= ActionCount)
        return false;
    const ActionKey& key = keys[action];
    if (key.device == DeviceKeyboard)
        return keyState && key.code >= 0 && key.code < keyCount && keyState[key.code] != 0;
    if (key.device == DeviceMouse)
        return key.code >= 1 && key.code <= 8 && (buttons & (1u << (key.code - 1))) != 0;
    return false;
}

bool ActionKeyTable::isHeld(int action) const
{
    int keyCount = 0;
    const Uint8* keyState = SDL_GetKeyState(&keyCount);
    // Never past SDL's own table, whatever it reports.
    if (keyCount > SDLK_LAST)
        keyCount = SDLK_LAST;
    Uint8 buttons = SDL_GetMouseState(nullptr, nullptr);
    return isHeld(action, keyState, keyCount, buttons);
}
