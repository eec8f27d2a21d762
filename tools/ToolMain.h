#pragma once
// Every tool's entry: a hostile input that still outgrows memory ends the
// tool with a word and exit status 1 instead of an abort.
#include <cstdio>
#include <new>

inline int runReportingOutOfMemory(const char* tool, int (*run)(int, char**), int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "%s: out of memory\n", tool);
        return 1;
    }
}
