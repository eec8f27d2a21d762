#pragma once
// A game folder of the bench's own: every .pk3 of `archives` linked into
// name/baseq3/, entered before anything reads a file. False when it cannot
// be entered.
#include <unistd.h>

#include <filesystem>

inline bool enterArchiveGame(const char* archives, const char* name)
{
    namespace fs = std::filesystem;
    fs::path root = fs::absolute(name);
    fs::remove_all(root);
    fs::create_directories(root / "baseq3");
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(archives, ec))
        if (e.path().extension() == ".pk3")
            fs::create_symlink(fs::absolute(e.path()), root / "baseq3" / e.path().filename());
    return chdir(root.c_str()) == 0;
}
