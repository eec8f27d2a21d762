#include "app/AppState.h"

int screenWidth = 800;
int screenHeight = 600;
bool fullscreenSetting = false;
bool quitRequested = false;
bool drawFps = false;
bool consoleOpen = false;
bool hudShown = true;
bool screenshotRequested = false;
