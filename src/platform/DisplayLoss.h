#pragma once

// When the X server goes away, the log is written and the process ends at
// once: with exit code 1 while starting up (no window was ever usable), with
// 0 once the game runs. Xlib's own handler calls exit(), whose handlers then
// wait on the dead connection for ever.
void endProcessWhenDisplayLost(bool running);
