#pragma once
// Compiling a .map into a level: the entry points and their figures.
#include <string>
#include "BspWriter.h"
#include "Diagnostics.h"
#include "Progress.h"
#include "TextureLibrary.h"
#include "world/LevelValidation.h"

namespace mapc {

struct CompileStats {
    int brushes = 0;
    int planes = 0;
    int nodes = 0;
    int leaves = 0;
    int clusters = 0;
    int portals = 0;  // openings between clusters
    int faces = 0;
    int patches = 0;
    int meshes = 0;  // pieces of placed models
    int models = 0;
    int lightmaps = 0;
    bool leaked = false;
    bool visCutShort = false;
};

struct CompileOptions {
    const FileSystem* files = nullptr;  // shader scripts and images; null: none
    int threads = 0;                    // 0: every core
    double visSeconds = 30;             // portal flow time (plus what lighting left); later passages keep rougher sets
    double lightSeconds = 30;           // lighting time; later surfaces are lit without shadows
    Progress* progress = nullptr;       // stage lines and the closing table; null: none
    int treeDepth = kMaxTreeDepth;      // deepest tree written: the game's limit (tests take less)
    double blockSize = 0;               // block grid when the source names none (0: 1024 units)
    double dirtScale = -1;              // corner dirt when the source names none (negative: 1; 0: none)
    double scale = 1;                   // the level built this many times larger than its source
};

// Source text to lumps; false with the error (and its line) in diag.
bool compileMapText(const std::string& text, LevelLumps& out, Diagnostics& diag, CompileStats* stats,
                    const CompileOptions& options = CompileOptions());

// Reads the source, compiles it and writes the level file.
bool compileMapFile(const char* source, const char* output, Diagnostics& diag, CompileStats* stats,
                    const CompileOptions& options = CompileOptions());

} // namespace mapc
