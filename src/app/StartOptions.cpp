// Reading the command line (--data, --map, --exec, --help) and its help text.
#include "app/StartOptions.h"

#include <cstring>

const char* startOptionsHelp()
{
    return "Usage: halvex [OPTION]...\n"
           "Plays Quake-3-format levels; with no option the menu comes up.\n"
           "\n"
           "  --data FOLDER  search every .pk3 in FOLDER as game data, as gameData(FOLDER)\n"
           "                 does (may be given more than once)\n"
           "  --map LEVEL    after start-up play LEVEL (a file, or a path inside the game\n"
           "                 data, looked for as given and then under baseq3/)\n"
           "  --exec LUA     run the Lua line after start-up and after --map's level\n"
           "                 (may be given more than once; run in order)\n"
           "  --help         show this text and exit\n"
           "\n"
           "Example: halvex --data /usr/share/games/openarena/baseoa --map maps/oa_dm1.bsp\n";
}

StartParse parseStartOptions(int argc, const char* const* argv, StartOptions* options, std::string* problem)
{
    for (int i = 1; i < argc; ++i) {
        const char* option = argv[i] ? argv[i] : "";
        if (std::strcmp(option, "--help") == 0 || std::strcmp(option, "-h") == 0)
            return StartParse::Help;
        bool data = std::strcmp(option, "--data") == 0;
        bool level = std::strcmp(option, "--map") == 0;
        bool lua = std::strcmp(option, "--exec") == 0;
        if (!data && !level && !lua) {
            *problem = std::string("unknown option '") + option + "'";
            return StartParse::Error;
        }
        if (i + 1 >= argc || !argv[i + 1]) {
            *problem = std::string("option '") + option + "' needs a value";
            return StartParse::Error;
        }
        const char* value = argv[++i];
        if (data)
            options->dataFolders.push_back(value);
        else if (level)
            options->level = value;
        else
            options->luaLines.push_back(value);
    }
    return StartParse::Run;
}
