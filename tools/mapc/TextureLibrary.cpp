#include "TextureLibrary.h"
#include <dirent.h>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace mapc {

namespace {

constexpr size_t kMaxScriptBytes = 4u << 20;
constexpr size_t kMaxImageHeadBytes = 256u << 10;  // JPEG frame headers can follow big metadata

std::string lower(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string withoutExtension(const std::string& s)
{
    size_t dot = s.find_last_of('.');
    size_t slash = s.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return s;
    return s.substr(0, dot);
}

unsigned be16(const std::string& b, size_t at)
{
    return (static_cast<unsigned char>(b[at]) << 8) | static_cast<unsigned char>(b[at + 1]);
}

// Words of a shader script: quoted or bare, braces on their own; comments
// skipped. Newlines are reported so a stage keyword reads its own line.
class ScriptWords {
public:
    explicit ScriptWords(const std::string& t) : text(t) {}

    bool next(std::string& word)
    {
        for (;;) {
            while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
            if (pos + 1 < text.size() && text[pos] == '/' && text[pos + 1] == '/') {
                while (pos < text.size() && text[pos] != '\n') ++pos;
                continue;
            }
            if (pos + 1 < text.size() && text[pos] == '/' && text[pos + 1] == '*') {
                size_t close = text.find("*/", pos + 2);
                pos = close == std::string::npos ? text.size() : close + 2;
                continue;
            }
            break;
        }
        if (pos >= text.size()) return false;
        word.clear();
        if (text[pos] == '{' || text[pos] == '}') {
            word = text[pos++];
            return true;
        }
        if (text[pos] == '"') {
            size_t close = text.find('"', pos + 1);
            size_t stop = close == std::string::npos ? text.size() : close;
            word = text.substr(pos + 1, stop - pos - 1);
            pos = close == std::string::npos ? stop : stop + 1;
            return true;
        }
        while (pos < text.size() && !std::isspace(static_cast<unsigned char>(text[pos])) && text[pos] != '{' &&
               text[pos] != '}')
            word += text[pos++];
        return true;
    }

    // The rest of the current line's words.
    std::vector<std::string> restOfLine()
    {
        std::vector<std::string> words;
        for (;;) {
            while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\r')) ++pos;
            if (pos >= text.size() || text[pos] == '\n' || text[pos] == '{' || text[pos] == '}') return words;
            if (pos + 1 < text.size() && text[pos] == '/' && (text[pos + 1] == '/' || text[pos + 1] == '*'))
                return words;
            std::string w;
            if (!next(w)) return words;
            words.push_back(w);
        }
    }

private:
    const std::string& text;
    size_t pos = 0;
};

} // namespace

void SearchPath::addFolder(const std::string& folder)
{
    if (!folder.empty()) folders.push_back(folder);
}

bool SearchPath::read(const std::string& path, std::string& out, size_t limit) const
{
    if (path.find("..") != std::string::npos || path.empty() || path[0] == '/') return false;
    for (const std::string& folder : folders) {
        FILE* f = std::fopen((folder + "/" + path).c_str(), "rb");
        if (!f) continue;
        out.assign(limit, '\0');
        size_t got = std::fread(&out[0], 1, limit, f);
        std::fclose(f);
        out.resize(got);
        return true;
    }
    return false;
}

std::vector<std::string> SearchPath::list(const std::string& dir, const char* suffix) const
{
    std::vector<std::string> names;
    size_t suffixLength = std::strlen(suffix);
    for (const std::string& folder : folders) {
        DIR* d = opendir((folder + "/" + dir).c_str());
        if (!d) continue;
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name.size() > suffixLength && lower(name.substr(name.size() - suffixLength)) == suffix)
                names.push_back(dir + "/" + name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

bool imageSize(const std::string& b, int& width, int& height)
{
    const unsigned char* u = reinterpret_cast<const unsigned char*>(b.data());
    if (b.size() >= 24 && std::memcmp(u, "\x89PNG\r\n\x1a\n", 8) == 0) {
        width = static_cast<int>((u[16] << 24) | (u[17] << 16) | (u[18] << 8) | u[19]);
        height = static_cast<int>((u[20] << 24) | (u[21] << 16) | (u[22] << 8) | u[23]);
        return width > 0 && height > 0;
    }
    if (b.size() >= 4 && u[0] == 0xff && u[1] == 0xd8) {
        size_t at = 2;
        while (at + 9 < b.size()) {
            if (u[at] != 0xff) return false;
            unsigned marker = u[at + 1];
            if (marker == 0xff) { ++at; continue; }
            size_t length = be16(b, at + 2);
            bool frame = marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
            if (frame) {
                height = static_cast<int>(be16(b, at + 5));
                width = static_cast<int>(be16(b, at + 7));
                return width > 0 && height > 0;
            }
            if (length < 2) return false;
            at += 2 + length;
        }
        return false;
    }
    // TGA has no magic: a plausible true-colour or grey header.
    if (b.size() >= 18) {
        int type = u[2];
        int bits = u[16];
        bool typeOk = type == 2 || type == 3 || type == 10 || type == 11 || type == 1 || type == 9;
        bool bitsOk = bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32;
        width = u[12] | (u[13] << 8);
        height = u[14] | (u[15] << 8);
        return typeOk && bitsOk && width > 0 && height > 0;
    }
    return false;
}

void TextureLibrary::load(const SearchPath& p, Diagnostics& diag)
{
    path = &p;
    shaders.clear();
    known.clear();
    for (const std::string& file : p.list("scripts", ".shader")) {
        std::string text;
        if (!p.read(file, text, kMaxScriptBytes + 1)) continue;
        if (text.size() > kMaxScriptBytes) {
            diag.warn(0, "shader script %s larger than %zu bytes; skipped", file.c_str(), kMaxScriptBytes);
            continue;
        }
        parseScript(file, text, diag);
    }
}

void TextureLibrary::parseScript(const std::string& file, const std::string& text, Diagnostics& diag)
{
    ScriptWords words(text);
    std::string name, w;
    while (words.next(name)) {
        if (name == "{" || name == "}") {
            diag.warn(0, "shader script %s: stray '%s'; rest of the file skipped", file.c_str(), name.c_str());
            return;
        }
        if (!words.next(w) || w != "{") {
            diag.warn(0, "shader script %s: '%.60s' has no body; rest of the file skipped", file.c_str(),
                      name.c_str());
            return;
        }
        Shader shader;
        std::string stageImage;
        int depth = 1;
        while (depth > 0 && words.next(w)) {
            if (w == "{") { ++depth; continue; }
            if (w == "}") { --depth; continue; }
            std::string key = lower(w);
            std::vector<std::string> args = words.restOfLine();
            if (depth == 1 && key == "surfaceparm" && !args.empty()) shader.parms.push_back(lower(args[0]));
            if (depth == 1 && key == "qer_editorimage" && !args.empty()) shader.image = args[0];
            if (depth == 2 && stageImage.empty() && !args.empty() && (key == "map" || key == "clampmap") &&
                args[0][0] != '$')
                stageImage = args[0];
            if (depth == 2 && stageImage.empty() && key == "animmap" && args.size() > 1) stageImage = args[1];
        }
        if (depth > 0) {
            diag.warn(0, "shader script %s: '%.60s' is not closed", file.c_str(), name.c_str());
            return;
        }
        if (shader.image.empty()) shader.image = stageImage;
        shaders.emplace(lower(name), std::move(shader));  // the first definition wins
    }
}

bool TextureLibrary::findImage(const std::string& base, int& width, int& height) const
{
    if (!path) return false;
    static const char* const kExtensions[] = {".tga", ".jpg", ".jpeg", ".png"};
    std::string stem = withoutExtension(base);
    for (const char* ext : kExtensions) {
        std::string bytes;
        if (path->read(stem + ext, bytes, kMaxImageHeadBytes) && imageSize(bytes, width, height)) return true;
    }
    return false;
}

const TextureTraits& TextureLibrary::traits(const std::string& name, Diagnostics& diag)
{
    std::string key = lower(name);
    auto found = known.find(key);
    if (found != known.end()) return found->second;

    TextureTraits t;
    std::string image = "textures/" + name;
    auto shader = shaders.find("textures/" + key);
    if (shader != shaders.end()) {
        for (const std::string& parm : shader->second.parms) applySurfaceParm(parm.c_str(), t);
        if (!shader->second.image.empty()) image = shader->second.image;
    } else {
        t = toolTextureTraits(name.c_str());
    }
    bool invisible = (t.flags & (kSurfNoDraw | kSurfSky)) != 0;
    if (!findImage(image, t.width, t.height) && !findImage("textures/" + name, t.width, t.height)) {
        t.width = t.height = 64;
        if (!invisible && path && !path->empty()) diag.warn(0, "no image for texture '%s' on the search path; taken as 64 x 64", name.c_str());
    }
    return known.emplace(key, t).first->second;
}

} // namespace mapc
