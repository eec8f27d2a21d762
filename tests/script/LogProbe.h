#pragma once
#include "platform/SystemLog.h"

#include <string>
#include <vector>

// Collects the log lines written after its construction.
class LogProbe {
public:
    LogProbe() : start(SystemLog::get().storedLines()) {}

    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        SystemLog& log = SystemLog::get();
        for (size_t i = start; i < log.storedLines(); ++i)
            out.push_back(log.line(i));
        return out;
    }
    std::string last() const
    {
        std::vector<std::string> all = lines();
        return all.empty() ? std::string() : all.back();
    }
    size_t count() const { return SystemLog::get().storedLines() - start; }

private:
    size_t start;
};
