// Parsing the shader scripts of the game data into per-texture stage lists.
#include "resources/ShaderScripts.h"

#include <set>
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

// Where a keyword line ends: the words read since it began are applied.
struct ShaderBuilder {
    ShaderInfo info;
    ShaderStage stage;
    bool depthWriteGiven = false;
    std::vector<std::string> words;
    std::set<std::string>* ignored;

    void endLine(int depth)
    {
        if (words.empty())
            return;
        bool used = depth == 2 ? applyStageLine(stage, words) : applyShaderLine(info, words);
        if (depth == 2 && lowerCase(words[0]) == "depthwrite")
            depthWriteGiven = true;
        if (!used && ignored)
            ignored->insert(lowerCase(words[0]));
        words.clear();
    }
    void endStage()
    {
        finishStage(stage, depthWriteGiven);
        for (const std::string& image : stage.images)
            if (info.image.empty() && !isLightmapImage(image))
                info.image = image;
        if (info.stages.size() < size_t(kMaxStages))
            info.stages.push_back(stage);
        stage = ShaderStage();
        depthWriteGiven = false;
    }
};

// After damage, a word at the start of a line followed by '{' that is no
// keyword (names are paths) starts the next shader.
bool looksLikeShaderName(const std::string& word)
{
    static const char* const kKeywords[] = {"nopicmip", "nomipmaps", "polygonoffset", "depthwrite",
                                            "detail", "portal", "entitymergable"};
    std::string lower = lowerCase(word);
    for (const char* k : kKeywords)
        if (lower == k)
            return false;
    return lower.find('/') != std::string::npos || lower.find('_') != std::string::npos ||
           lower.find('.') == std::string::npos;
}

} // namespace

bool ShaderLibrary::parse(const char* text, size_t size, std::string* problem,
                          std::set<std::string>* ignored)
{
    Tokenizer tokens{text, text + (text ? size : 0), ""};
    std::string token, name, firstProblem;
    ShaderBuilder builder;
    builder.ignored = ignored;
    bool newLine = false;
    bool damaged = false;       // skipping to the next shader name
    bool candidateLine = false; // the pending name began its line
    int depth = 0;

    auto damage = [&](const char* why) {
        if (firstProblem.empty())
            firstProblem = why;
        damaged = true;
        depth = 0;
        name.clear();
        builder = ShaderBuilder();
        builder.ignored = ignored;
    };

    while (tokens.next(token, newLine)) {
        if (damaged) {
            if (token == "{" && !name.empty() && candidateLine && looksLikeShaderName(name)) {
                damaged = false;
                depth = 1;
                continue;
            }
            candidateLine = newLine;
            name = (token == "{" || token == "}") ? std::string() : token;
            continue;
        }
        if (newLine)
            builder.endLine(depth);
        if (token == "{") {
            builder.endLine(depth);
            if (depth == 0 && name.empty()) {
                damage("'{' without a shader name");
                continue;
            }
            if (depth == 2) {
                damage("braces nested too deep");
                continue;
            }
            depth++;
            continue;
        }
        if (token == "}") {
            builder.endLine(depth);
            if (depth == 0) {
                damage("'}' without a matching '{'");
                continue;
            }
            if (--depth == 1) {
                builder.endStage();
            } else {
                std::string key = lowerCase(name);
                if (!shaders.count(key))
                    shaders[key] = builder.info;
                name.clear();
                builder = ShaderBuilder();
                builder.ignored = ignored;
            }
            continue;
        }
        if (depth == 0) {
            if (!name.empty()) {
                damage("shader name not followed by '{'");
                candidateLine = newLine;
                name = token;
                continue;
            }
            name = token;
            continue;
        }
        builder.words.push_back(token);
    }
    if (!tokens.problem.empty() && firstProblem.empty())
        firstProblem = tokens.problem;
    if (firstProblem.empty() && (depth != 0 || !name.empty()))
        firstProblem = "script ends inside a shader";
    if (firstProblem.empty())
        return true;
    if (problem)
        *problem = firstProblem;
    return false;
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
        std::set<std::string> ignored;
        if (!parse(reinterpret_cast<const char*>(bytes.data()), bytes.size(), &problem, &ignored) &&
            report)
            report(script.c_str(), problem.c_str());
        if (!ignored.empty() && report) {
            std::string list = "keywords read and not drawn:";
            for (const std::string& keyword : ignored)
                list += " " + keyword;
            report(script.c_str(), list.c_str());
        }
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
