// The system log: kept in memory, created on first use, written to systemlog.txt at exit.
#include "platform/SystemLog.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>

namespace {

// The log lives in static storage so that it can be created on first use from
// any constructor and re-created if something logs after its destruction.
enum LogState { LogNone, LogAlive, LogDead };
alignas(SystemLog) unsigned char logStorage[sizeof(SystemLog)];
LogState logState = LogNone;
bool logWritesFile = false;

SystemLog* logObject() { return reinterpret_cast<SystemLog*>(logStorage); }

void destroyLogAtExit()
{
    SystemLog* log = logObject();
    if (logWritesFile)
        log->writeFile();
    log->~SystemLog();
    logState = LogDead;
}

} // namespace

SystemLog& SystemLog::get()
{
    if (logState == LogAlive)
        return *logObject();
    // A log re-created after the exit-time write is never written again.
    logWritesFile = (logState == LogNone);
    new (logStorage) SystemLog();
    logState = LogAlive;
    std::atexit(destroyLogAtExit);
    return *logObject();
}

SystemLog::SystemLog()
{
    std::snprintf(fileName, sizeof fileName, "%s", "systemlog.txt");
}

SystemLog::~SystemLog()
{
    for (char* line : lines)
        std::free(line);
    lines.clear();
}

void SystemLog::write(const char* format, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0)
        buffer[0] = '\0';

    const char* start = buffer;
    for (const char* p = buffer; *p; ++p) {
        if (*p == '\n') {
            append(start, static_cast<size_t>(p - start));
            start = p + 1;
        }
    }
    append(start, std::strlen(start));
}

void SystemLog::append(const char* text, size_t length)
{
    char* line = static_cast<char*>(std::malloc(length + 1));
    std::memcpy(line, text, length);
    line[length] = '\0';
    lines.push_back(line);
    ++count;
}

void SystemLog::writeFile()
{
    std::ofstream file(fileName, std::ios::out | std::ios::trunc);
    for (char* line : lines) {
        if (file.good())
            file << line << '\n';
        std::free(line);
    }
    lines.clear();
    if (file.good())
        file.close();
}
