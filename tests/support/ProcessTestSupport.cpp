#include "ProcessTestSupport.h"

#include "GuiSource.h"

#include <X11/Xlib.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

std::vector<char*> argPointers(const std::vector<std::string>& argv)
{
    std::vector<char*> out;
    for (const std::string& a : argv)
        out.push_back(const_cast<char*>(a.c_str()));
    out.push_back(nullptr);
    return out;
}

} // namespace

std::string makeScratchDir(const std::string& stem)
{
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd))
        return "";
    std::string path = std::string(cwd) + "/" + stem + "_" + std::to_string(getpid());
    removeTree(path);
    mkdir(path.c_str(), 0755);
    return path;
}

void removeTree(const std::string& path)
{
    if (path.size() < 2)
        return;
    runProcess({ "/bin/rm", "-rf", path });
}

bool copyTree(const std::string& from, const std::string& to)
{
    return runProcess({ "/bin/cp", "-r", from + "/.", to }) == 0;
}

std::vector<std::string> readLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

bool writeFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::trunc);
    out << text;
    return out.good();
}

bool fileExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

pid_t startProcess(const std::vector<std::string>& argv, const std::string& dir,
                   const std::vector<std::string>& extraEnv)
{
    std::vector<char*> args = argPointers(argv);
    pid_t pid = fork();
    if (pid == 0) {
        if (!dir.empty() && chdir(dir.c_str()) != 0)
            _exit(126);
        for (const std::string& e : extraEnv) {
            size_t eq = e.find('=');
            std::string name = e.substr(0, eq);
            std::string value = eq == std::string::npos ? "" : e.substr(eq + 1);
            if (value.empty())
                unsetenv(name.c_str());
            else
                setenv(name.c_str(), value.c_str(), 1);
        }
        execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

int waitProcess(pid_t pid, double timeoutSeconds)
{
    if (pid <= 0)
        return -1;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    int status = 0;
    for (;;) {
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid)
            break;
        if (r < 0 && errno != EINTR)
            return -1;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

int runProcess(const std::vector<std::string>& argv, double timeoutSeconds)
{
    return waitProcess(startProcess(argv), timeoutSeconds);
}

std::string captureOutput(const std::vector<std::string>& argv, int* status)
{
    int fds[2];
    if (pipe(fds) != 0)
        return "";
    std::vector<char*> args = argPointers(argv);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(fds[1]);
    // A tool that hangs with its output open must not hang the test: reading
    // stops at the deadline and waitProcess then kills it.
    std::string out;
    char buf[512];
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p = { fds[0], POLLIN, 0 };
        int ready = left.count() > 0 ? poll(&p, 1, static_cast<int>(left.count())) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        ssize_t n = ready > 0 ? read(fds[0], buf, sizeof buf) : 0;
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        out.append(buf, static_cast<size_t>(n));
    }
    close(fds[0]);
    int code = waitProcess(pid, 10.0);
    if (status)
        *status = code;
    return out;
}

namespace {
// Xlib's default handler ends the process; a window that is already gone
// (the game ended by itself) is a result to report, not a reason to exit.
bool xFailed = false;
int noteXError(Display*, XErrorEvent*)
{
    xFailed = true;
    return 0;
}
} // namespace

bool closeWindow(const std::string& window)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    xFailed = false;
    XErrorHandler previous = XSetErrorHandler(noteXError);
    Window id = std::strtoul(window.c_str(), nullptr, 10);
    XEvent ev = {};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = id;
    ev.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    ev.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, id, False, NoEventMask, &ev);
    XSync(display, False);
    XCloseDisplay(display);
    XSetErrorHandler(previous);
    return !xFailed;
}

bool menuWidgetRect(const std::string& name, int w, int h, ScreenRect* rect)
{
    std::ifstream in(HALVEX_SOURCE_DIR "/content/gui/menu.gui.txt");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    GuiSource source;
    if (!parseGuiSource(text, source))
        return false;
    for (const SourceWindow& win : source.windows)
        for (const SourceWidget& widget : win.widgets) {
            if (name != widget.record.name)
                continue;
            const WidgetRecord& r = widget.record;
            int left = (w - win.record.width) / 2 + r.x;
            int top = (h - win.record.height) / 2 + r.y;
            // A check box is as high as the GUI font (10) and its box square.
            bool box = r.type == gui::kTypeCheckBox;
            *rect = { left, top, left + (box ? 10 : r.width), top + (box ? 10 : r.height) };
            return true;
        }
    return false;
}

bool windowSize(const std::string& window, int* w, int* h)
{
    int status = 0;
    std::string out = captureOutput({ "xdotool", "getwindowgeometry", window }, &status);
    size_t at = out.find("Geometry: ");
    return status == 0 && at != std::string::npos && std::sscanf(out.c_str() + at, "Geometry: %dx%d", w, h) == 2;
}

bool clickAt(const std::string& window, int x, int y)
{
    if (runProcess({ "xdotool", "mousemove", "--window", window, "--sync", std::to_string(x), std::to_string(y) }) != 0)
        return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    return runProcess({ "xdotool", "click", "1" }) == 0;
}

bool clickMenu(const std::string& window, const std::string& name)
{
    int w = 0, h = 0;
    ScreenRect rect;
    if (!windowSize(window, &w, &h) || !menuWidgetRect(name, w, h, &rect))
        return false;
    bool clicked = clickAt(window, rect.centreX(), rect.centreY());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return clicked;
}
