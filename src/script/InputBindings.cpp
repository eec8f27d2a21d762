#include "script/InputBindings.h"

#include "script/LuaHost.h"
#include "script/ScriptArgs.h"

#include <cstring>

InputBindings* InputBindings::instance = nullptr;

namespace {

// bind(command text, key)
int bindCommand(lua_State* L)
{
    InputBindings* bindings = InputBindings::instance;
    if (!bindings)
        return 0;
    const char* command = scriptargs::text(L, 1);
    int code = 0;
    if (!command || !command[0] || !scriptargs::keyCode(L, 2, &code))
        return 0;
    bindings->bind(command, code);
    return 0;
}

} // namespace

InputBindings::InputBindings()
{
    instance = this;
    for (Slot& slot : slots) {
        slot.command[0] = '\0';
        slot.bound = false;
    }
    host = LuaHost::instance;
    if (host)
        host->registerCommand("bind", bindCommand);
}

InputBindings::~InputBindings()
{
    if (instance == this)
        instance = nullptr;
}

void InputBindings::bind(const char* command, int code)
{
    if (!command || !command[0])
        return;
    Slot& slot = slots[code & 0xFF];
    size_t length = std::strlen(command);
    if (length > kCommandSize - 1)
        length = kCommandSize - 1;
    std::memcpy(slot.command, command, length);
    slot.command[length] = '\0';
    slot.bound = true;
}

const char* InputBindings::boundCommand(int slot) const
{
    if (slot < 0 || slot >= kSlotCount || !slots[slot].bound)
        return nullptr;
    return slots[slot].command;
}

bool InputBindings::runBoundCommand(int character)
{
    const char* command = boundCommand(character);
    if (!command || !host)
        return false;
    // Copied: the command may rebind its own slot while it runs.
    char text[kCommandSize];
    std::memcpy(text, command, sizeof text);
    host->runString(text);
    return true;
}
