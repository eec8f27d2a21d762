#pragma once
// The central directory of a .pk3 read byte by byte, for what libzip hides:
// entry names holding a NUL byte (libzip shows them altered) and sizes of
// 0xFFFFFFFF with no 64-bit record behind them (libzip then refuses the
// whole archive with an unrelated message).
#include <cstdint>
#include <string>
#include <vector>

struct ZipDirectoryEntry {
    std::string name;               // the stored bytes, NULs included
    bool sizeWithoutRecord = false;  // a size of 0xFFFFFFFF and no 64-bit record
};

// The entries in directory order (libzip's indices). False, out empty, when
// the file has no plain directory this can read (cut, or a 64-bit one).
bool readZipDirectory(const char* path, std::vector<ZipDirectoryEntry>& out);

// The name with NUL bytes shown as "\0".
std::string visibleZipName(const std::string& name);
