#pragma once
// The screenshot() picture: next free file name and saving the back buffer.
#include <string>

// screenshot(): the frame being finished is saved as a PNG under
// "screenshots/" in the game folder (the working folder), next free number.

// Folder the pictures go to, relative to the working folder.
constexpr const char* kScreenshotFolder = "screenshots";

// The first name "FOLDER/shotNNNN.png" (0000 to 9999) no file has; empty
// when all are taken.
std::string nextScreenshotName(const char* folder);

// Reads the back buffer (the frame about to be swapped in) at the window's
// size and writes it to the next free name; logs the name in white, or a
// red line saying why not.
bool saveScreenshot();
