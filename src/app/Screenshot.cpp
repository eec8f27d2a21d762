// Saving the frame being finished as a numbered PNG under screenshots/.
#include "app/Screenshot.h"

#include <SDL.h>
#include <GL/gl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/SystemLog.h"
#include "resources/PngWriter.h"

std::string nextScreenshotName(const char* folder)
{
    for (int n = 0; n <= 9999; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "/shot%04d.png", n);
        std::string path = std::string(folder) + name;
        struct stat info;
        if (stat(path.c_str(), &info) != 0 && errno == ENOENT)
            return path;
    }
    return "";
}

bool saveScreenshot()
{
    SDL_Surface* surface = SDL_GetVideoSurface();
    if (!surface || surface->w <= 0 || surface->h <= 0) {
        SystemLog::get().write(LOG_RED "::Screenshot ERROR no window to read");
        return false;
    }
    if (mkdir(kScreenshotFolder, 0755) != 0 && errno != EEXIST) {
        SystemLog::get().write(LOG_RED "::Screenshot ERROR cannot make the folder %s", kScreenshotFolder);
        return false;
    }
    std::string name = nextScreenshotName(kScreenshotFolder);
    if (name.empty()) {
        SystemLog::get().write(LOG_RED "::Screenshot ERROR %s is full", kScreenshotFolder);
        return false;
    }
    int width = surface->w, height = surface->h;
    std::vector<uint8_t> pixels(size_t(width) * size_t(height) * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    if (!writePngBottomUp(name.c_str(), pixels.data(), width, height)) {
        SystemLog::get().write(LOG_RED "::Screenshot ERROR cannot write %s", name.c_str());
        return false;
    }
    SystemLog::get().write(LOG_WHITE "::Screenshot %s", name.c_str());
    return true;
}
