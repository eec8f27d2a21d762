#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

class FileSystem;

// What the game takes from a shader script: the picture of its first stage
// that is not the lightmap, and for sky shaders the sky box's base name.
struct ShaderInfo {
    std::string image;   // "map", "clampmap" or the first "animmap" frame; may be empty
    std::string skyBox;  // farbox of "skyparms" ("env/sky1" for env/sky1_rt.tga ...); may be empty
    std::string editorImage;                // "qer_editorimage"; may be empty
    std::vector<std::string> surfaceParms;  // "surfaceparm" names, lower case (the level compiler's)
    // "q3map_sun r g b intensity degrees elevation" (also q3map_sunExt),
    // read by the level compiler; all zero when absent.
    double sun[6] = {0, 0, 0, 0, 0, 0};
    double surfaceLight = 0;  // "q3map_surfacelight": light given off by the faces
};

// Every shader of the scripts, by name without regard to case. The first
// definition of a name wins.
class ShaderLibrary {
public:
    // Parses one script. A damaged script (unbalanced braces, an endless
    // comment) keeps the shaders completed before the damage and returns
    // false with the reason in *problem.
    bool parse(const char* text, size_t size, std::string* problem);

    // Reads every "<folder>/*.shader" of the file system once, in name
    // order. Returns the number of scripts read; damaged ones are reported
    // through `report` (may be null) and skipped past.
    int readAll(const FileSystem& files, const char* folder,
                const std::function<void(const char* script, const char* problem)>& report = nullptr);

    const ShaderInfo* find(const char* name) const;
    size_t count() const { return shaders.size(); }

private:
    std::unordered_map<std::string, ShaderInfo> shaders;  // key: lower-case name
};
