#pragma once
// The command-key table: a key press runs its bound Lua text.
#include "platform/Published.h"
#include "script/KeyNames.h"

class LuaHost;

// The command-key table: the character a key press produces (SDL's unicode
// field) selects one of 256 slots whose Lua text runs once per press. Keys
// that type no character (F12, arrows, ...) have slots of their own, bound
// by name.
class InputBindings : public Published<InputBindings> {
public:
    static constexpr int kSlotCount = 256;
    static constexpr int kCommandSize = 64;  // 63 characters and the zero

    struct Slot {
        char command[kCommandSize] = {};
        bool bound = false;
    };

    Slot slots[kSlotCount];
    Slot namedSlots[kNamedKeyCount];  // by namedKeyIndex
    LuaHost* host = nullptr;

    InputBindings();  // all slots unbound; registers `bind`

    // Stores the text (cut to 63 characters) in slot code & 255; an empty or
    // null text changes nothing.
    void bind(const char* command, int code);
    // The same for a key without a character, by its KeyNames index.
    void bindNamed(const char* command, int index);
    // The bound text of a slot; nullptr when unbound or out of 0..255.
    const char* boundCommand(int slot) const;
    // Main loop lookup: runs the slot's text through the LuaHost when the
    // character is 0..255 and bound. True when a command ran.
    bool runBoundCommand(int character);
    // The same for a key symbol bound by name. True when a command ran.
    bool runNamedKeyCommand(int symbol);
};
