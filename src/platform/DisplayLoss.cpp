#include "platform/DisplayLoss.h"

#include <X11/Xlib.h>
#include <unistd.h>

#include "platform/SystemLog.h"

namespace {

int displayLost(Display*)
{
    SystemLog::get().write(LOG_RED "::OglSdl ERROR Display lost, ending the program");
    SystemLog::get().writeFile();
    // No exit handlers: each of them would talk to the dead server.
    _exit(0);
}

} // namespace

void endProcessWhenDisplayLost()
{
    XSetIOErrorHandler(displayLost);
}
