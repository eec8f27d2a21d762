// halvex-imagegen OUTDIR
// Paints every TGA the game reads into OUTDIR (normally
// build/game/baseq3/textures). Nothing is copied from elsewhere.
#include "Painters.h"
#include "../ToolMain.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

const PaintedImage kPaintedImages[] = {
    {"particle.tga", paintParticle},
    {"cross.tga", paintCross},
    {"enemy.tga", paintEnemy},
    {"logo.tga", paintLogo},
    {"arrow.tga", paintArrow},
    {"halvex/floor.tga", paintFloor},
    {"halvex/wall.tga", paintWall},
    {"halvex/trim.tga", paintTrim},
    {"halvex/metal.tga", paintMetal},
};
const int kPaintedImageCount = int(sizeof kPaintedImages / sizeof kPaintedImages[0]);

namespace {

int run(int argc, char** argv)
{
    if (argc != 2 || argv[1][0] == '\0') {
        std::fprintf(stderr, "usage: halvex-imagegen OUTDIR\n");
        return 2;
    }
    const std::filesystem::path outDir(argv[1]);
    for (int i = 0; i < kPaintedImageCount; ++i) {
        std::filesystem::path file = outDir / kPaintedImages[i].path;
        std::error_code ec;
        std::filesystem::create_directories(file.parent_path(), ec);
        if (ec) {
            std::fprintf(stderr, "halvex-imagegen: cannot create %s: %s\n", file.parent_path().c_str(),
                         ec.message().c_str());
            return 1;
        }
        std::string error;
        if (!writeTga(file.string(), kPaintedImages[i].paint(), &error)) {
            std::fprintf(stderr, "halvex-imagegen: %s\n", error.c_str());
            return 1;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return runReportingOutOfMemory("halvex-imagegen", run, argc, argv);
}
