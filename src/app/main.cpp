#include <SDL.h>
#include <cstdlib>

#include "app/Startup.h"

// What SDL's main wrapper does on the platforms that have one: SDL up without
// its signal handlers, SDL_Quit at exit, and exit code 0 whatever happened.
int main(int argc, char* argv[])
{
    (void)argc;
    (void)argv;
    SDL_Init(SDL_INIT_NOPARACHUTE);
    std::atexit(SDL_Quit);
    runHalvex();
    std::exit(0);
}
