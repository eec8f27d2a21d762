// The window and its GL context: video mode, caption, full screen and the projections.
#include "platform/OglSdl.h"

#include <SDL.h>
#include <GL/gl.h>
#include <GL/glu.h>
#include <cstdlib>
#include <cstring>
#include <malloc.h>

#include "platform/SystemLog.h"

namespace {
// SDL reads 0 as "the desktop size", and a side beyond any display (8K is
// 7680) would only make the driver allocate gigabytes of buffers, so such
// sizes count as impossible instead of being tried.
const int maxWindowSide = 8192;
bool sizeUsable(int w, int h) { return w > 0 && h > 0 && w <= maxWindowSide && h <= maxWindowSide; }

// A software GL driver takes and gives back several large blocks every frame
// (vertex uploads, binned scenes). Past glibc's default threshold each comes
// fresh from the kernel and is page-faulted in again, which cost 10k
// particles half their frame; kept in the heap they are reused.
void keepDriverMemory()
{
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
}
// Without an X display SDL falls back to drivers that draw off screen, and
// the game would run on unseen and deaf to input. Only X11 shows the window
// the GL and display-loss code work with; a driver the user names in
// SDL_VIDEODRIVER is taken as asked.
bool driverShowsWindow()
{
    char name[32] = {};
    if (!SDL_VideoDriverName(name, sizeof name))
        std::strcpy(name, "none");
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    if (asked && *asked) {
        SystemLog::get().write(LOG_WHITE "::OglSdl Video driver %s, as SDL_VIDEODRIVER asks", name);
        return true;
    }
    if (std::strcmp(name, "x11") == 0) {
        SystemLog::get().write(LOG_WHITE "::OglSdl Video driver x11");
        return true;
    }
    const char* display = std::getenv("DISPLAY");
    SystemLog::get().write(LOG_RED "::OglSdl ERROR No window can be shown: no X display at \"%s\" "
                                   "(SDL offers only the %s video driver; set SDL_VIDEODRIVER to use it)",
                           display ? display : "", name);
    return false;
}
} // namespace

OglSdl::OglSdl()
{
    if (SDL_Init(SDL_INIT_VIDEO) < 0) {
        SystemLog::get().write(LOG_RED "::OglSdl ERROR SDL_Init(%lu) failed",
                               static_cast<unsigned long>(SDL_INIT_VIDEO));
        return;
    }
    videoReady = driverShowsWindow();
    // Before any mode is set this is the display's own size.
    if (const SDL_VideoInfo* info = SDL_GetVideoInfo()) {
        displayWidth = info->current_w;
        displayHeight = info->current_h;
    }
}

bool OglSdl::createWindow(const char* caption, int w, int h, int bits, float fov)
{
    width = w;
    height = h;
    depth = bits;
    fieldOfView = static_cast<int>(fov);
    flags = SDL_OPENGL | SDL_RESIZABLE | SDL_HWPALETTE;
    if (!videoReady)
        return false;

    const SDL_VideoInfo* info = SDL_GetVideoInfo();
    if (!info) {
        SystemLog::get().write(LOG_RED "::OglSdl ERROR Failed getting Video Info");
    } else {
        if (info->hw_available)
            flags |= SDL_HWSURFACE;
        if (info->blit_hw)
            flags |= SDL_HWACCEL;
    }

    keepDriverMemory();
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, 0);

    screen = sizeUsable(w, h) ? SDL_SetVideoMode(w, h, depth, flags) : nullptr;
    if (!screen) {
        SystemLog::get().write(LOG_RED "::OglSdl ERROR SDL_SetVideoMode Faliure!");
        return false;
    }
    SDL_WM_SetCaption(caption ? caption : "", caption ? caption : "");
    resizeViewport(width, height);
    SystemLog::get().write(LOG_WHITE "::OglSdl Window created, width: %i, height: %i, depth: %i ",
                           width, height, depth);
    return true;
}

bool OglSdl::toggleFullscreen()
{
    flags ^= SDL_FULLSCREEN;
    screen = sizeUsable(width, height) ? SDL_SetVideoMode(width, height, depth, flags) : nullptr;
    // Without a context there is nothing to set a viewport on.
    if (screen)
        resizeViewport(width, height);
    else
        SystemLog::get().write(LOG_RED "::OglSdl ERROR Resizing window");
    return screen != nullptr;
}

void OglSdl::fitToDisplay(int* w, int* h) const
{
    if (displayWidth <= 0 || displayHeight <= 0 || (*w <= displayWidth && *h <= displayHeight))
        return;
    SystemLog::get().write(LOG_YELLOW "::OglSdl WARNING %ix%i is larger than the display; full screen at %ix%i",
                           *w, *h, displayWidth, displayHeight);
    *w = displayWidth;
    *h = displayHeight;
}

void OglSdl::resizeViewport(int w, int h)
{
    if (h == 0)
        h = 1;
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(fieldOfView, static_cast<double>(w) / static_cast<double>(h), 1.0, 3000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void OglSdl::beginOverlay(int left, int top, int right, int bottom)
{
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(left, right, bottom, top, 0.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
}

void OglSdl::endOverlay()
{
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glEnable(GL_DEPTH_TEST);
}

void drawTexturedQuad(float x0, float y0, float x1, float y1)
{
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f); glVertex2f(x0, y0);
    glTexCoord2f(1.0f, 0.0f); glVertex2f(x1, y0);
    glTexCoord2f(1.0f, 1.0f); glVertex2f(x1, y1);
    glTexCoord2f(0.0f, 1.0f); glVertex2f(x0, y1);
    glEnd();
}
