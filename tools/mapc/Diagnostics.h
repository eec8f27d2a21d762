#pragma once
// The warnings and the first error of one compile.
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace mapc {

// Warnings and the first error of one compile; echoed to stderr when asked
// (the tool) or only kept (tests read them back).
class Diagnostics {
public:
    explicit Diagnostics(bool echo = true) : echo(echo) {}

    void setSource(const std::string& name) { source = name; }

    // line 0: not tied to a line of the source.
    void warn(int line, const char* format, ...) __attribute__((format(printf, 3, 4)))
    {
        va_list args;
        va_start(args, format);
        std::string text = compose(line, "warning", format, args);
        va_end(args);
        warnings.push_back(text);
        if (echo) std::fprintf(stderr, "%s\n", text.c_str());
    }

    void fail(int line, const char* format, ...) __attribute__((format(printf, 3, 4)))
    {
        va_list args;
        va_start(args, format);
        std::string text = compose(line, "error", format, args);
        va_end(args);
        if (error.empty()) {
            error = text;
            errorLine = line;
            if (echo) std::fprintf(stderr, "%s\n", text.c_str());
        }
    }

    void info(const char* format, ...) __attribute__((format(printf, 2, 3)))
    {
        if (!echo) return;
        va_list args;
        va_start(args, format);
        std::vfprintf(stdout, format, args);
        va_end(args);
        std::fputc('\n', stdout);
    }

    bool failed() const { return !error.empty(); }

    std::vector<std::string> warnings;
    std::string error;
    int errorLine = 0;

private:
    std::string compose(int line, const char* kind, const char* format, va_list args)
    {
        char body[512];
        std::vsnprintf(body, sizeof(body), format, args);
        char head[320];
        if (line > 0)
            std::snprintf(head, sizeof(head), "%s:%d: %s: ", source.c_str(), line, kind);
        else
            std::snprintf(head, sizeof(head), "%s: %s: ", source.c_str(), kind);
        return std::string(head) + body;
    }

    bool echo;
    std::string source = "map";
};

} // namespace mapc
