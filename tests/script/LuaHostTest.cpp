#include "script/LuaHost.h"

#include "LogProbe.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const std::string white = LOG_WHITE;
const std::string red = LOG_RED;

std::string writeScratch(const char* name, const char* body, size_t size = 0)
{
    std::FILE* f = std::fopen(name, "wb");
    std::fwrite(body, 1, size ? size : std::strlen(body), f);
    std::fclose(f);
    return name;
}

TEST(LuaHost, OpensLibrariesInOrderWithWhiteLines)
{
    LogProbe probe;
    LuaHost host;
    ASSERT_NE(host.state, nullptr);
    EXPECT_EQ(LuaHost::instance, &host);
    std::vector<std::string> lines = probe.lines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], white + "::LUA 5.02 Initilize success!");
    const char* names[] = { "base", "table", "io", "string", "math", "debug", "loadlib" };
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(lines[i + 1], white + "::LUA Opening library: " + names[i]);

    // io and loadlib are there, os is not.
    EXPECT_TRUE(host.runString("assert(io.open and type(loadlib) == 'function' and os == nil)"));
    EXPECT_EQ(probe.count(), 8u);
}

TEST(LuaHost, DestructionClearsInstance)
{
    {
        LuaHost host;
        EXPECT_EQ(LuaHost::instance, &host);
    }
    EXPECT_EQ(LuaHost::instance, nullptr);
}

TEST(LuaHost, PrintAndAlertGoToTheLog)
{
    LuaHost host;
    LogProbe probe;
    host.runString("print(42)");
    EXPECT_EQ(probe.last(), white + "42");
    host.runString("print('100% %s %n done')");
    EXPECT_EQ(probe.last(), white + "100% %s %n done");
    host.runString("print('a', 'b')");
    EXPECT_EQ(probe.last(), white + "b");
    host.runString("_ALERT('x')");
    EXPECT_EQ(probe.last(), red + "x");
    host.runString("print(1.5)");
    EXPECT_EQ(probe.last(), white + "1.5");

    // Values without a text form and empty calls log a fixed placeholder.
    size_t before = probe.count();
    host.runString("print() print(nil) print({}) _ALERT(true)");
    std::vector<std::string> lines = probe.lines();
    ASSERT_EQ(lines.size(), before + 4);
    EXPECT_EQ(lines[before], white + "(null)");
    EXPECT_EQ(lines[before + 3], red + "(null)");

    // Newlines: several lines, the prefix only on the first.
    before = probe.count();
    host.runString("print('one\\ntwo')");
    lines = probe.lines();
    ASSERT_EQ(lines.size(), before + 2);
    EXPECT_EQ(lines[before], white + "one");
    EXPECT_EQ(lines[before + 1], "two");

    // A very long text is cut by the log, never overflows.
    host.runString("print(string.rep('%', 5000))");
    EXPECT_LT(probe.last().size(), 512u);
}

TEST(LuaHost, RunStringErrorsUseTheTextAsChunkName)
{
    LuaHost host;
    LogProbe probe;
    EXPECT_FALSE(host.runString("x = = 1"));
    ASSERT_EQ(probe.count(), 1u);
    EXPECT_EQ(probe.last().rfind(red + "[string \"x = = 1\"]:1:", 0), 0u) << probe.last();

    // What ran before a run-time error stays done.
    EXPECT_FALSE(host.runString("done = 7\nnoSuchCommand()"));
    EXPECT_EQ(probe.count(), 2u);
    EXPECT_NE(probe.last().find(":2: attempt to call global 'noSuchCommand'"), std::string::npos) << probe.last();
    EXPECT_TRUE(host.runString("assert(done == 7)"));

    // Empty and null texts are harmless.
    EXPECT_TRUE(host.runString(""));
    EXPECT_TRUE(host.runString(nullptr));
    EXPECT_EQ(lua_gettop(host.state), 0);
}

TEST(LuaHost, RunFileReportsMissingAndBrokenFiles)
{
    LuaHost host;
    LogProbe probe;
    EXPECT_FALSE(host.runFile("no_such_file.lua"));
    ASSERT_EQ(probe.count(), 1u);
    EXPECT_EQ(probe.last().rfind(red, 0), 0u);
    EXPECT_EQ(probe.last().rfind(red + "cannot read no_such_file.lua", 0), 0u) << probe.last();

    writeScratch("lua_host_syntax.lua", "a = 1\nb = (\n");
    EXPECT_FALSE(host.runFile("lua_host_syntax.lua"));
    EXPECT_EQ(probe.count(), 2u);
    EXPECT_NE(probe.last().find("lua_host_syntax.lua:"), std::string::npos);
    EXPECT_TRUE(host.runString("assert(a == nil)"));

    writeScratch("lua_host_runtime.lua", "a = 1\nsetRes('1x1')\nb = 2\n");
    EXPECT_FALSE(host.runFile("lua_host_runtime.lua"));
    EXPECT_EQ(probe.count(), 3u);
    EXPECT_TRUE(host.runString("assert(a == 1 and b == nil)"));

    writeScratch("lua_host_ok.lua", "print('file ran')\nreturn 1, 2, 3\n");
    EXPECT_TRUE(host.runFile("lua_host_ok.lua"));
    EXPECT_EQ(probe.last(), white + "file ran");
    EXPECT_EQ(lua_gettop(host.state), 0);

    // Binary junk, also a truncated precompiled chunk, is a load error.
    static const char junk[] = "\x1bLua\x51\x00\x01\x04\x08\x04\x08\x00garbage";
    writeScratch("lua_host_junk.lua", junk, sizeof junk - 1);
    EXPECT_FALSE(host.runFile("lua_host_junk.lua"));
    EXPECT_FALSE(host.runFile(nullptr));
    EXPECT_FALSE(host.runFile("."));  // a folder cannot be read
    EXPECT_EQ(lua_gettop(host.state), 0);
}

TEST(LuaHost, RunawayScriptsEndInOneRedLine)
{
    LuaHost host;
    LogProbe probe;
    EXPECT_FALSE(host.runString("local function f() return 1 + f() end f()"));
    EXPECT_EQ(probe.count(), 1u);
    EXPECT_NE(probe.last().find("stack overflow"), std::string::npos) << probe.last();
    // An error value without a text form still gives one line.
    EXPECT_FALSE(host.runString("error({})"));
    EXPECT_EQ(probe.last(), red + "(null)");
    // A chunk that runs a chunk: errors stay inside the inner run.
    EXPECT_TRUE(host.runString("loadstring('x = ')"));
}

int nativeCount = 0;
int nativeA(lua_State*) { nativeCount += 1; return 0; }
int nativeB(lua_State*) { nativeCount += 10; return 0; }

TEST(LuaHost, RegisterCommandReplacesEarlierFunction)
{
    LuaHost host;
    nativeCount = 0;
    host.registerCommand("cmd", nativeA);
    host.runString("cmd()");
    host.registerCommand("cmd", nativeB);
    host.runString("cmd()");
    EXPECT_EQ(nativeCount, 11);
}

TEST(LuaHost, ReassignedAlertIsUsedAndBrokenAlertDoesNotCrash)
{
    LuaHost host;
    LogProbe probe;
    host.runString("_ALERT = function(m) print('caught: ' .. m) end");
    host.runString("error('boom', 0)");
    EXPECT_EQ(probe.last(), white + "caught: boom");

    // Not callable or itself failing: the message goes to stderr instead.
    host.runString("_ALERT = 5");
    host.runString("error('one', 0)");
    host.runString("_ALERT = function() error('inner') end");
    host.runString("error('two', 0)");
    host.runString("_ALERT = nil setmetatable(_G, {__index = function() error('meta') end})");
    host.runString("error('three', 0)");
    EXPECT_EQ(probe.last(), white + "caught: boom");
    EXPECT_EQ(lua_gettop(host.state), 0);
}

} // namespace
