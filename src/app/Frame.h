#pragma once

// One pass of the main loop after the events: clear, tick the frame timer,
// draw the menu in the overlay or run the game, save a requested
// screenshot, swap buffers.
void runFrame();
