#pragma once
// The console's display lines and font metrics, built from the log without GL.
#include <cstddef>

class SystemLog;

// Longest piece of a log line one console entry holds.
constexpr int CONSOLE_LINE_CHARS = 128;

// One displayed line: a whole log line or one piece of a wrapped one,
// without its colour prefix.
struct ConsoleLine {
    float colour[3];
    char text[CONSOLE_LINE_CHARS + 1];
};

// Pixel advance of every byte, taken once from the console's font, so that
// measuring a prefix of a text costs no string copies.
struct ConsoleMetrics {
    int advance[256] = {};

    int width(const char* text, size_t length) const;
};

// Reads the colour prefix at the head of a log line into colour and returns
// where the shown text starts. A line without a complete prefix (two 0x01
// bytes) is white and shown whole; numbers that do not parse stay white.
const char* splitColourPrefix(const char* line, float colour[3]);

// The entries the console shows: the newest shown log line and the ones
// above it, wrapped at 128 characters and at the panel width. Entry 0 is the
// lowest, just above the input line.
class ConsoleView {
public:
    ConsoleView() = default;
    ~ConsoleView();
    ConsoleView(const ConsoleView&) = delete;
    ConsoleView& operator=(const ConsoleView&) = delete;

    // Allocates the entry array once; a non-positive count shows nothing.
    void init(int maxLines, int panelWidth, const ConsoleMetrics& metrics);

    // Rebuilds the entries from the log line at scroll upwards. A view that
    // was at the newest line moves on to the log's newest line.
    void rebuild(const SystemLog& log);
    // True when the log holds lines the entries were not built from.
    bool logGrew(const SystemLog& log) const;

    // One log line per press; both rebuild unless already at the end.
    void scrollUp(const SystemLog& log);
    void scrollDown(const SystemLog& log);

    // Adds one text in a colour, wrapped; the rest of a split text takes the
    // lower entries and its beginning the ones above.
    void addText(const char* text, const float colour[3]);

    int maxLines() const { return lineCapacity; }
    int filled() const { return used; }
    int scroll() const { return scrollLine; }
    int knownLines() const { return known; }
    const ConsoleLine& entry(int i) const { return lines[i]; }

private:
    void store(const char* text, size_t length, const float colour[3]);

    ConsoleLine* lines = nullptr;
    int lineCapacity = 0;
    int used = 0;
    int scrollLine = 0;
    int known = 1;
    int panelWidth = 0;
    ConsoleMetrics metrics;
};
