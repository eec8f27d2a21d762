#pragma once
// The real game binary in a scratch copy of its run folder, under Xvfb,
// driven with xdotool: the fixture the binary's tests share.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "ProcessTestSupport.h"

namespace {

const char* const kWhite = "\x01 1 1 1 \x01";
const char* const kRed = "\x01 1 0 0 \x01";

void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string trim(std::string s)
{
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    return s;
}

class GameRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = makeScratchDir("game_run");
        ASSERT_TRUE(copyTree(HALVEX_GAME_DIR, dir));
        std::remove((dir + "/systemlog.txt").c_str());
        std::remove((dir + "/videoSettings.lua").c_str());
    }
    void TearDown() override
    {
        if (HasFailure())
            for (const std::string& line : log())
                std::printf("log: %s\n", line.c_str());
        if (pid > 0)
            waitProcess(pid, 0.0);
        if (!HasFailure())
            removeTree(dir);
    }

    // The probe notes every GL delete made once no context is current.
    void start(const std::string& display = "", const std::vector<std::string>& arguments = {})
    {
        std::string asan = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
        std::vector<std::string> env = { "LD_PRELOAD=" KEEP_LIBRARIES ":" GL_PROBE,
                                         "HALVEX_GL_PROBE=" + probeFile(),
                                         "ASAN_OPTIONS=" + asan + ":verify_asan_link_order=0" };
        if (!display.empty())
            env.push_back("DISPLAY=" + display);
        std::vector<std::string> argv = { dir + "/halvex" };
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        pid = startProcess(argv, dir, env);
        ASSERT_GT(pid, 0);
    }

    std::string probeFile() const { return dir + "/gl-after-context.txt"; }

    // The game's window id, once it is mapped; empty when it never came.
    std::string waitForWindow(const std::string& display = "")
    {
        for (int i = 0; i < 300; ++i) {
            int status = 0;
            std::vector<std::string> search = { "xdotool", "search", "--onlyvisible", "--name", "^Halvex v. 0.1$" };
            if (!display.empty())
                search.insert(search.begin(), { "env", "DISPLAY=" + display });
            std::string out = captureOutput(search, &status);
            if (status == 0 && !out.empty())
                return trim(out.substr(0, out.find('\n')));
            pause(100);
        }
        return "";
    }

    void keys(const std::string& window, const std::vector<std::string>& names)
    {
        std::vector<std::string> cmd = { "xdotool", "windowfocus", "--sync", window, "key", "--delay", "60" };
        cmd.insert(cmd.end(), names.begin(), names.end());
        ASSERT_EQ(runProcess(cmd), 0);
    }

    void type(const std::string& window, const std::string& text)
    {
        ASSERT_EQ(runProcess({ "xdotool", "windowfocus", "--sync", window, "type", "--delay", "40", text }), 0);
    }

    // A left click on a menu widget, by its name in the menu source.
    void click(const std::string& window, const std::string& name)
    {
        ASSERT_TRUE(clickMenu(window, name)) << name;
    }

    // Closes the window and returns the exit code. No GL call may follow
    // the end of the GL context.
    int closeAndWait(const std::string& window)
    {
        pause(300);
        EXPECT_TRUE(closeWindow(window));
        int code = waitProcess(pid, 60.0);
        pid = -1;
        for (const std::string& call : readLines(probeFile()))
            ADD_FAILURE() << call << " after the GL context was gone";
        return code;
    }

    std::vector<std::string> log() { return readLines(dir + "/systemlog.txt"); }

    int countLines(const std::string& text)
    {
        int n = 0;
        for (const std::string& line : log())
            n += line.find(text) != std::string::npos;
        return n;
    }

    std::string dir;
    pid_t pid = -1;
};

} // namespace
