#include <SDL.h>
#include <cstdlib>

#include "app/Startup.h"

// What SDL's main wrapper does on the platforms that have one: SDL up without
// its signal handlers, SDL_Quit at exit; exit code 1 only when no window could
// be shown.
int main(int argc, char* argv[])
{
    (void)argc;
    (void)argv;
    SDL_Init(SDL_INIT_NOPARACHUTE);
    std::atexit(SDL_Quit);
    std::exit(runHalvex());
}
