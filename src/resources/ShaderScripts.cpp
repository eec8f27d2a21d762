#include "resources/ShaderScripts.h"

#include <cstdlib>
#include <vector>

#include "resources/FileSystem.h"

namespace {

const size_t kMaxToken = 256;

std::string lowerCase(const std::string& text) { return FileSystem::lowerCase(text); }

// Splits a script into words, skipping comments; tells whether a line break
// came before each word, since a stage keyword's arguments end at the line.
struct Tokenizer {
    const char* at;
    const char* end;
    std::string problem;

    bool next(std::string& token, bool& newLine)
    {
        token.clear();
        newLine = false;
        for (;;) {
            while (at < end && (unsigned char)*at <= ' ') {
                if (*at == '\n')
                    newLine = true;
                at++;
            }
            if (at + 1 < end && at[0] == '/' && at[1] == '/') {
                while (at < end && *at != '\n')
                    at++;
                continue;
            }
            if (at + 1 < end && at[0] == '/' && at[1] == '*') {
                const char* close = at + 2;
                while (close + 1 < end && !(close[0] == '*' && close[1] == '/'))
                    close++;
                if (close + 1 >= end) {
                    problem = "comment never closed";
                    at = end;
                    return false;
                }
                for (const char* c = at; c < close; c++)
                    if (*c == '\n')
                        newLine = true;
                at = close + 2;
                continue;
            }
            break;
        }
        if (at >= end)
            return false;
        if (*at == '"') {
            at++;
            while (at < end && *at != '"' && *at != '\n') {
                if (token.size() < kMaxToken)
                    token += *at;
                at++;
            }
            if (at < end && *at == '"')
                at++;
            return true;
        }
        if (*at == '{' || *at == '}') {
            token = *at++;
            return true;
        }
        while (at < end && (unsigned char)*at > ' ' && *at != '{' && *at != '}') {
            if (token.size() < kMaxToken)
                token += *at;
            at++;
        }
        return true;
    }
};

bool isLightmapImage(const std::string& name)
{
    std::string lower = lowerCase(name);
    return lower.empty() || lower[0] == '$' || lower == "*white";
}

} // namespace

bool ShaderLibrary::parse(const char* text, size_t size, std::string* problem)
{
    Tokenizer tokens{text, text + (text ? size : 0), ""};
    std::string token, name, stageKeyword;
    ShaderInfo info;
    bool newLine = false;
    int depth = 0;
    int argument = 0;  // words read after a keyword on its line
    std::string keyword;
    auto fail = [&](const char* why) {
        if (problem)
            *problem = why;
        return false;
    };

    while (tokens.next(token, newLine)) {
        if (newLine)
            keyword.clear(), argument = 0;
        if (token == "{") {
            if (depth == 0 && name.empty())
                return fail("'{' without a shader name");
            if (++depth > 2)
                return fail("braces nested too deep");
            keyword.clear();
            continue;
        }
        if (token == "}") {
            if (depth == 0)
                return fail("'}' without a matching '{'");
            if (--depth == 0) {
                std::string key = lowerCase(name);
                if (!shaders.count(key))
                    shaders[key] = info;
                name.clear();
                info = ShaderInfo();
            }
            keyword.clear();
            continue;
        }
        if (depth == 0) {
            if (!name.empty())
                return fail("shader name not followed by '{'");
            name = token;
            continue;
        }
        if (keyword.empty()) {
            keyword = lowerCase(token);
            argument = 0;
            continue;
        }
        argument++;
        if (depth == 1 && keyword == "skyparms" && argument == 1 && token != "-")
            info.skyBox = token;
        if (depth == 1 && keyword == "surfaceparm" && argument == 1)
            info.surfaceParms.push_back(lowerCase(token));
        if (depth == 1 && (keyword == "q3map_sun" || keyword == "q3map_sunext") && argument >= 1 && argument <= 6)
            info.sun[argument - 1] = std::strtod(token.c_str(), nullptr);
        if (depth == 1 && keyword == "q3map_surfacelight" && argument == 1)
            info.surfaceLight = std::strtod(token.c_str(), nullptr);
        if (depth == 1 && keyword == "qer_editorimage" && argument == 1)
            info.editorImage = token;
        if (depth == 2 && info.image.empty()) {
            bool image = ((keyword == "map" || keyword == "clampmap") && argument == 1) ||
                         (keyword == "animmap" && argument == 2);
            if (image && !isLightmapImage(token))
                info.image = token;
        }
    }
    if (!tokens.problem.empty())
        return fail(tokens.problem.c_str());
    if (depth != 0 || !name.empty())
        return fail("script ends inside a shader");
    return true;
}

int ShaderLibrary::readAll(const FileSystem& files, const char* folder,
                           const std::function<void(const char* script, const char* problem)>& report)
{
    int read = 0;
    std::vector<unsigned char> bytes;
    for (const std::string& script : files.list(folder, ".shader")) {
        if (!files.readFile(script.c_str(), bytes))
            continue;
        std::string problem;
        if (!parse(reinterpret_cast<const char*>(bytes.data()), bytes.size(), &problem) && report)
            report(script.c_str(), problem.c_str());
        read++;
    }
    return read;
}

const ShaderInfo* ShaderLibrary::find(const char* name) const
{
    if (!name)
        return nullptr;
    auto it = shaders.find(lowerCase(name));
    return it == shaders.end() ? nullptr : &it->second;
}
