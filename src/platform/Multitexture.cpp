// Fetching the ARB multitexture entry points from the driver.
#include "platform/Multitexture.h"

#include <SDL.h>

#include "platform/SystemLog.h"

namespace {
void* sdlLookup(const char* name) { return SDL_GL_GetProcAddress(name); }
} // namespace

bool fetchMultitexture(MultitextureEntryPoints& out, ProcLookup lookup)
{
    if (!lookup)
        lookup = sdlLookup;
    out.activeTexture = reinterpret_cast<ActiveTextureProc>(lookup("glActiveTextureARB"));
    out.clientActiveTexture = reinterpret_cast<ActiveTextureProc>(lookup("glClientActiveTextureARB"));
    out.ready = true;
    // Both tests always run so the log names every missing entry point.
    if (!out.activeTexture) {
        SystemLog::get().write(LOG_RED "::Renderer ERROR MultiTexture Extension glActiveTextureARB not present.");
        out.ready = false;
    }
    if (!out.clientActiveTexture) {
        SystemLog::get().write(LOG_RED "::Renderer ERROR MultiTexture Extension glClientActiveTextureARB not present.");
        out.ready = false;
    }
    return out.ready;
}
