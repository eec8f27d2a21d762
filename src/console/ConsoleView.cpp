// Turning log lines into the console's coloured, wrapped display lines; plain code, no GL.
#include "console/ConsoleView.h"

#include "platform/SystemLog.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

int ConsoleMetrics::width(const char* text, size_t length) const
{
    int sum = 0;
    for (size_t i = 0; i < length; ++i)
        sum += advance[static_cast<unsigned char>(text[i])];
    return sum;
}

const char* splitColourPrefix(const char* line, float colour[3])
{
    colour[0] = colour[1] = colour[2] = 1.0f;
    if (line[0] != '\x01')
        return line;
    const char* second = std::strchr(line + 1, '\x01');
    if (!second)
        return line;

    // Only the bytes between the two markers can be the colour.
    char numbers[64];
    size_t length = static_cast<size_t>(second - (line + 1));
    if (length >= sizeof numbers)
        length = sizeof numbers - 1;
    std::memcpy(numbers, line + 1, length);
    numbers[length] = '\0';

    float read[3] = { 1.0f, 1.0f, 1.0f };
    int got = std::sscanf(numbers, "%f %f %f", &read[0], &read[1], &read[2]);
    for (int i = 0; i < 3 && i < got; ++i) {
        float c = read[i];
        if (!std::isfinite(c))
            c = 1.0f;
        colour[i] = c < 0.0f ? 0.0f : (c > 1.0f ? 1.0f : c);
    }
    return second + 1;
}

ConsoleView::~ConsoleView()
{
    delete[] lines;
}

void ConsoleView::init(int maxLines, int width, const ConsoleMetrics& m)
{
    delete[] lines;
    lines = nullptr;
    lineCapacity = maxLines > 0 ? maxLines : 0;
    if (lineCapacity > 0)
        lines = new ConsoleLine[lineCapacity];
    used = 0;
    scrollLine = 0;
    known = 1;
    panelWidth = width;
    metrics = m;
    // Measuring assumes widths only grow along a text.
    for (int& a : metrics.advance)
        if (a < 0)
            a = 0;
}

bool ConsoleView::logGrew(const SystemLog& log) const
{
    return known < 0 || log.storedLines() > static_cast<size_t>(known);
}

void ConsoleView::rebuild(const SystemLog& log)
{
    size_t stored = log.storedLines();
    int n = stored > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(stored);
    if (scrollLine == known - 1)
        scrollLine = n - 1;
    known = n;
    used = 0;

    int first = scrollLine < n - 1 ? scrollLine : n - 1;
    for (int i = first; i >= 0 && used < lineCapacity; --i) {
        float colour[3];
        const char* text = splitColourPrefix(log.line(static_cast<size_t>(i)), colour);
        addText(text, colour);
    }
}

void ConsoleView::scrollUp(const SystemLog& log)
{
    if (--scrollLine < 0) {
        scrollLine = 0;
        return;
    }
    rebuild(log);
}

void ConsoleView::scrollDown(const SystemLog& log)
{
    if (++scrollLine > known - 1) {
        scrollLine = known - 1;
        return;
    }
    rebuild(log);
}

void ConsoleView::addText(const char* text, const float colour[3])
{
    if (used >= lineCapacity)
        return;

    // Cut the text into pieces from its beginning: each at most 128
    // characters and at most the panel wide.
    std::vector<size_t> starts;
    size_t length = std::strlen(text);
    size_t pos = 0;
    bool cut = false;
    do {
        starts.push_back(pos);
        size_t remaining = length - pos;
        size_t fit = 0;  // characters whose width stays within the panel
        int sum = 0;
        while (fit < remaining) {
            sum += metrics.advance[static_cast<unsigned char>(text[pos + fit])];
            if (sum > panelWidth)
                break;
            ++fit;
        }
        size_t split = remaining;
        if (remaining > CONSOLE_LINE_CHARS)
            split = CONSOLE_LINE_CHARS;
        if (fit < remaining && (remaining <= CONSOLE_LINE_CHARS || fit < CONSOLE_LINE_CHARS))
            split = fit;
        if (split == 0 && remaining > 0) {
            // Not even one character fits: the rest of the line is dropped.
            cut = true;
            break;
        }
        pos += split;
    } while (pos < length);

    // The end of the text goes lowest, so store the pieces from the last.
    size_t end = length;
    if (cut) {
        end = pos;
        if (starts.size() > 1)
            starts.pop_back();  // a line cut at its start still shows, empty
    }
    for (size_t k = starts.size(); k-- > 0 && used < lineCapacity;) {
        store(text + starts[k], end - starts[k], colour);
        end = starts[k];
    }
}

void ConsoleView::store(const char* text, size_t length, const float colour[3])
{
    if (length > CONSOLE_LINE_CHARS)
        length = CONSOLE_LINE_CHARS;
    ConsoleLine& line = lines[used++];
    line.colour[0] = colour[0];
    line.colour[1] = colour[1];
    line.colour[2] = colour[2];
    std::memcpy(line.text, text, length);
    line.text[length] = '\0';
}
