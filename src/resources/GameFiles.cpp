// The game's one file system, made on first use and kept until exit.
#include "resources/GameFiles.h"

#include <new>

#include "platform/SystemLog.h"
#include "resources/FileSystem.h"

namespace {

void logReport(void*, bool error, const char* text)
{
    if (error)
        SystemLog::get().write(LOG_RED "::FileSystem %s", text);
    else
        SystemLog::get().write(LOG_WHITE "::FileSystem %s", text);
}

// Static storage and never destroyed, like the texture cache: an access
// during exit teardown still finds it usable.
alignas(FileSystem) unsigned char storage[sizeof(FileSystem)];
FileSystem* files = nullptr;

} // namespace

FileSystem& GameFiles::get()
{
    if (!files) {
        files = new (storage) FileSystem();
        files->setReporter(logReport, nullptr);
        files->addFolder(".");
        int archives = files->addArchives("baseq3", "baseq3");
        if (archives > 0)
            SystemLog::get().write(LOG_WHITE "::FileSystem %i archives in baseq3", archives);
    }
    return *files;
}
