#pragma once
// Process, file and scratch-folder helpers for the tests that start programs.
#include <string>
#include <sys/types.h>
#include <vector>

// A fresh empty folder under the test's working directory.
std::string makeScratchDir(const std::string& stem);
void removeTree(const std::string& path);
// cp -r of a folder's content into an existing folder.
bool copyTree(const std::string& from, const std::string& to);

std::vector<std::string> readLines(const std::string& path);
bool writeFile(const std::string& path, const std::string& text);
bool fileExists(const std::string& path);

// Starts argv[0] (looked up in PATH) with the given arguments in dir (empty: current folder).
// extraEnv entries are NAME=value; "NAME=" with nothing after it unsets NAME.
pid_t startProcess(const std::vector<std::string>& argv, const std::string& dir = "",
                   const std::vector<std::string>& extraEnv = {});
// Exit code, 128 + signal when killed, -1 when it did not end in time (it is
// then killed).
int waitProcess(pid_t pid, double timeoutSeconds);
// Runs to the end; exit code as waitProcess.
int runProcess(const std::vector<std::string>& argv, double timeoutSeconds = 60.0);
// Runs and returns standard output; status gets the exit code.
std::string captureOutput(const std::vector<std::string>& argv, int* status = nullptr);

// Sends the game's window (decimal X id, as xdotool prints it) what a window
// manager's close button sends: WM_DELETE_WINDOW. False without a display
// or when the window is already gone.
bool closeWindow(const std::string& window);

// A menu widget's screen rectangle in a w x h window: the shipped menu
// source, each window centred as the menu centres it. False when no widget
// has that name. A check box's rectangle is its box.
struct ScreenRect {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    int centreX() const { return (x0 + x1) / 2; }
    int centreY() const { return (y0 + y1) / 2; }
};
bool menuWidgetRect(const std::string& name, int w, int h, ScreenRect* rect);
// The game window's size as X reports it.
bool windowSize(const std::string& window, int* w, int* h);
// Moves the pointer to (x, y) inside the window and clicks the left button.
bool clickAt(const std::string& window, int x, int y);
// clickAt the centre of a named menu widget (the window's current size).
bool clickMenu(const std::string& window, const std::string& name);
