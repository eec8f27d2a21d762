#pragma once
// The player's seven held actions and the keys bound to them.
#include <cstdint>

// The player's seven continuous actions, each tied to one keyboard key or one
// mouse button and polled every frame while held.
enum PlayerAction {
    ActionForward = 0,
    ActionBackward,
    ActionLeft,
    ActionRight,
    ActionUp,
    ActionDown,
    ActionShoot,
    ActionCount
};

enum ActionDevice {
    DeviceUnbound = 0,
    DeviceKeyboard = 1,
    DeviceMouse = 2
};

struct ActionKey {
    int32_t device = DeviceUnbound;  // anything but keyboard or mouse: never held
    int32_t code = 0;                // SDL key symbol, or mouse button 1..8
};

class ActionKeyTable {
public:
    ActionKey keys[ActionCount];

    // Replaces an action's binding; an action out of range changes nothing.
    void set(int action, int device, int code);

    // Held by the given input state: keyState has keyCount entries (SDL's key
    // state array), buttons is SDL's mouse button mask. Codes outside the
    // array or the low 8 buttons are never held.
    bool isHeld(int action, const uint8_t* keyState, int keyCount, uint32_t buttons) const;
    // The same against SDL's current key and mouse state.
    bool isHeld(int action) const;
};
