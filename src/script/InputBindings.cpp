// The command-key table and its bind command.
#include "script/InputBindings.h"

#include "script/LuaHost.h"
#include "script/ScriptArgs.h"

#include <cstring>

namespace {

void storeCommand(InputBindings::Slot& slot, const char* command)
{
    size_t length = std::strlen(command);
    if (length > InputBindings::kCommandSize - 1)
        length = InputBindings::kCommandSize - 1;
    std::memcpy(slot.command, command, length);
    slot.command[length] = '\0';
    slot.bound = true;
}

bool runSlot(const InputBindings::Slot& slot, LuaHost* host)
{
    if (!slot.bound || !host)
        return false;
    // Copied: the command may rebind its own slot while it runs.
    char text[InputBindings::kCommandSize];
    std::memcpy(text, slot.command, sizeof text);
    host->runString(text);
    return true;
}

// bind(command text, key): a key name ("F12") or a character or its code.
int bindCommand(lua_State* L)
{
    InputBindings* bindings = InputBindings::instance;
    if (!bindings)
        return 0;
    const char* command = scriptargs::text(L, 1);
    int named = scriptargs::isNumeric(L, 2) ? -1 : namedKeyIndex(scriptargs::text(L, 2));
    if (command && command[0] && named >= 0) {
        bindings->bindNamed(command, named);
        return 0;
    }
    int code = 0;
    if (!command || !command[0] || !scriptargs::keyCode(L, 2, &code))
        return 0;
    bindings->bind(command, code);
    return 0;
}

} // namespace

InputBindings::InputBindings()
{
    host = LuaHost::instance;
    if (host)
        host->registerCommand("bind", bindCommand);
}

void InputBindings::bind(const char* command, int code)
{
    if (!command || !command[0])
        return;
    storeCommand(slots[code & 0xFF], command);
}

void InputBindings::bindNamed(const char* command, int index)
{
    if (!command || !command[0] || index < 0 || index >= kNamedKeyCount)
        return;
    storeCommand(namedSlots[index], command);
}

const char* InputBindings::boundCommand(int slot) const
{
    if (slot < 0 || slot >= kSlotCount || !slots[slot].bound)
        return nullptr;
    return slots[slot].command;
}

bool InputBindings::runBoundCommand(int character)
{
    if (character < 0 || character >= kSlotCount)
        return false;
    return runSlot(slots[character], host);
}

bool InputBindings::runNamedKeyCommand(int symbol)
{
    int index = namedKeyOfSymbol(symbol);
    return index >= 0 && runSlot(namedSlots[index], host);
}
