// halvex-guic SOURCE OUT: compiles the menu's readable source into gui.gui.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "GuiSource.h"
#include "../ToolMain.h"

namespace {

int run(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: halvex-guic SOURCE OUT\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "halvex-guic: cannot read %s\n", argv[1]);
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();

    GuiSource source;
    if (!parseGuiSource(text.str(), source)) {
        std::fprintf(stderr, "%s:%s\n", argv[1], source.error.c_str());
        return 1;
    }
    std::vector<unsigned char> bytes = encodeGui(source);
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "halvex-guic: cannot write %s\n", argv[2]);
        std::remove(argv[2]);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return runReportingOutOfMemory("halvex-guic", run, argc, argv);
}
