// The program's entry: reads the command line, brings SDL up and runs the game.
#include <SDL.h>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/StartOptions.h"
#include "app/Startup.h"

// The command line first (help: exit 0; a bad option: exit 2). Then what
// SDL's main wrapper does on the platforms that have one: SDL up without its
// signal handlers, SDL_Quit at exit; exit code 1 only when no window could be
// shown.
int main(int argc, char* argv[])
{
    StartOptions options;
    std::string problem;
    switch (parseStartOptions(argc, argv, &options, &problem)) {
    case StartParse::Help:
        std::fputs(startOptionsHelp(), stdout);
        return 0;
    case StartParse::Error:
        std::fprintf(stderr, "halvex: %s\nTry 'halvex --help' for the options.\n", problem.c_str());
        return 2;
    case StartParse::Run:
        break;
    }
    SDL_Init(SDL_INIT_NOPARACHUTE);
    std::atexit(SDL_Quit);
    std::exit(runHalvex(options));
}
