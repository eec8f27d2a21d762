#pragma once
// The command line's options and their parser.
#include <string>
#include <vector>

// The command line: game data folders, a level to play at once and Lua
// lines to run after start-up.
struct StartOptions {
    std::vector<std::string> dataFolders;  // --data, in the order given
    std::string level;                     // --map; empty: the menu as usual
    std::vector<std::string> luaLines;     // --exec, in the order given
};

enum class StartParse { Run, Help, Error };

// Reads argv[1..]; Error leaves a one-line reason in *problem.
StartParse parseStartOptions(int argc, const char* const* argv, StartOptions* options, std::string* problem);

// The --help text.
const char* startOptionsHelp();
