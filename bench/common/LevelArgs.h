#pragma once
// The level benchmarks' command line: [folder] [level...], the suite's
// unpacked OpenArena levels and a default list when left out.
#include <string>
#include <vector>

struct LevelArgs {
    std::string folder;
    std::vector<std::string> names;
};

inline LevelArgs levelArgs(int argc, char** argv, const char* defaultFolder, std::vector<std::string> defaults)
{
    LevelArgs args{argc > 1 ? argv[1] : defaultFolder, {}};
    for (int i = 2; i < argc; i++)
        args.names.push_back(argv[i]);
    if (args.names.empty())
        args.names = std::move(defaults);
    return args;
}
