// halvex-mapc: compiles a .map brush source into the game's IBSP level file.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include "Compiler.h"
#include "MapScale.h"
#include "resources/FileSystem.h"
#include "../ToolMain.h"

namespace {

int usage()
{
    std::fprintf(stderr, "usage: halvex-mapc [-path FOLDER]... [-threads N] [-blocksize UNITS] [-dirtscale S] [-scale S] SOURCE.map OUTPUT.bsp\n");
    return 2;
}

// The game folder a source in FOLDER/maps/ belongs to.
std::string baseFolderOf(const std::string& source)
{
    size_t slash = source.find_last_of('/');
    std::string dir = slash == std::string::npos ? "." : source.substr(0, slash);
    return dir + "/..";
}

void reportFile(void*, bool error, const char* text)
{
    std::fprintf(stderr, "%s: %s\n", error ? "warning" : "note", text);
}

// A game folder: its plain files, then its .pk3 archives.
void addGameFolder(FileSystem& files, const std::string& folder)
{
    files.addFolder(folder.c_str());
    files.addArchives(folder.c_str());
}

int run(int argc, char** argv)
{
    mapc::CompileOptions options;
    FileSystem gameFiles;
    gameFiles.setReporter(reportFile, nullptr);
    options.files = &gameFiles;
    const char* files[2] = {nullptr, nullptr};
    int fileCount = 0;
    bool pathGiven = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-path") == 0 && i + 1 < argc) {
            addGameFolder(gameFiles, argv[++i]);
            pathGiven = true;
        } else if (std::strcmp(argv[i], "-threads") == 0 && i + 1 < argc) {
            options.threads = std::atoi(argv[++i]);
            if (options.threads < 1 || options.threads > 64) return usage();
        } else if (std::strcmp(argv[i], "-blocksize") == 0 && i + 1 < argc) {
            options.blockSize = std::atof(argv[++i]);
            if (!(options.blockSize >= 64 && options.blockSize <= 65536)) return usage();
        } else if (std::strcmp(argv[i], "-dirtscale") == 0 && i + 1 < argc) {
            options.dirtScale = std::atof(argv[++i]);
            if (!(options.dirtScale >= 0 && options.dirtScale <= 10)) return usage();
        } else if (std::strcmp(argv[i], "-scale") == 0 && i + 1 < argc) {
            options.scale = std::atof(argv[++i]);
            if (!mapc::isMapScale(options.scale)) return usage();
        } else if (argv[i][0] == '-' || fileCount == 2) {
            return usage();
        } else {
            files[fileCount++] = argv[i];
        }
    }
    if (fileCount != 2) return usage();
    if (!pathGiven) addGameFolder(gameFiles, baseFolderOf(files[0]));

    auto start = std::chrono::steady_clock::now();
    mapc::Diagnostics diag(true);
    mapc::CompileStats stats;
    mapc::Progress progress(stdout);
    options.progress = &progress;
    bool compiled = mapc::compileMapFile(files[0], files[1], diag, &stats, options);
    progress.finish();
    if (!compiled) return 1;
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %d brushes, %d planes, %d nodes, %d leaves, %d clusters, %d faces (%d patches, %d model pieces), %d models, "
                "%d lightmaps, %zu warnings, %.2f s%s%s\n",
                files[1], stats.brushes, stats.planes, stats.nodes, stats.leaves, stats.clusters, stats.faces,
                stats.patches, stats.meshes, stats.models, stats.lightmaps, diag.warnings.size(), seconds,
                stats.leaked ? " (LEAKED)" : "", stats.visCutShort ? " (VIS CUT SHORT)" : "");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return runReportingOutOfMemory("halvex-mapc", run, argc, argv);
}
