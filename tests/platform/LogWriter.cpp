// Helper process for the log tests: logs a few lines from inside a chosen
// working directory and then ends in the way the test asks for.
//   platform_log_writer <dir> exit    normal exit: the log writes its file
//   platform_log_writer <dir> abort   crash: nothing may be written
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "platform/SystemLog.h"

namespace {
// Constructed before the log and so destroyed after it: its line lands in a
// re-created log that must never reach the file.
struct LateLogger {
    ~LateLogger() { SystemLog::get().write(LOG_RED "::Test after the log was destroyed"); }
} lateLogger;

// Constructed after the log: its line must still reach the file.
struct EarlyLogger {
    EarlyLogger() { SystemLog::get().write(LOG_WHITE "::Test first line"); }
    ~EarlyLogger() { SystemLog::get().write(LOG_WHITE "::Test logged by a destructor"); }
} earlyLogger;
} // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || chdir(argv[1]) != 0)
        return 2;
    SystemLog::get().write(LOG_YELLOW "::Test two\nlines");
    SystemLog::get().write("%s", "100% plain");
    if (std::strcmp(argv[2], "abort") == 0)
        std::abort();
    return 0;
}
