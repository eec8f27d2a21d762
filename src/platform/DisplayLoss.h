#pragma once
// What happens when the X server goes away or the video driver faults.
#include <signal.h>

// When the X server goes away, the log is written and the process ends at
// once: with exit code 1 before the window shows, with 0 once it has shown. Xlib's own handler calls exit(), whose handlers then
// wait on the dead connection for ever.
void endProcessWhenDisplayLost(bool windowShown);

// While it lives, a fault inside the video driver ends the process with a
// red line, the log and exit code 1: Mesa's GLX can fault in the mode set
// when the X server goes away under it. The handlers before are restored.
class DriverFaultGuard {
public:
    DriverFaultGuard();
    ~DriverFaultGuard();
    DriverFaultGuard(const DriverFaultGuard&) = delete;
    DriverFaultGuard& operator=(const DriverFaultGuard&) = delete;

private:
    struct sigaction previousSegv = {};
    struct sigaction previousBus = {};
};
