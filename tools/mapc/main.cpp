// halvex-mapc: compiles a .map brush source into the game's IBSP level file.
#include <chrono>
#include <cstdio>
#include "Compiler.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: halvex-mapc SOURCE.map OUTPUT.bsp\n");
        return 2;
    }
    auto start = std::chrono::steady_clock::now();
    mapc::Diagnostics diag(true);
    mapc::CompileStats stats;
    if (!mapc::compileMapFile(argv[1], argv[2], diag, &stats)) return 1;
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %d brushes, %d planes, %d nodes, %d leaves, %d clusters, %d faces, %d lightmaps, "
                "%zu warnings, %.2f s%s\n",
                argv[2], stats.brushes, stats.planes, stats.nodes, stats.leaves, stats.clusters, stats.faces,
                stats.lightmaps, diag.warnings.size(), seconds, stats.leaked ? " (LEAKED)" : "");
    return 0;
}
