#pragma once
// The colour-tagged system log every part writes to.
#include <cstddef>
#include <cstdint>
#include <vector>

// Colour prefixes that head a log line; the console and the font read the
// three numbers back with "%f %f %f".
#define LOG_WHITE  "\x01 1 1 1 \x01"
#define LOG_YELLOW "\x01 1 1 0 \x01"
#define LOG_RED    "\x01 1 0 0 \x01"
#define LOG_CYAN   "\x01 0 1 1 \x01"

// Every line of the run, kept in memory for the console and written to
// systemlog.txt once, when the process ends.
class SystemLog {
public:
    // Created on first access; usable before main and during exit teardown.
    static SystemLog& get();

    // printf-style; the format carries the colour prefix. Newlines split the
    // message into lines. A message longer than 511 characters is cut.
    void write(const char* format, ...) __attribute__((format(printf, 2, 3)));

    uint32_t lineCount() const { return count; }
    size_t storedLines() const { return lines.size(); }
    const char* line(size_t index) const { return index < lines.size() ? lines[index] : ""; }

    // Writes the lines to the file and frees them (what exit does).
    void writeFile();

    SystemLog();
    ~SystemLog();
    SystemLog(const SystemLog&) = delete;
    SystemLog& operator=(const SystemLog&) = delete;

private:
    void append(const char* text, size_t length);

    uint32_t count = 0;
    char fileName[256];
    std::vector<char*> lines;
};
