#pragma once

// Plain process-wide settings and flags of the application.
extern int screenWidth;          // set by setRes; window size for the next start
extern int screenHeight;
extern bool fullscreenSetting;
extern bool quitRequested;       // main loop ends after the frame in progress
extern bool drawFps;             // HUD shows the frame rate
extern bool consoleOpen;         // the console takes every key press
extern int consoleToggleKey;     // character code whose press closes the open console; -1: none
extern bool hudShown;            // life, bullets, crosshair and frame rate drawn
extern float levelOverbright;    // setOverbright: light brightening of the levels loaded next
extern bool screenshotRequested; // the frame being finished is saved, then cleared
