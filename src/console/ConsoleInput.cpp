// The console's line editor: typing, cursor moves and the history of confirmed lines.
#include "console/ConsoleInput.h"

#include "platform/SystemLog.h"

void ConsoleInput::updateCursorX()
{
    // The input line is drawn byte for byte, a typed colour prefix too.
    cursorPixel = CONSOLE_INPUT_X + metrics.width(input.data(), static_cast<size_t>(cursorIndex));
}

void ConsoleInput::insert(unsigned char c)
{
    // A zero byte would end the text early wherever it is used as a C string.
    if (c == 0)
        return;
    input.insert(input.begin() + cursorIndex, static_cast<char>(c));
    ++cursorIndex;
    updateCursorX();
}

void ConsoleInput::backspace()
{
    if (cursorIndex <= 0)
        return;
    input.erase(static_cast<size_t>(cursorIndex - 1), 1);
    --cursorIndex;
    updateCursorX();
}

void ConsoleInput::erase()
{
    if (static_cast<size_t>(cursorIndex) < input.size())
        input.erase(static_cast<size_t>(cursorIndex), 1);
}

void ConsoleInput::left()
{
    if (cursorIndex > 0) {
        --cursorIndex;
        updateCursorX();
    }
}

void ConsoleInput::right()
{
    if (static_cast<size_t>(cursorIndex) < input.size()) {
        ++cursorIndex;
        updateCursorX();
    }
}

void ConsoleInput::home()
{
    cursorIndex = 0;
    updateCursorX();
}

void ConsoleInput::end()
{
    cursorIndex = static_cast<int>(input.size());
    updateCursorX();
}

void ConsoleInput::showStep()
{
    if (historyStep == 0)
        input = draft;
    else
        input = history[(historyNewest - (historyStep - 1) + kHistorySize) % kHistorySize];
    end();
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
    cursorPixel = CONSOLE_INPUT_X;
    return true;
}
