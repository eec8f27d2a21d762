// Damaged brush sources: byte flips, cuts, doubled or missing braces and
// parentheses, wild numbers, degenerate planes, very many sides and very long
// tokens. Every case runs in a child process with a time limit and must end
// in either a level the game's reader and validation accept, or an error that
// names a line; a crash, a sanitizer report or a hang fails the case, and the
// source is kept as mapc_fuzz_fail_<n>.map for replay.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "MapParser.h"
#include "MapcTestSupport.h"
#include "resources/FileSystem.h"
#include <sys/resource.h>
#include <sys/stat.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#ifndef MAPC_FUZZ_ROUNDS
#define MAPC_FUZZ_ROUNDS 220
#endif
#ifndef MAPC_FUZZ_SHIPPED_ROUNDS
#define MAPC_FUZZ_SHIPPED_ROUNDS 24
#endif

using namespace mapctest;

namespace {

// A compile of these small sources ends in seconds; the limit leaves room for
// the sanitizers on a busy machine and still catches a hang.
constexpr int kCaseSeconds = 60;

enum Outcome : int { Valid = 0, ErrorWithLine = 1, Rejected = 2, ErrorWithoutLine = 3 };

struct Report {
    int outcome = -1;
    int line = 0;
    char text[400] = "";
    char warnings[1200] = "";  // the compile's warnings, one a line (cut short)
    int darkFaces = 0;         // lightmapped faces whose whole block is black
    int brokenVertices = 0;    // vertices with a number that is not finite
};

// The child's half: compile, write, read back with the game's reader.
Report compileAndRead(const std::string& source, const std::string& bspPath, const std::string& folder)
{
    Report r;
    mapc::Diagnostics diag(false);
    mapc::CompileStats stats;
    mapc::LevelLumps lumps;
    FileSystem files;
    files.setReporter([](void*, bool, const char*) {}, nullptr);
    mapc::CompileOptions options;
    options.visSeconds = 5;  // robustness, not sight: keep each case well inside its limit
    if (!folder.empty()) {
        files.addFolder(folder.c_str());
        options.files = &files;
    }
    const bool compiled = mapc::compileMapText(source, lumps, diag, &stats, options);
    std::string warnings;
    for (const std::string& w : diag.warnings) warnings += w + "\n";
    std::snprintf(r.warnings, sizeof(r.warnings), "%s", warnings.c_str());
    if (!compiled) {
        r.outcome = (diag.errorLine > 0 && !diag.error.empty()) ? ErrorWithLine : ErrorWithoutLine;
        r.line = diag.errorLine;
        std::snprintf(r.text, sizeof(r.text), "%s", diag.error.c_str());
        return r;
    }
    for (const bsp::BspVertex& v : lumps.vertices) {
        bool finite = true;
        for (float x : {v.position[0], v.position[1], v.position[2], v.texCoord[0], v.texCoord[1], v.lightmapCoord[0],
                        v.lightmapCoord[1], v.normal[0], v.normal[1], v.normal[2]})
            finite = finite && std::isfinite(x);
        r.brokenVertices += !finite;
    }
    // A luxel whose sum went "nan" is stored black.
    for (const bsp::BspFace& f : lumps.faces) {
        if (f.lightmap < 0) continue;
        bool lit = false;
        for (int j = 0; j < f.lightmapSize[1] && !lit; ++j)
            for (int i = 0; i < f.lightmapSize[0] * 3 && !lit; ++i)
                lit = lumps.lightmaps[static_cast<size_t>(f.lightmap) * bsp::kLightmapBytes +
                                      (static_cast<size_t>(f.lightmapCorner[1] + j) * bsp::kLightmapSize +
                                       static_cast<size_t>(f.lightmapCorner[0])) * 3 + static_cast<size_t>(i)] != 0;
        if (lit) continue;
        ++r.darkFaces;
        const size_t used = std::strlen(r.text);
        std::snprintf(r.text + used, sizeof(r.text) - used, "%s ", lumps.textures[static_cast<size_t>(f.texture)].name);
    }
    if (!mapc::writeLevel(bspPath.c_str(), lumps)) {
        r.outcome = Rejected;
        std::snprintf(r.text, sizeof(r.text), "cannot write %s", bspPath.c_str());
        return r;
    }
    BspData data;
    char problem[256] = "";
    if (readBspFile(bspPath.c_str(), data, problem, sizeof(problem)) != BspReadError::None ||
        !validateLevel(data, problem, sizeof(problem))) {
        r.outcome = Rejected;
        std::snprintf(r.text, sizeof(r.text), "game refuses the level: %s", problem);
        return r;
    }
    r.outcome = Valid;
    return r;
}

// Runs one case in a child; false with the reason when it crashed, hung,
// tripped a sanitizer or broke the rule above.
// `folder`: the search path (models), none when empty; `peakMb`: the
// child's peak memory.
bool runCase(const std::string& source, int id, std::string& why, Report& report, const std::string& folder = "",
             double* peakMb = nullptr)
{
    std::string bspPath = "mapc_fuzz_" + std::to_string(getpid()) + ".bsp";
    int fds[2];
    if (pipe(fds) != 0) { why = "pipe failed"; return false; }
    std::fflush(nullptr);
    pid_t child = fork();
    if (child < 0) { why = "fork failed"; return false; }
    if (child == 0) {
        close(fds[0]);
        Report r = compileAndRead(source, bspPath, folder);
        std::remove(bspPath.c_str());
#if defined(__SANITIZE_ADDRESS__)
        __lsan_do_leak_check();
#endif
        ssize_t put = write(fds[1], &r, sizeof(r));
        _exit(put == static_cast<ssize_t>(sizeof(r)) ? 0 : 3);
    }
    close(fds[1]);
    auto start = std::chrono::steady_clock::now();
    Report r;
    size_t got = 0;
    bool timedOut = false;
    while (got < sizeof(r)) {
        pollfd p{fds[0], POLLIN, 0};
        int left = kCaseSeconds * 1000 -
                   static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now() - start).count());
        if (left <= 0 || poll(&p, 1, left) == 0) { timedOut = true; break; }
        ssize_t n = read(fds[0], reinterpret_cast<char*>(&r) + got, sizeof(r) - got);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    close(fds[0]);
    if (timedOut) kill(child, SIGKILL);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (peakMb) *peakMb = usage.ru_maxrss / 1024.0;
    std::remove(bspPath.c_str());
    report = r;

    char buf[600];
    if (timedOut)
        std::snprintf(buf, sizeof(buf), "no answer within %d s", kCaseSeconds);
    else if (WIFSIGNALED(status))
        std::snprintf(buf, sizeof(buf), "killed by signal %d", WTERMSIG(status));
    else if (WEXITSTATUS(status) != 0 || got != sizeof(r))
        std::snprintf(buf, sizeof(buf), "exit status %d (sanitizer report or leak above)", WEXITSTATUS(status));
    else if (r.outcome == Rejected || r.outcome == ErrorWithoutLine)
        std::snprintf(buf, sizeof(buf), "%s: %s",
                      r.outcome == Rejected ? "compiled but" : "error without a line", r.text);
    else
        return true;
    why = buf;
    std::ofstream("mapc_fuzz_fail_" + std::to_string(id) + ".map", std::ios::binary) << source;
    return false;
}

// ---- mutations ----------------------------------------------------------

using Rng = std::mt19937;
using mapc::Vec3;

size_t pick(Rng& rng, size_t n) { return n ? rng() % n : 0; }

std::vector<size_t> positionsOf(const std::string& s, const char* chars)
{
    std::vector<size_t> at;
    for (size_t i = 0; i < s.size(); ++i)
        if (std::strchr(chars, s[i])) at.push_back(i);
    return at;
}

// Start and length of every number-looking word.
std::vector<std::pair<size_t, size_t>> numbersOf(const std::string& s)
{
    std::vector<std::pair<size_t, size_t>> at;
    for (size_t i = 0; i < s.size();) {
        bool start = (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '-') &&
                     (i == 0 || s[i - 1] == ' ' || s[i - 1] == '"');
        if (!start) { ++i; continue; }
        size_t j = i + 1;
        while (j < s.size() && (std::isdigit(static_cast<unsigned char>(s[j])) || s[j] == '.')) ++j;
        at.emplace_back(i, j - i);
        i = j;
    }
    return at;
}

std::vector<size_t> lineStarts(const std::string& s, const char* prefix)
{
    std::vector<size_t> at;
    for (size_t i = 0; i < s.size(); ++i)
        if ((i == 0 || s[i - 1] == '\n') && s.compare(i, std::strlen(prefix), prefix) == 0) at.push_back(i);
    return at;
}

size_t lineEnd(const std::string& s, size_t from)
{
    size_t e = s.find('\n', from);
    return e == std::string::npos ? s.size() : e;
}

const char* const kWildNumbers[] = {
    "1e309", "-1e309", "nan", "NaN", "inf", "-inf", "1e308", "-1e308", "65536.5", "-65537", "65536",
    "0x1p70", "1e-320", "4.9e-324", "99999999999999999999999", "2147483648", "-2147483649", "-0",
    "1.#INF", "0.0000001", "1e", ".", "-", "+", "0x", "1..2", "3e-5", "12345.6789"};

std::string wildNumber(Rng& rng) { return kWildNumbers[pick(rng, std::size(kWildNumbers))]; }

std::string sideWithPoints(const double p[3][3], const char* tex = "halvex/wall")
{
    char line[400];
    std::snprintf(line, sizeof(line), "( %.17g %.17g %.17g ) ( %.17g %.17g %.17g ) ( %.17g %.17g %.17g ) %s 0 0 0 1 1",
                  p[0][0], p[0][1], p[0][2], p[1][0], p[1][1], p[1][2], p[2][0], p[2][1], p[2][2], tex);
    return line;
}

// A brush of n sides all tangent to a sphere (a faceted ball).
std::string ball(int n, double cx, double cy, double cz, double r)
{
    std::string text = "{\n";
    const double golden = 2.399963229728653;
    for (int i = 0; i < n; ++i) {
        double z = 1.0 - 2.0 * (i + 0.5) / n, rr = std::sqrt(1.0 - z * z), a = golden * i;
        Vec3 nrm(std::cos(a) * rr, std::sin(a) * rr, z);
        Vec3 u = std::fabs(nrm.z) < 0.9 ? nrm.cross(Vec3(0, 0, 1)).normalized() : nrm.cross(Vec3(1, 0, 0)).normalized();
        Vec3 v = nrm.cross(u);
        Vec3 c(cx + nrm.x * r, cy + nrm.y * r, cz + nrm.z * r);
        // (p0 - p1) x (p2 - p1) = u x v = n: outward.
        Vec3 p0 = c + u * 64.0, p2 = c + v * 64.0;
        double pts[3][3] = {{p0.x, p0.y, p0.z}, {c.x, c.y, c.z}, {p2.x, p2.y, p2.z}};
        text += sideWithPoints(pts) + "\n";
    }
    return text + "}\n";
}

std::string insertIntoWorldspawn(const std::string& s, const std::string& what)
{
    // After the first brush-opening line, or at the start when there is none.
    size_t at = s.find("\n{\n(");
    if (at == std::string::npos) return what + s;
    return s.substr(0, at + 1) + what + s.substr(at + 1);
}

std::string mutateOnce(const std::string& in, Rng& rng, std::string& what)
{
    std::string s = in;
    switch (pick(rng, 11)) {
    case 0: {  // byte flips
        int n = 1 + static_cast<int>(pick(rng, 6));
        for (int i = 0; i < n && !s.empty(); ++i) s[pick(rng, s.size())] = static_cast<char>(rng() & 0xff);
        what += "flip ";
        break;
    }
    case 1:  // cut
        s.resize(pick(rng, s.size()));
        what += "cut ";
        break;
    case 2: {  // doubled brace or parenthesis
        auto at = positionsOf(s, "{}()");
        if (!at.empty()) {
            size_t p = at[pick(rng, at.size())];
            s.insert(p, 1, s[p]);
        }
        what += "double-bracket ";
        break;
    }
    case 3: {  // missing brace or parenthesis
        auto at = positionsOf(s, "{}()");
        if (!at.empty()) s.erase(at[pick(rng, at.size())], 1);
        what += "drop-bracket ";
        break;
    }
    case 4: {  // wild numbers
        auto at = numbersOf(s);
        int n = 1 + static_cast<int>(pick(rng, 3));
        for (int i = 0; i < n && !at.empty(); ++i) {
            auto [p, len] = at[pick(rng, at.size())];
            s.replace(p, len, wildNumber(rng));
            at = numbersOf(s);
        }
        what += "number ";
        break;
    }
    case 5: {  // degenerate plane: repeated, collinear or nearly collinear points
        auto at = lineStarts(s, "( ");
        if (at.empty()) break;
        size_t p = at[pick(rng, at.size())];
        double t = static_cast<double>(pick(rng, 200)) - 100;
        double forms[4][3][3] = {{{t, 0, 0}, {t, 0, 0}, {t, 0, 0}},
                                 {{0, 0, 0}, {t, t, t}, {2 * t, 2 * t, 2 * t}},
                                 {{0, 0, 0}, {1, 0, 0}, {2, 1e-9, 0}},
                                 {{65536, 65536, 65536}, {-65536, -65536, -65536}, {65536, -65536, 65536}}};
        s.replace(p, lineEnd(s, p) - p, sideWithPoints(forms[pick(rng, 4)]));
        what += "degenerate ";
        break;
    }
    case 6: {  // very many sides: one brush past the limit, at it, or a faceted ball
        auto at = lineStarts(s, "( ");
        int form = static_cast<int>(pick(rng, 3));
        if (form == 0 && !at.empty()) {
            size_t p = at[pick(rng, at.size())];
            std::string line = s.substr(p, lineEnd(s, p) - p + 1);
            std::string many;
            int copies = pick(rng, 2) ? 3000 : 127;
            for (int i = 0; i < copies; ++i) many += line;
            s.insert(p, many);
        } else {
            int sides = form == 1 ? 128 : 4 + static_cast<int>(pick(rng, 60));
            s = insertIntoWorldspawn(s, ball(sides, 100 + static_cast<double>(pick(rng, 300)), 100, 64, 40));
        }
        what += "many-sides ";
        break;
    }
    case 7: {  // very long tokens
        size_t len = 1000 + pick(rng, 300000);
        std::string token(len, static_cast<char>('a' + pick(rng, 26)));
        int form = static_cast<int>(pick(rng, 5));
        if (form == 1) token = "\"" + token + "\"";
        if (form == 2) token = "\"" + token;  // never closed
        if (form == 3) token = std::string(len, '9');
        if (form == 4) token = "1" + std::string(len, '0') + ".5";
        auto at = positionsOf(s, " \n");
        s.insert(at.empty() ? 0 : at[pick(rng, at.size())] + 1, token + " ");
        what += "long-token ";
        break;
    }
    case 8: {  // line deleted, doubled or swapped
        auto at = lineStarts(s, "");
        if (at.size() < 2) break;
        size_t a = at[pick(rng, at.size())], b = at[pick(rng, at.size())];
        std::string la = s.substr(a, lineEnd(s, a) - a + 1);
        int form = static_cast<int>(pick(rng, 3));
        if (form == 0) s.erase(a, la.size());
        else if (form == 1) s.insert(a, la);
        else if (a != b) {
            if (a > b) std::swap(a, b);
            std::string l1 = s.substr(a, lineEnd(s, a) - a), l2 = s.substr(b, lineEnd(s, b) - b);
            s.replace(b, l2.size(), l1);
            s.replace(a, l1.size(), l2);
        }
        what += "lines ";
        break;
    }
    case 9: {  // odd keys on odd entities
        const char* entities[] = {
            "{\n\"classname\" \"light\"\n\"origin\" \"nan nan nan\"\n}\n",
            "{\n\"classname\" \"light\"\n\"origin\" \"1e300 -1e300 0\"\n\"light\" \"1e308\"\n}\n",
            "{\n\"classname\" \"light\"\n\"origin\" \"100 100 64\"\n\"_color\" \"-1 -1 -1\"\n\"light\" \"-5\"\n}\n",
            "{\n\"classname\" \"light\"\n\"origin\" \"100 100\"\n}\n",
            "{\n\"classname\" \"info_player_start\"\n\"origin\" \"inf 0 0\"\n}\n",
            "{\n\"classname\" \"enemy\"\n\"origin\" \"1e9 1e9 1e9\"\n}\n",
            "{\n\"classname\" \"worldspawn\"\n}\n",
            "{\n}\n",
            "{\n\"\" \"\"\n}\n",
            "{\n\"classname\" \"func_door\"\n{\n( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 ) t 0 0 0 1 1\n}\n}\n",
        };
        s += entities[pick(rng, std::size(entities))];
        if (pick(rng, 2)) {
            const char* keys[] = {"\"luxel_size\" \"0\"\n", "\"luxel_size\" \"nan\"\n", "\"luxel_size\" \"1e300\"\n",
                                  "\"ambient\" \"-1e308\"\n", "\"ambient\" \"nan\"\n", "\"luxel_size\" \"256\"\n"};
            size_t p = s.find("\"classname\" \"worldspawn\"\n");
            if (p != std::string::npos) s.insert(p, keys[pick(rng, std::size(keys))]);
        }
        what += "entity ";
        break;
    }
    default: {  // trailing contents / flags / value numbers
        auto at = lineStarts(s, "( ");
        if (at.empty()) break;
        size_t p = lineEnd(s, at[pick(rng, at.size())]);
        const char* tails[] = {" 0", " -1", " 2147483647 -2147483648", " 1 128 0", " 0 0 0 0", " 1.5", " 1e10",
                               " nan", " 1 2 3"};
        s.insert(p, tails[pick(rng, std::size(tails))]);
        what += "tail ";
        break;
    }
    }
    return s;
}

std::string mutate(const std::string& in, Rng& rng, std::string& what)
{
    std::string s = in;
    int n = 1 + (pick(rng, 4) == 0 ? static_cast<int>(pick(rng, 3)) + 1 : 0);
    for (int i = 0; i < n; ++i) s = mutateOnce(s, rng, what);
    return s;
}

// ---- sources ------------------------------------------------------------

std::string world(const std::string& brushes)
{
    return entity("\"classname\" \"worldspawn\"\n\"ambient\" \"32\"\n" + brushes);
}

std::vector<std::string> smallSources()
{
    std::vector<std::string> out;
    out.push_back(world(hollowRoom({0, 0, 0, 256, 256, 128})) + pointEntity("info_player_start", 64, 64, 32) +
                  pointEntity("light", 128, 128, 100, "\"light\" \"300\"\n\"_color\" \"1 0.5 0.2\"\n"));
    out.push_back(world(carvedRooms({{0, 0, 0, 192, 192, 128}, {160, 64, 0, 384, 128, 96}})) +
                  pointEntity("info_player_start", 64, 64, 32) + pointEntity("enemy", 300, 96, 32) +
                  pointEntity("particle_fountain", 96, 96, 16));
    // A room with a slanted block and a faceted pillar inside.
    out.push_back(world(hollowRoom({0, 0, 0, 256, 256, 160}) + ball(12, 128, 128, 64, 30) +
                        "{\n( 0 0 40 ) ( 0 64 40 ) ( 64 0 60 ) halvex/metal 0 0 15 0.5 0.5\n" +
                        brush({10, 10, 0, 60, 60, 50}).substr(2)) +
                  pointEntity("info_player_start", 200, 200, 32));
    // As an editor writes it: trailing numbers, brushDef, detail, a patch,
    // a func_group and a door.
    out.push_back(entity("\"classname\" \"worldspawn\"\n" + withFlags(hollowRoom({0, 0, 0, 256, 256, 128}), "0 0 0") +
                         asBrushDef(brush({100, 100, 0, 140, 140, 128})) +
                         withFlags(brush({200, 200, 0, 240, 240, 30}), "134217728 0 0") + patchArch(20, 20, 120, 0)) +
                  entity("\"classname\" \"func_group\"\n" + withFlags(brush({10, 200, 0, 60, 250, 16}), "0 0 0")) +
                  entity("\"classname\" \"func_door\"\n" + brush({180, 20, 0, 200, 80, 100})) +
                  pointEntity("info_player_start", 64, 200, 32));
    return out;
}

std::string shippedSource()
{
    std::ifstream in(HALVEX_SOURCE_DIR "/content/maps/test.map", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// MAPC_FUZZ_SEED in the environment explores other cases than the fixed ones.
void fuzz(const std::vector<std::string>& sources, int rounds, uint32_t seed, int firstId)
{
    if (const char* env = std::getenv("MAPC_FUZZ_SEED")) seed += static_cast<uint32_t>(std::strtoul(env, nullptr, 10));
    Rng rng(seed);
    int valid = 0, errors = 0;
    for (int round = 0; round < rounds; ++round) {
        const std::string& base = sources[static_cast<size_t>(round) % sources.size()];
        std::string what;
        std::string source = mutate(base, rng, what);
        std::string why;
        Report r;
        int id = firstId + round;
        EXPECT_TRUE(runCase(source, id, why, r)) << "case " << id << " (" << what << "): " << why;
        if (r.outcome == Valid) ++valid;
        if (r.outcome == ErrorWithLine) ++errors;
    }
    std::printf("%d cases: %d valid levels, %d errors with a line\n", rounds, valid, errors);
}

} // namespace

TEST(MapcFuzz, TheUntouchedSourcesCompileToValidLevels)
{
    std::vector<std::string> sources = smallSources();
    sources.push_back(shippedSource());
    for (size_t i = 0; i < sources.size(); ++i) {
        std::string why;
        Report r;
        EXPECT_TRUE(runCase(sources[i], 9000 + static_cast<int>(i), why, r)) << why;
        EXPECT_EQ(r.outcome, Valid) << i << ": " << r.text;
    }
}

TEST(MapcFuzz, DamagedSmallSources)
{
    fuzz(smallSources(), MAPC_FUZZ_ROUNDS, 20240611u, 0);
}

TEST(MapcFuzz, DamagedShippedLevel)
{
    fuzz({shippedSource()}, MAPC_FUZZ_SHIPPED_ROUNDS, 777u, 100000);
}

// The hand-made extremes, each on its own so a failure names it.
TEST(MapcFuzz, ExtremeSources)
{
    std::string room = world(hollowRoom({0, 0, 0, 256, 256, 128})) + pointEntity("info_player_start", 64, 64, 32);
    std::vector<std::string> cases;
    cases.push_back(std::string(2 << 20, '{'));
    cases.push_back(std::string(2 << 20, '}'));
    cases.push_back(std::string(1 << 20, '('));
    cases.push_back("{\n\"classname\" \"worldspawn\"\n" + std::string(200000, '{'));
    cases.push_back("{\n\"classname\" \"worldspawn\"\n{\n" + std::string(200000, '(') + "\n}\n}\n");
    cases.push_back(std::string(3 << 20, 'x'));
    cases.push_back("\"" + std::string(3 << 20, 'x') + "\"");
    cases.push_back(std::string(1 << 20, '\n') + "junk");
    cases.push_back(std::string(100000, '/') + "\n" + room);
    {
        std::string s;
        for (int i = 0; i < 2000; ++i) s += "{\n\"classname\" \"light\"\n}\n";
        cases.push_back(room + s);
    }
    {
        // Thousands of small brushes in one room.
        std::string blocks;
        for (int i = 0; i < 24; ++i)
            for (int j = 0; j < 24; ++j) blocks += brush({i * 10, j * 10, 0, i * 10 + 4, j * 10 + 4, 4});
        cases.push_back(world(hollowRoom({0, 0, 0, 256, 256, 128}) + blocks) +
                        pointEntity("info_player_start", 64, 64, 32));
    }
    cases.push_back(world(hollowRoom({0, 0, 0, 256, 256, 128}) + ball(128, 128, 128, 64, 40)) +
                    pointEntity("info_player_start", 20, 20, 20));
    cases.push_back(world(hollowRoom({-60000, -60000, -60000, 60000, 60000, 60000})) +
                    pointEntity("info_player_start", 0, 0, 0));
    cases.push_back(world(hollowRoom({0, 0, 0, 256, 256, 128})));  // nobody inside: leaks
    cases.push_back(world(brush({0, 0, 0, 64, 64, 64})) + pointEntity("info_player_start", 32, 32, 32));
    // Editor forms at their limits: patches of zero, even and huge sides, a
    // patch with wild points, a 1 MB value, the whole file on one line,
    // binary junk after a good level, a brushDef with a broken matrix.
    const std::string header = "{\n\"classname\" \"worldspawn\"\n" + hollowRoom({0, 0, 0, 256, 256, 128});
    const std::string spawn = pointEntity("info_player_start", 64, 64, 32);
    cases.push_back(header + "{\npatchDef2\n{\nt\n( 0 0 0 0 0 )\n(\n)\n}\n}\n}\n" + spawn);
    cases.push_back(header + patchArch(20, 20, 120, 0, 4, 5) + patchArch(20, 20, 120, 0, 3, 2) + "}\n" + spawn);
    cases.push_back(header + "{\npatchDef2\n{\nt\n( 99999 3 0 0 0 )\n(\n" + "}\n" + spawn);
    {
        std::string arch = patchArch(20, 20, 120, 0);
        arch.replace(arch.find("( 20 20 0"), 9, "( nan 20 1e300");
        cases.push_back(header + arch + "}\n" + spawn);
    }
    cases.push_back(entity("\"classname\" \"worldspawn\"\n\"k\" \"" + std::string(1 << 20, 'v') + "\"\n" +
                           hollowRoom({0, 0, 0, 256, 256, 128})) + spawn);
    {
        std::string oneLine = world(hollowRoom({0, 0, 0, 256, 256, 128})) + spawn;
        std::replace(oneLine.begin(), oneLine.end(), '\n', ' ');
        cases.push_back(oneLine);
    }
    {
        std::string junk = room;
        std::mt19937 bytes(9);
        for (int i = 0; i < 4096; ++i) junk += static_cast<char>(bytes() & 0xff);
        cases.push_back(junk);
    }
    cases.push_back(header + "{\nbrushDef\n{\n( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 ) ( ( 1 0 ) ( 0 1 0 ) ) t 0 0 0\n}\n}\n}\n" + spawn);
    for (size_t i = 0; i < cases.size(); ++i) {
        std::string why;
        Report r;
        EXPECT_TRUE(runCase(cases[i], 8000 + static_cast<int>(i), why, r)) << "extreme " << i << ": " << why;
    }
}

// Damaged model files placed with misc_model: flipped bytes, cuts, wild
// counts and offsets. Each costs at most a warning; the level still compiles.
TEST(MapcFuzz, DamagedModels)
{
    char dir[] = "/tmp/mapc_fuzz_modelsXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string root = dir;
    mkdir((root + "/models").c_str(), 0755);
    const std::string ase = aseSquare("textures/halvex/metal.tga");
    const std::vector<unsigned char> md3Bytes = md3Triangle("models/tri/skin");
    const std::string md3(md3Bytes.begin(), md3Bytes.end());
    const std::string source = world(hollowRoom({0, 0, 0, 256, 256, 128})) + pointEntity("info_player_start", 64, 64, 32) +
                               pointEntity("misc_model", 100, 100, 40, "\"model\" \"models/m.ase\"\n\"angles\" \"10 20 30\"\n") +
                               pointEntity("misc_model", 150, 150, 40, "\"model\" \"models/m.md3\"\n\"modelscale\" \"1e30\"\n") +
                               pointEntity("misc_model", 150, 150, 40, "\"model\" \"models/m.md3\"\n");
    static const char* const kWild[] = {"-1", "2147483647", "99999999", "1e308", "nan", "-0", "4294967296"};
    Rng rng(4242);
    for (int round = 0; round < 40; ++round) {
        std::string a = ase, m = md3;
        for (int k = 0; k < 1 + static_cast<int>(pick(rng, 4)); ++k) {
            switch (pick(rng, 4)) {
            case 0:  // flip bytes
                a[pick(rng, a.size())] = static_cast<char>(rng());
                m[pick(rng, m.size())] = static_cast<char>(rng());
                break;
            case 1:  // cut
                a.resize(pick(rng, a.size()));
                m.resize(pick(rng, m.size()));
                break;
            case 2: {  // a wild number in the text, a wild 32-bit field in the binary
                std::vector<std::pair<size_t, size_t>> nums = numbersOf(a);
                if (!nums.empty()) {
                    auto n = nums[pick(rng, nums.size())];
                    a.replace(n.first, n.second, kWild[pick(rng, std::size(kWild))]);
                }
                if (m.size() >= 4) {
                    uint32_t v = pick(rng, 2) ? 0x7fffffffu : static_cast<uint32_t>(rng());
                    std::memcpy(&m[pick(rng, m.size() - 3) & ~size_t(3)], &v, 4);
                }
                break;
            }
            default:  // a line doubled, braces unbalanced
                a.insert(pick(rng, a.size()), pick(rng, 2) ? "}\n" : "*MESH_FACE 0: A: 9 B: 9 C: 9\n");
                m += m.substr(0, pick(rng, m.size()));
            }
        }
        writeBytes(root + "/models/m.ase", a);
        writeBytes(root + "/models/m.md3", m);
        std::string why;
        Report r;
        EXPECT_TRUE(runCase(source, 7000 + round, why, r, root)) << "model case " << round << ": " << why;
        EXPECT_EQ(r.outcome, Valid) << round << ": " << r.text;
    }
    EXPECT_EQ(std::system(("rm -rf " + root).c_str()), 0);
}

// Thin slabs turned about one upright line all cross there, and every one
// deepens the tree. 1200 of them pass the depth the game reads (minutes of
// work); 40 show the same refusal against a lower limit: a line, no level.
TEST(MapcFuzz, TreeTooDeepForTheGameIsRefused)
{
    std::string slabs;
    const int count = 40;
    for (int i = 0; i < count; ++i) {
        double a = M_PI * (i + 0.5) / count;
        Vec3 along(std::cos(a), std::sin(a), 0), across(-std::sin(a), std::cos(a), 0), up(0, 0, 1);
        const Vec3 normals[6] = {across, across * -1.0, along, along * -1.0, up, up * -1.0};
        const double reach[6] = {0.5, 0.5, 200, 200, 64, 0};
        slabs += "{\n";
        for (int k = 0; k < 6; ++k) {
            const Vec3& n = normals[k];
            Vec3 u = std::fabs(n.z) < 0.9 ? n.cross(Vec3(0, 0, 1)).normalized() : n.cross(Vec3(1, 0, 0)).normalized();
            Vec3 v = n.cross(u);
            Vec3 c = n * reach[k];
            Vec3 p0 = c + u * 64.0, p2 = c + v * 64.0;
            double pts[3][3] = {{p0.x, p0.y, p0.z}, {c.x, c.y, c.z}, {p2.x, p2.y, p2.z}};
            slabs += sideWithPoints(pts) + "\n";
        }
        slabs += "}\n";
    }
    std::string source = world(hollowRoom({-256, -256, -8, 256, 256, 128}) + slabs) +
                         pointEntity("info_player_start", 220, 220, 100);
    Compiled whole;
    compile(source, whole);
    ASSERT_TRUE(whole.compiled) << whole.diag.error;
    EXPECT_TRUE(whole.valid) << whole.problem;
    mapc::CompileOptions shallow;
    shallow.treeDepth = 30;
    Compiled refused;
    compile(source, refused, shallow);
    EXPECT_FALSE(refused.compiled);
    EXPECT_EQ(refused.diag.errorLine, 1);
    EXPECT_NE(refused.diag.error.find("tree deeper than the game reads (30 levels)"), std::string::npos)
        << refused.diag.error;
}

// A many-sided ball in an open room makes the portal flow explode; the
// compile stops it at its time limit and the unfinished passages keep their
// rough sets, which may be wide but never hide what a sight line reaches.
TEST(MapcFuzz, CostlyVisibilityStaysConservative)
{
    Compiled c;
    mapc::CompileOptions options;
    options.visSeconds = 0.0;
    options.lightSeconds = 0.0;  // the flow also gets what lighting leaves
    compile(world(hollowRoom({0, 0, 0, 256, 256, 128}) + ball(128, 128, 128, 64, 40)) +
                pointEntity("info_player_start", 20, 20, 20),
            c, options);
    ASSERT_TRUE(c.compiled) << c.diag.error;
    ASSERT_TRUE(c.valid) << c.problem;
    EXPECT_TRUE(c.stats.visCutShort);
    bool warned = false;
    for (const std::string& w : c.diag.warnings)
        warned = warned || (w.find("visibility too costly") != std::string::npos && w.find("passages keep rougher sets") != std::string::npos);
    EXPECT_TRUE(warned);
    ASSERT_GT(c.data.visClusterCount, 1);
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(1, 255), h(1, 127);
    int lines = 0;
    for (int i = 0; i < 4000; ++i) {
        double a[3] = {u(rng), u(rng), h(rng)}, b[3] = {u(rng), u(rng), h(rng)};
        if (insideAnyBrush(c.lumps, a, 0.0) || insideAnyBrush(c.lumps, b, 0.0) || !lineOfSight(c.lumps, a, b)) continue;
        ++lines;
        ASSERT_TRUE(clusterSees(c.data, clusterAt(c.data, a[0], a[1], a[2]), clusterAt(c.data, b[0], b[1], b[2])))
            << a[0] << " " << a[1] << " " << a[2] << " -> " << b[0] << " " << b[1] << " " << b[2];
    }
    EXPECT_GT(lines, 500);
}

// A room of 120000 units a side at luxel_size 16 would need hundreds of
// millions of luxels; the luxels grow until the pages fit.
TEST(MapcFuzz, HugeLevelGetsCoarserLuxels)
{
    Compiled c;
    mapc::CompileOptions options;
    options.lightSeconds = 600;  // the luxel warning alone, however loaded the machine
    options.visSeconds = 600;
    compile(world(hollowRoom({-60000, -60000, -60000, 60000, 60000, 60000})) +
                pointEntity("info_player_start", 0, 0, 0),
            c, options);
    ASSERT_TRUE(c.compiled) << c.diag.error;
    ASSERT_TRUE(c.valid) << c.problem;
    std::string all;
    for (const std::string& w : c.diag.warnings) all += w + "\n";
    ASSERT_EQ(c.diag.warnings.size(), 1u) << all;
    EXPECT_NE(c.diag.warnings[0].find("using luxel_size"), std::string::npos) << c.diag.warnings[0];
    EXPECT_LE(c.stats.lightmaps, 1024);
    EXPECT_GT(c.stats.lightmaps, 100);
}

// Numbers a hostile source or shader script may hold: "nan", "inf" and
// floats past their range in light keys and shader keywords, terrain layer
// counts out of 1-256, a shader scattering a model on every unit of a wide
// floor. Each is refused or bounded with a line saying so; the light stays
// light (a "nan" would turn a luxel's whole sum black), and the compile
// keeps to its time limit and to a bounded peak memory.
TEST(MapcFuzz, HostileNumbersAreRefusedAndCountsBounded)
{
    char dir[] = "/tmp/mapc_hostileXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string root = dir;
    for (const char* sub : {"/scripts", "/models", "/maps"}) mkdir((root + sub).c_str(), 0755);
    writeBytes(root + "/scripts/h.shader",
               "textures/h/dense\n{\n q3map_surfacemodel models/tri.md3 1 0.000001\n"
               " q3map_surfacemodel models/tri.md3 nan 1\n q3map_surfacemodel models/tri.md3 64 inf\n}\n"
               "textures/h/every\n{\n q3map_surfacemodel models/tri.md3 1 1\n}\n"
               "textures/h/sky\n{\n surfaceparm sky\n q3map_sun 1 1 1 nan 0 90\n q3map_skylight inf 3\n}\n"
               "textures/h/glow\n{\n q3map_surfacelight 1e39\n}\n"
               "textures/h/tc\n{\n q3map_tcGen ivector ( nan 0 0 ) ( 0 inf 0 )\n}\n"
               "textures/h/cel\n{\n q3map_invert\n q3map_offset -inf\n surfaceparm nolightmap\n"
               " surfaceparm nonsolid\n}\n"
               "textures/common/terrain\n{\n q3map_terrain\n surfaceparm nodraw\n surfaceparm nolightmap\n}\n");
    const std::vector<unsigned char> md3 = md3Triangle("models/tri/skin");
    writeBytes(root + "/models/tri.md3", std::string(md3.begin(), md3.end()));
    // A 2 x 1 index map, red 0 and 255: with 256 layers the second pixel
    // is layer 255.
    std::string tga(18, '\0');
    tga[2] = 2, tga[12] = 2, tga[14] = 1, tga[16] = 24;
    tga += std::string("\0\0\0\0\0\xff", 6);
    writeBytes(root + "/maps/h.tga", tga);

    const int t = 16;
    const std::string room = brush({-t, -t, -t, 1024 + t, 1024 + t, 0}, "h/dense") +
                             brush({-t, -t, 256, 1024 + t, 1024 + t, 256 + t}, "h/sky") +
                             brush({-t, -t, 0, 0, 1024 + t, 256}, "h/glow") +
                             brush({1024, -t, 0, 1024 + t, 1024 + t, 256}) + brush({0, -t, 0, 1024, 0, 256}, "h/tc") +
                             brush({0, 1024, 0, 1024, 1024 + t, 256});
    auto terrain = [](int x, const char* layers) {
        std::string b = brush({x, 100, 0, x + 100, 200, 32}, "common/caulk");
        b.replace(b.find("common/caulk"), 12, "common/terrain");
        return entity(std::string("\"classname\" \"func_group\"\n\"_indexmap\" \"maps/h.tga\"\n\"_shader\" \"h/ground\"\n") +
                      layers + withFlags(b, "134217728 0 0"));
    };
    const std::string source =
        entity("\"classname\" \"worldspawn\"\n\"_floodlight\" \"nan 1 1 1024 128\"\n\"_minlight\" \"inf\"\n"
               "\"_ambient\" \"nan\"\n\"ambient\" \"8\"\n\"_celshader\" \"h/cel\"\n" + room) +
        terrain(100, "\"_layers\" \"1e9\"\n") + terrain(300, "\"_layers\" \"-5\"\n") + terrain(500, "\"layers\" \"nan\"\n") +
        pointEntity("info_player_start", 512, 700, 64) +
        pointEntity("light", 512, 512, 128, "\"light\" \"nan\"\n") +
        pointEntity("light", 300, 512, 128, "\"light\" \"1 1 1 inf\"\n\"_color\" \"inf 0 0\"\n") +
        pointEntity("light", 700, 512, 128, "\"light\" \"1e308\"\n") +
        pointEntity("light", 512, 300, 200, "\"light\" \"-inf\"\n\"_sun\" \"1\"\n\"target\" \"down\"\n") +
        pointEntity("info_null", 512, 300, 0, "\"targetname\" \"down\"\n");
    std::string why;
    Report r;
    double peakMb = 0;
    ASSERT_TRUE(runCase(source, 6000, why, r, root, &peakMb)) << why;
    ASSERT_EQ(r.outcome, Valid) << r.text;
    const std::string warnings = r.warnings;
    EXPECT_NE(warnings.find("shader 'textures/h/dense' scatters models too densely; only the first 1048576 spots are used"),
              std::string::npos) << warnings;
    EXPECT_NE(warnings.find("_floodlight wants \"r g b distance intensity\"; ignored"), std::string::npos) << warnings;
    EXPECT_NE(warnings.find("terrain layers out of 1-256; using 256"), std::string::npos) << warnings;
    size_t hidden = 0;
    for (size_t at = 0; (at = warnings.find("terrain layers out of 1-256; its faces stay hidden", at)) != std::string::npos; ++at)
        ++hidden;
    EXPECT_EQ(hidden, 2u) << warnings;
    EXPECT_EQ(r.darkFaces, 0) << "dark: " << r.text;
    EXPECT_EQ(r.brokenVertices, 0);
    EXPECT_LT(peakMb, 1024.0);
    std::printf("hostile numbers: peak memory %.0f MB\n", peakMb);
#ifdef MAPC_FUZZ_LONG
    // A model on every one of those spots: a million placed models, half a
    // minute and nearly 2 GB with the sanitizers.
    std::string every = source;
    for (size_t at = 0; (at = every.find("h/dense", at)) != std::string::npos;) every.replace(at, 7, "h/every");
    Report all;
    ASSERT_TRUE(runCase(every, 6001, why, all, root, &peakMb)) << why;
    EXPECT_EQ(all.outcome, Valid) << all.text;
    EXPECT_LT(peakMb, 3072.0);
    std::printf("a model on every spot: peak memory %.0f MB\n", peakMb);
#endif
    EXPECT_EQ(std::system(("rm -rf " + root).c_str()), 0);
}
