#pragma once
// The real OpenArena levels and a reading of them made here, byte by byte,
// independent of the loader.
#include <dirent.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

inline std::string realLevelDir() { return std::string(HALVEX_TEST_DATA) + "/openarena/maps"; }

inline std::vector<std::string> realLevels()
{
    std::vector<std::string> paths;
    std::string dir = realLevelDir();
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".bsp") == 0)
                paths.push_back(dir + "/" + name);
        }
        closedir(d);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

inline std::vector<uint8_t> readWholeFile(const std::string& path)
{
    std::vector<uint8_t> bytes;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return bytes;
    fseek(f, 0, SEEK_END);
    long size = ftell(f);
    fseek(f, 0, SEEK_SET);
    bytes.resize(size_t(size > 0 ? size : 0));
    size_t got = fread(bytes.data(), 1, bytes.size(), f);
    bytes.resize(got);
    fclose(f);
    return bytes;
}

inline int32_t readInt(const std::vector<uint8_t>& b, size_t at)
{
    return int32_t(uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
                   uint32_t(b[at + 3]) << 24);
}

inline float readFloat(const std::vector<uint8_t>& b, size_t at)
{
    uint32_t bits = uint32_t(readInt(b, at));
    float f;
    memcpy(&f, &bits, 4);
    return f;
}

inline int32_t lumpOffset(const std::vector<uint8_t>& b, int lump) { return readInt(b, 8 + 8 * lump); }
inline int32_t lumpLength(const std::vector<uint8_t>& b, int lump) { return readInt(b, 12 + 8 * lump); }

// The entity lump's text; empty when the file is too short to have one.
inline std::string levelEntities(const std::string& path)
{
    std::vector<uint8_t> bytes = readWholeFile(path);
    if (bytes.size() <= 144)
        return "";
    int64_t offset = lumpOffset(bytes, 0), length = lumpLength(bytes, 0);
    if (offset < 0 || length < 0 || offset + length > int64_t(bytes.size()))
        return "";
    return std::string(reinterpret_cast<const char*>(bytes.data()) + offset, size_t(length));
}

// Origin of the first (or last) block of the given classname in the entity
// text, in file (z-up) units.
inline bool classOrigin(const std::string& text, const std::string& classname, bool last,
                        float origin[3])
{
    bool found = false;
    size_t at = 0;
    while ((at = text.find('{', at)) != std::string::npos) {
        size_t end = text.find('}', at);
        if (end == std::string::npos)
            break;
        std::string block = text.substr(at, end - at);
        at = end;
        if (block.find("\"" + classname + "\"") == std::string::npos)
            continue;
        size_t key = block.find("\"origin\"");
        if (key == std::string::npos)
            continue;
        size_t open = block.find('"', key + 8);
        float o[3];
        if (open == std::string::npos ||
            sscanf(block.c_str() + open + 1, "%f %f %f", &o[0], &o[1], &o[2]) != 3)
            continue;
        memcpy(origin, o, sizeof o);
        found = true;
        if (!last)
            return true;
    }
    return found;
}

// Origin of the first player start in the entity text, in file (z-up) units.
inline bool firstSpawn(const std::string& text, float origin[3])
{
    size_t at = 0;
    while ((at = text.find('{', at)) != std::string::npos) {
        size_t end = text.find('}', at);
        if (end == std::string::npos)
            return false;
        std::string block = text.substr(at, end - at);
        at = end;
        if (block.find("\"info_player_deathmatch\"") == std::string::npos &&
            block.find("\"info_player_start\"") == std::string::npos)
            continue;
        size_t key = block.find("\"origin\"");
        if (key == std::string::npos)
            continue;
        size_t open = block.find('"', key + 8);
        if (open != std::string::npos &&
            sscanf(block.c_str() + open + 1, "%f %f %f", &origin[0], &origin[1], &origin[2]) == 3)
            return true;
    }
    return false;
}

// Where the game puts the player: the last "info_player_start", else the
// first "info_player_deathmatch", else the first team spawn.
inline bool playerSpawn(const std::string& text, float origin[3])
{
    if (classOrigin(text, "info_player_start", true, origin) ||
        classOrigin(text, "info_player_deathmatch", false, origin))
        return true;
    size_t best = std::string::npos;
    for (const char* team : {"team_CTF_redplayer", "team_CTF_blueplayer", "team_CTF_redspawn",
                             "team_CTF_bluespawn", "info_player_team1", "info_player_team2",
                             "info_player_team3", "info_player_team4"}) {
        size_t at = text.find(std::string("\"") + team + "\"");
        float o[3];
        if (at < best && classOrigin(text, team, false, o)) {
            best = at;
            memcpy(origin, o, sizeof o);
        }
    }
    return best != std::string::npos;
}
