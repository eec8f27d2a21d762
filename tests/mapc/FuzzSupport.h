#pragma once
// What the robustness tests share: a damaged or extreme source compiled in
// a child process with a time limit, which must end in either a level the
// game's reader and validation accept, or an error that names a line; a
// crash, a sanitizer report or a hang fails the case, and the source is
// kept as mapc_fuzz_fail_<n>.map for replay. And the sources they build on.
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "MapParser.h"
#include "MapcTestSupport.h"
#include "resources/FileSystem.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace mapctest {

using mapc::Vec3;


// A compile of these small sources ends in seconds; the limit leaves room for
// the sanitizers on a busy machine and still catches a hang.
inline constexpr int kCaseSeconds = 60;

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
inline Report compileAndRead(const std::string& source, const std::string& bspPath, const std::string& folder)
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
inline bool runCase(const std::string& source, int id, std::string& why, Report& report, const std::string& folder = "",
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

inline std::string sideWithPoints(const double p[3][3], const char* tex = "halvex/wall")
{
    char line[400];
    std::snprintf(line, sizeof(line), "( %.17g %.17g %.17g ) ( %.17g %.17g %.17g ) ( %.17g %.17g %.17g ) %s 0 0 0 1 1",
                  p[0][0], p[0][1], p[0][2], p[1][0], p[1][1], p[1][2], p[2][0], p[2][1], p[2][2], tex);
    return line;
}

// A brush of n sides all tangent to a sphere (a faceted ball).
inline std::string ball(int n, double cx, double cy, double cz, double r)
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

// The worldspawn with the given brushes and an ambient light, so no face is black.
inline std::string ambientWorld(const std::string& brushes)
{
    return entity("\"classname\" \"worldspawn\"\n\"ambient\" \"32\"\n" + brushes);
}

} // namespace mapctest
