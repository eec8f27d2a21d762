// Compile times of the shipped level, of ten copies of it side by side, and a
// baseline (parsing alone) measured in the same run.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include "Compiler.h"
#include "MapParser.h"

namespace {

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The worldspawn brushes and every point entity, copied `copies` times with
// an offset; each copy stays sealed on its own.
std::string replicate(const mapc::MapFile& map, int copies, double step)
{
    std::string out = "{\n\"classname\" \"worldspawn\"\n";
    char line[512];
    for (int c = 0; c < copies; ++c) {
        double dx = (c % 5) * step, dy = (c / 5) * step;
        for (const mapc::MapBrush& b : map.entities[0].brushes) {
            out += "{\n";
            for (const mapc::MapSide& s : b.sides) {
                std::snprintf(line, sizeof(line), "( %g %g %g ) ( %g %g %g ) ( %g %g %g ) %s %g %g %g %g %g\n",
                              s.points[0].x + dx, s.points[0].y + dy, s.points[0].z, s.points[1].x + dx,
                              s.points[1].y + dy, s.points[1].z, s.points[2].x + dx, s.points[2].y + dy,
                              s.points[2].z, s.texture.c_str(), s.offset[0], s.offset[1], s.rotation,
                              s.scale[0], s.scale[1]);
                out += line;
            }
            out += "}\n";
        }
    }
    out += "}\n";
    for (int c = 0; c < copies; ++c) {
        double dx = (c % 5) * step, dy = (c / 5) * step;
        for (size_t e = 1; e < map.entities.size(); ++e) {
            out += "{\n";
            for (const auto& kv : map.entities[e].pairs) {
                mapc::Vec3 o;
                if (kv.first == "origin" && map.entities[e].vector("origin", o))
                    std::snprintf(line, sizeof(line), "\"origin\" \"%g %g %g\"\n", o.x + dx, o.y + dy, o.z);
                else
                    std::snprintf(line, sizeof(line), "\"%s\" \"%s\"\n", kv.first.c_str(), kv.second.c_str());
                out += line;
            }
            out += "}\n";
        }
    }
    return out;
}

void run(const char* name, const std::string& text)
{
    mapc::Diagnostics diag(false);
    auto start = std::chrono::steady_clock::now();
    mapc::MapFile parsed;
    mapc::parseMap(text, parsed, diag);
    double parse = seconds(start);
    start = std::chrono::steady_clock::now();
    mapc::LevelLumps lumps;
    mapc::CompileStats stats;
    bool ok = mapc::compileMapText(text, lumps, diag, &stats);
    double total = seconds(start);
    std::printf("%-22s %s  %6d brushes %6d leaves %5d clusters %6d faces %3d lightmaps  compile %7.3f s  "
                "(baseline parse only %.4f s)%s\n",
                name, ok ? "ok  " : "FAIL", stats.brushes, stats.leaves, stats.clusters, stats.faces,
                stats.lightmaps, total, parse, stats.leaked ? " leaked" : "");
}

} // namespace

int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : HALVEX_SOURCE_DIR "/content/maps/test.map";
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path);
        return 1;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string text = buffer.str();
    mapc::MapFile map;
    mapc::Diagnostics diag(false);
    if (!mapc::parseMap(text, map, diag) || map.entities.empty()) {
        std::fprintf(stderr, "%s\n", diag.error.c_str());
        return 1;
    }
    run("shipped level", text);
    run("ten copies", replicate(map, 10, 4096.0));
    return 0;
}
