// halvex-guic on the shipped menu source and on copies with one fault each:
// every fault is refused with its source line and a non-zero exit, and no
// output file is left behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const char* const kSource = HALVEX_SOURCE_DIR "/content/gui/menu.gui.txt";

std::vector<std::string> sourceLines()
{
    std::ifstream in(kSource);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

// 1-based number of the first line that starts with prefix.
int lineOf(const std::vector<std::string>& lines, const std::string& prefix)
{
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].rfind(prefix, 0) == 0)
            return static_cast<int>(i) + 1;
    return 0;
}

struct ToolRun {
    int code = -1;
    std::string output;  // standard error and output
};

ToolRun compile(const std::vector<std::string>& lines, const std::string& out)
{
    std::string in = "guic_source_" + std::to_string(getpid()) + ".txt";
    std::ofstream file(in);
    for (const std::string& l : lines)
        file << l << "\n";
    file.close();
    ToolRun run;
    std::FILE* pipe = popen((std::string(GUIC_TOOL) + " " + in + " " + out + " 2>&1").c_str(), "r");
    char buffer[512];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe))
        run.output += buffer;
    int status = pipe ? pclose(pipe) : -1;
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::remove(in.c_str());
    return run;
}

TEST(Guic, ShippedSourceCompilesAndEachFaultIsRefusedAtItsLine)
{
    const std::vector<std::string> shipped = sourceLines();
    ASSERT_GT(shipped.size(), 20u);
    std::string out = "guic_out_" + std::to_string(getpid()) + ".gui";

    ToolRun good = compile(shipped, out);
    EXPECT_EQ(good.code, 0) << good.output;
    std::ifstream bytes(out, std::ios::binary);
    unsigned char count[4] = {};
    bytes.read(reinterpret_cast<char*>(count), 4);
    EXPECT_EQ(count[0], 5);  // the five screens
    bytes.close();
    std::remove(out.c_str());

    const int quit = lineOf(shipped, "button btn_quit");
    const int mainWindow = lineOf(shipped, "window main");
    const int video = lineOf(shipped, "window settingsVideo");
    const std::string name64(64, 'n');
    struct Fault {
        const char* what;
        int line;           // replaced (0: appended)
        std::string text;   // the new line (or two); empty removes it
        int reported;       // the line the message must name
        const char* words;  // part of the message
    };
    const std::vector<Fault> faults = {
        { "unknown kind", quit, "slider btn_quit 180 284 200 32", quit, "unknown widget kind 'slider'" },
        { "missing button", quit, "", mainWindow, "no button 'btn_quit'" },
        { "wrong kind", quit, "label btn_quit 180 284 200 32 \"Quit\"\ncolours 1 1 1", quit, "must be a button" },
        { "long name", quit, "button " + name64 + " 180 284 200 32", quit, "64 bytes" },
        { "long title", mainWindow + 1, "title \"" + name64 + "\"", mainWindow + 1, "64 bytes" },
        { "blank before comma", quit + 1, "colours .1 .1 .1 1 , .2 .2 .2 1, 1 1 1 1, 1 1 1", quit + 1,
          "does not match" },
        { "too few numbers", quit + 1, "colours .1 .1 .1 1, .2 .2 .2 1, 1 1 1 1, 1 1", quit + 1, "does not match" },
        { "above one", quit + 1, "colours 2 .1 .1 1, .2 .2 .2 1, 1 1 1 1, 1 1 1", quit + 1, "does not match" },
        { "missing window", video, "window settingsVide0 0 0 560 440 fixed", 0, "no window 'settingsVideo'" },
        { "outside the body", quit, "button btn_quit 500 284 200 32 \"Quit\"", quit, "outside" },
    };
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.what);
        std::vector<std::string> lines = shipped;
        if (f.text.empty())
            lines.erase(lines.begin() + (f.line - 1));
        else if (f.text.find('\n') == std::string::npos)
            lines[f.line - 1] = f.text;
        else {
            lines[f.line - 1] = f.text.substr(0, f.text.find('\n'));
            lines[f.line] = f.text.substr(f.text.find('\n') + 1);
        }
        ToolRun run = compile(lines, out);
        EXPECT_NE(run.code, 0);
        int reported = f.reported ? f.reported : static_cast<int>(lines.size());
        EXPECT_NE(run.output.find(".txt:" + std::to_string(reported) + ": "), std::string::npos) << run.output;
        EXPECT_NE(run.output.find(f.words), std::string::npos) << run.output;
        EXPECT_NE(access(out.c_str(), F_OK), 0);
    }
}

} // namespace
