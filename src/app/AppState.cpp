// The plain process-wide settings and flags of the application, with their start values.
#include "app/AppState.h"

#include "world/Overbright.h"

int screenWidth = 800;
int screenHeight = 600;
bool fullscreenSetting = false;
bool quitRequested = false;
bool drawFps = false;
bool consoleOpen = false;
int consoleToggleKey = -1;
bool hudShown = true;
bool screenshotRequested = false;
float levelOverbright = kDefaultOverbright;
