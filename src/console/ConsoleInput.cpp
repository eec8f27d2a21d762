// The console's line editor: typing, cursor moves and the history of confirmed lines.
#include "console/ConsoleInput.h"

#include "platform/SystemLog.h"

int ConsoleInput::cursorX() const
{
    // The input line is drawn byte for byte, a typed colour prefix too.
    return CONSOLE_INPUT_X + metrics.width(input.data(), static_cast<size_t>(cursorIndex));
}

void ConsoleInput::showStep()
{
    if (historyStep == 0)
        input = draft;
    else
        input = history[(historyNewest - (historyStep - 1) + kHistorySize) % kHistorySize];
    edit().end();
}

void ConsoleInput::olderLine()
{
    if (historyStep >= historyFilled)
        return;
    if (historyStep == 0)
        draft = input;
    ++historyStep;
    showStep();
}

void ConsoleInput::newerLine()
{
    if (historyStep == 0)
        return;
    --historyStep;
    showStep();
}

bool ConsoleInput::confirm(std::string& logText, std::string& luaText)
{
    if (input.empty())
        return false;
    // Kept as typed; the oldest line makes room once the ring is full.
    historyNewest = (historyNewest + 1) % kHistorySize;
    history[historyNewest] = input;
    if (historyFilled < kHistorySize)
        ++historyFilled;
    historyStep = 0;
    draft.clear();

    if (input[0] != '\x01')
        input.insert(0, LOG_WHITE);
    logText = input;

    // A line that opens a colour prefix without closing it runs nothing.
    size_t second = input.find('\x01', 1);
    luaText = second == std::string::npos ? std::string() : input.substr(second + 1);

    input.clear();
    cursorIndex = 0;
    return true;
}
