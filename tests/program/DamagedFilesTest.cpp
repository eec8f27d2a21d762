// The real game binary in a scratch copy of its run folder, under Xvfb, with
// damaged run-time files: the font, the textures, the level and the Lua
// files. New Game is started, the game runs a moment, the window is closed;
// the damage must be logged, and the program must end with exit code 0 and
// without a sanitizer report. ROBUST_ALL=1 in the environment runs every
// damage on its own; the suite runs them grouped.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ProcessTestSupport.h"

namespace fs = std::filesystem;

namespace {

const char* const kRed = "\x01 1 0 0 \x01";

void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// ---- damage -------------------------------------------------------------

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeAll(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void truncateTo(const std::string& path, size_t keep)
{
    std::string b = readAll(path);
    b.resize(std::min(keep, b.size()));
    writeAll(path, b);
}

std::string randomBytes(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string b(n, '\0');
    for (char& c : b) c = static_cast<char>(rng() & 0xff);
    return b;
}

void flipBits(const std::string& path, int count, unsigned seed)
{
    std::string b = readAll(path);
    std::mt19937 rng(seed);
    for (int i = 0; i < count && !b.empty(); ++i) b[rng() % b.size()] ^= static_cast<char>(1 << (rng() % 8));
    writeAll(path, b);
}

// Bit flips inside one lump only (14: the lightmaps), which damage the
// picture but never the level's structure, so the level still loads.
void flipLumpBits(const std::string& path, int lump, int count, unsigned seed)
{
    std::string b = readAll(path);
    uint32_t offset = 0, length = 0;
    size_t entry = 8 + static_cast<size_t>(lump) * 8;
    if (b.size() < entry + 8) return;
    std::memcpy(&offset, b.data() + entry, 4);
    std::memcpy(&length, b.data() + entry + 4, 4);
    if (length == 0 || offset >= b.size() || length > b.size() - offset) return;
    std::mt19937 rng(seed);
    for (int i = 0; i < count; ++i) b[offset + rng() % length] ^= static_cast<char>(1 << (rng() % 8));
    writeAll(path, b);
}

std::vector<std::string> textures(const std::string& dir)
{
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(dir + "/baseq3/textures"))
        if (e.is_regular_file() && e.path().extension() == ".tga") out.push_back(e.path().string());
    return out;
}

// Random bytes over part of the level's entity text, its length kept.
void damageEntityText(const std::string& dir, unsigned seed)
{
    std::string path = dir + "/baseq3/maps/test.bsp";
    std::string b = readAll(path);
    if (b.size() < 16) return;
    uint32_t offset = 0, length = 0;
    std::memcpy(&offset, b.data() + 8, 4);
    std::memcpy(&length, b.data() + 12, 4);
    if (offset >= b.size() || length > b.size() - offset) return;
    std::mt19937 rng(seed);
    for (uint32_t i = 0; i < length / 8; ++i) {
        char c = "{}\"\n \\/0123456789-.eE"[rng() % 21];
        b[offset + rng() % length] = (rng() % 4 == 0) ? static_cast<char>(rng() & 0xff) : c;
    }
    writeAll(path, b);
}

// The shipped level recompiled with hostile entities added: out-of-range,
// infinite and NaN numbers in every key the game reads.
void hostileEntities(const std::string& dir)
{
    std::string source = readAll(HALVEX_SOURCE_DIR "/content/maps/test.map");
    const char* keys[] = {"\"num_particles\" \"2147483647\"", "\"num_particles\" \"-5\"",
                          "\"max_velocity\" \"2147483647\"", "\"min_velocity\" \"-2147483648\"",
                          "\"spread\" \"1e30\"", "\"axis\" \"0 0 0\"", "\"color\" \"nan nan nan\"",
                          "\"gravity\" \"1e38 1e38 1e38\"", "\"move_system\" \"1\"",
                          "\"sys_accel\" \"inf 0 0\"", "\"sys_velocity\" \"nan 0 0\"",
                          "\"max_life_fade\" \"1e-30\"", "\"min_life_fade\" \"-1e30\"",
                          "\"txt_width\" \"nan\"", "\"txt_height\" \"-1e30\"",
                          "\"texture\" \"../../../../etc/passwd\"", "\"radius\" \"1e30\"",
                          "\"speed\" \"1e30\"", "\"radius\" \"-5\"", "\"speed\" \"-1e30\"",
                          "\"radius\" \"0\"", "\"speed\" \"nan\""};
    const char* origins[] = {"300 300 100", "65535 65535 65535", "-65535 0 0", "nan nan nan", "1e999 0 0",
                             "300 300"};
    std::mt19937 rng(5);
    for (int i = 0; i < 30; ++i) {
        source += "{\n\"classname\" \"";
        source += (i % 2) ? "enemy" : "particle_fountain";
        source += "\"\n\"origin\" \"" + std::string(origins[rng() % std::size(origins)]) + "\"\n";
        for (int k = 0; k < 6; ++k) source += std::string(keys[rng() % std::size(keys)]) + "\n";
        source += "}\n";
    }
    source += "{\n\"classname\" \"info_player_start\"\n\"origin\" \"inf 0 0\"\n}\n";
    writeAll(dir + "/hostile.map", source);
    runProcess({MAPC_TOOL, dir + "/hostile.map", dir + "/baseq3/maps/test.bsp"});
}

// Every other texture cut short, the rest claiming 65535 x 65535 pixels.
void damageTextures(const std::string& dir)
{
    int i = 0;
    for (const std::string& t : textures(dir)) {
        if (i++ % 2 == 0) {
            truncateTo(t, 30);
        } else {
            std::string b = readAll(t);
            if (b.size() >= 18) b[12] = b[13] = b[14] = b[15] = '\xff';
            writeAll(t, b);
        }
    }
}

// Non-tail recursion (Lua's stack), recursion through a metamethod (the C
// stack) and a parser nested past its limit; the last one is unprotected.
std::string deepLua()
{
    return "print(pcall(function() local t = setmetatable({}, {__index = function(t, k) return t[k] end})"
           " return t.x end))\n"
           "print(pcall(loadstring, 'return ' .. string.rep('(', 100000) .. '1' .. string.rep(')', 100000)))\n"
           "local function f(n) return 1 + f(n + 1) end\n"
           "f(1)\n";
}

// A 10 MB resolution text, a 10 MB log line (shown in the console later) and a
// 1 MB command text bound to a key.
void longLines(const std::string& d)
{
    writeAll(d + "/videoSettings.lua", "setRes(\"" + std::string(10 << 20, 'q') + "\")\nsetRes(\"640x480\")\n");
    writeAll(d + "/input.lua", "print(\"" + std::string(10 << 20, 'w') + "\")\n" +
                                   "bind(\"" + std::string(1 << 20, '7') + "\", \"k\")\n");
}

struct Damage {
    const char* name;
    std::function<void(const std::string&)> apply;
    std::vector<std::string> expected;  // each must appear in the log
    bool fontBroken = false;            // the loop is skipped: the program ends by itself
    std::vector<std::string> keys{};  // pressed after New Game
};

std::vector<Damage> singleDamages()
{
    return {
        {"font cut", [](const std::string& d) { truncateTo(d + "/faktos.ttf", 1000); },
         {std::string(kRed) + "::Font ERROR"}, true},
        {"font random", [](const std::string& d) { writeAll(d + "/faktos.ttf", randomBytes(60000, 1)); },
         {std::string(kRed) + "::Font ERROR"}, true},
        {"font empty", [](const std::string& d) { writeAll(d + "/faktos.ttf", ""); },
         {std::string(kRed) + "::Font ERROR"}, true},
        {"textures cut", [](const std::string& d) { for (auto& t : textures(d)) truncateTo(t, 40); },
         {"::TextureManager"}},
        {"textures huge", damageTextures, {"::TextureManager"}},
        {"textures random", [](const std::string& d) {
             unsigned s = 7;
             for (auto& t : textures(d)) writeAll(t, randomBytes(5000, s++));
         }, {"::TextureManager"}},
        {"level cut", [](const std::string& d) { truncateTo(d + "/baseq3/maps/test.bsp", 50000); },
         {std::string(kRed) + "::BspLoader ERROR"}},
        {"level flips 1", [](const std::string& d) { flipBits(d + "/baseq3/maps/test.bsp", 40, 1); }, {}},
        {"level flips 2", [](const std::string& d) { flipBits(d + "/baseq3/maps/test.bsp", 400, 2); }, {}},
        {"level header flips", [](const std::string& d) {
             std::string p = d + "/baseq3/maps/test.bsp";
             std::string b = readAll(p);
             std::mt19937 rng(3);
             for (int i = 0; i < 6; ++i) b[8 + rng() % 136] ^= static_cast<char>(1 << (rng() % 8));
             writeAll(p, b);
         }, {}},
        {"entity text junk", [](const std::string& d) { damageEntityText(d, 21); }, {}},
        {"entity text junk 2", [](const std::string& d) { damageEntityText(d, 22); }, {}},
        {"level flips 3", [](const std::string& d) { flipBits(d + "/baseq3/maps/test.bsp", 4000, 4); }, {}},
        {"hostile entities", hostileEntities, {"Player start with a bad origin"}, false,
         {"w", "space", "w"}},
        {"lua junk", [](const std::string& d) {
             writeAll(d + "/settings.lua", randomBytes(4000, 11));
             writeAll(d + "/input.lua", std::string("\x1bLua\x51") + randomBytes(300, 12));
         }, {std::string(kRed)}},
        {"lua long lines", longLines, {"unexpected symbol"}, false, {"k", "grave"}},
        {"lua deep",
         [](const std::string& d) { writeAll(d + "/settings.lua", readAll(d + "/settings.lua") + deepLua()); },
         {"stack overflow"}},
    };
}

// The suite's grouping: the font alone (it ends start-up), the damage that
// lets the level load at once, a cut level, hostile entities.
std::vector<Damage> groupedDamages()
{
    return {
        {"font random", [](const std::string& d) { writeAll(d + "/faktos.ttf", randomBytes(60000, 1)); },
         {std::string(kRed) + "::Font ERROR"}, true},
        {"textures, level, entity text, Lua", [](const std::string& d) {
             damageTextures(d);
             flipLumpBits(d + "/baseq3/maps/test.bsp", 14, 40, 1);
             damageEntityText(d, 21);
             longLines(d);
             writeAll(d + "/settings.lua", readAll(d + "/settings.lua") + deepLua());
         }, {"::TextureManager", "::EntitieParser", "wwwwwwww", "stack overflow"}, false,
         {"k", "grave"}},
        {"level cut", [](const std::string& d) { truncateTo(d + "/baseq3/maps/test.bsp", 50000); },
         {std::string(kRed) + "::BspLoader ERROR"}},
        {"hostile entities", hostileEntities, {"Player start with a bad origin"}, false,
         {"w", "space", "w"}},
    };
}

// ---- running the game ---------------------------------------------------

// The game's window id once it is mapped; empty when it never came or the
// program ended first. A sanitized start on a loaded machine can be slow.
std::string waitForWindow(pid_t pid, int& exitCode)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        std::string out = captureOutput({"xdotool", "search", "--onlyvisible", "--name", "^Halvex v. 0.1$"}, &status);
        if (status == 0 && !out.empty()) return out.substr(0, out.find('\n'));
        int status2 = 0;
        if (waitpid(pid, &status2, WNOHANG) == pid) {
            exitCode = WIFEXITED(status2) ? WEXITSTATUS(status2) : 128 + WTERMSIG(status2);
            return "";
        }
        pause(100);
    }
    return "";
}

// Each step with the seconds since the case began, flushed at once: when a
// slow machine runs the test out of time, its output shows where it waited.
void step(const Damage& damage, std::chrono::steady_clock::time_point start, const char* what)
{
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %.1f s %s\n", damage.name, s, what);
    std::fflush(stdout);
}

void runDamaged(const Damage& damage, int index)
{
    SCOPED_TRACE(damage.name);
    const auto start = std::chrono::steady_clock::now();
    std::string dir = makeScratchDir("robust_game" + std::to_string(index));
    const int failures = ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
    ASSERT_TRUE(copyTree(HALVEX_GAME_DIR, dir));
    std::remove((dir + "/systemlog.txt").c_str());
    std::remove((dir + "/videoSettings.lua").c_str());
    damage.apply(dir);

    std::string asan = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
    pid_t pid = startProcess({dir + "/halvex"}, dir,
                             {"LD_PRELOAD=" KEEP_LIBRARIES, "ASAN_OPTIONS=" + asan + ":verify_asan_link_order=0"});
    ASSERT_GT(pid, 0);
    step(damage, start, "started");
    int code = -2;
    // A broken font ends start-up; its window may flash up and go, so
    // nothing is sent to it.
    std::string window = damage.fontBroken ? "" : waitForWindow(pid, code);
    if (!window.empty()) {
        step(damage, start, "window up");
        clickMenu(window, "btn_newGame");
        std::vector<std::string> cmd{"xdotool", "windowfocus", "--sync", window, "key", "--delay", "300"};
        cmd.insert(cmd.end(), damage.keys.begin(), damage.keys.end());
        if (!damage.keys.empty())
            runProcess(cmd, 30.0);
        pause(1500);
        step(damage, start, "closing");
        closeWindow(window);
        code = waitProcess(pid, 60.0);
    } else if (code == -2) {
        code = waitProcess(pid, 60.0);
        EXPECT_TRUE(damage.fontBroken) << "the window never came";
    }
    step(damage, start, "ended");
    EXPECT_EQ(code, 0) << "the game crashed, hung or reported a sanitizer error";

    std::vector<std::string> lines = readLines(dir + "/systemlog.txt");
    EXPECT_FALSE(lines.empty()) << "no systemlog.txt";
    for (const std::string& text : damage.expected) {
        bool found = false;
        for (const std::string& l : lines) found = found || l.find(text) != std::string::npos;
        EXPECT_TRUE(found) << "no log line with '" << text << "'";
    }
    // The first few complaints, to see what the damage looked like.
    int shown = 0;
    for (const std::string& l : lines)
        if ((l.find(kRed) == 0 || l.find("\x01 1 1 0 \x01") == 0) && shown++ < 12) std::printf("%s: %.160s\n", damage.name, l.c_str() + 9);
    if (failures != ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count()) {
        for (const std::string& l : lines) std::printf("log: %.300s\n", l.c_str());
    } else {
        removeTree(dir);
    }
}

} // namespace

TEST(DamagedFiles, GameLogsTheDamageAndExitsZero)
{
    const char* all = std::getenv("ROBUST_ALL");
    std::vector<Damage> damages = (all && *all == '1') ? singleDamages() : groupedDamages();
    for (size_t i = 0; i < damages.size(); ++i) runDamaged(damages[i], static_cast<int>(i));
}
