#pragma once

// Once the window is open: when the X server goes away, the log is written
// and the process ends at once with exit code 0. Xlib's own handler calls
// exit(), whose handlers then wait on the dead connection for ever.
void endProcessWhenDisplayLost();
