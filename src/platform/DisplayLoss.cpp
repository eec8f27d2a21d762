// Ending the process cleanly when the X server goes away or the driver faults.
#include "platform/DisplayLoss.h"

#include <X11/Xlib.h>
#include <unistd.h>

#include "platform/SystemLog.h"

namespace {

int displayLostStarting(Display*)
{
    SystemLog::get().write(LOG_RED "::OglSdl ERROR Display lost during start-up, ending the program");
    SystemLog::get().writeFile();
    // No exit handlers: each of them would talk to the dead server.
    _exit(1);
}

int displayLost(Display*)
{
    SystemLog::get().write(LOG_RED "::OglSdl ERROR Display lost, ending the program");
    SystemLog::get().writeFile();
    _exit(0);
}

void driverFault(int)
{
    SystemLog::get().write(LOG_RED "::OglSdl ERROR The video driver failed while making the window "
                                   "(display lost?), ending the program");
    SystemLog::get().writeFile();
    _exit(1);
}

} // namespace

void endProcessWhenDisplayLost(bool windowShown)
{
    // A write to the dead server's socket must fail back into Xlib, which
    // then calls the handler below; SIGPIPE would end the game without its log.
    signal(SIGPIPE, SIG_IGN);
    XSetIOErrorHandler(windowShown ? displayLost : displayLostStarting);
}

DriverFaultGuard::DriverFaultGuard()
{
    struct sigaction fault = {};
    fault.sa_handler = driverFault;
    sigemptyset(&fault.sa_mask);
    sigaction(SIGSEGV, &fault, &previousSegv);
    sigaction(SIGBUS, &fault, &previousBus);
}

DriverFaultGuard::~DriverFaultGuard()
{
    sigaction(SIGSEGV, &previousSegv, nullptr);
    sigaction(SIGBUS, &previousBus, nullptr);
}
