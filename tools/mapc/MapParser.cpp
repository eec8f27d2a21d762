#include "MapParser.h"
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace mapc {

const char* MapEntity::value(const char* key) const
{
    for (const auto& kv : pairs)
        if (kv.first == key) return kv.second.c_str();
    return nullptr;
}

bool MapEntity::vector(const char* key, Vec3& out) const
{
    const char* v = value(key);
    if (!v) return false;
    double x = 0, y = 0, z = 0;
    if (std::sscanf(v, "%lf %lf %lf", &x, &y, &z) != 3) return false;
    out = {x, y, z};
    return std::isfinite(x) && std::isfinite(y) && std::isfinite(z);
}

double MapEntity::number(const char* key, double fallback) const
{
    const char* v = value(key);
    if (!v) return fallback;
    char* end = nullptr;
    double d = std::strtod(v, &end);
    return (end != v && std::isfinite(d)) ? d : fallback;
}

namespace {

enum class Tok { End, OpenBrace, CloseBrace, OpenParen, CloseParen, String, Word };

// Splits the text into tokens, skipping blanks and // comments; every token
// remembers its line.
class Lexer {
public:
    explicit Lexer(const std::string& t) : text(t) {}

    Tok next()
    {
        skipBlank();
        startLine = line;
        value.clear();
        if (pos >= text.size()) return kind = Tok::End;
        char c = text[pos];
        switch (c) {
        case '{': ++pos; return kind = Tok::OpenBrace;
        case '}': ++pos; return kind = Tok::CloseBrace;
        case '(': ++pos; return kind = Tok::OpenParen;
        case ')': ++pos; return kind = Tok::CloseParen;
        default: break;
        }
        if (c == '"') {
            ++pos;
            while (pos < text.size() && text[pos] != '"' && text[pos] != '\n') value += text[pos++];
            if (pos >= text.size() || text[pos] != '"') {
                unterminated = true;
                return kind = Tok::End;
            }
            ++pos;
            return kind = Tok::String;
        }
        while (pos < text.size() && !isBlank(text[pos]) && !std::strchr("{}()\"", text[pos])) {
            if (text[pos] == '/' && pos + 1 < text.size() && text[pos + 1] == '/') break;
            value += text[pos++];
        }
        return kind = Tok::Word;
    }

    // True when another token follows on the current line.
    bool moreOnLine()
    {
        size_t p = pos;
        while (p < text.size() && (text[p] == ' ' || text[p] == '\t' || text[p] == '\r')) ++p;
        if (p >= text.size() || text[p] == '\n') return false;
        return !(text[p] == '/' && p + 1 < text.size() && text[p + 1] == '/');
    }

    Tok kind = Tok::End;
    std::string value;
    int startLine = 1;
    bool unterminated = false;

private:
    static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

    void skipBlank()
    {
        for (;;) {
            while (pos < text.size() && isBlank(text[pos])) {
                if (text[pos] == '\n') ++line;
                ++pos;
            }
            if (pos + 1 < text.size() && text[pos] == '/' && text[pos + 1] == '/') {
                while (pos < text.size() && text[pos] != '\n') ++pos;
                continue;
            }
            return;
        }
    }

    const std::string& text;
    size_t pos = 0;
    int line = 1;
};

const char* describe(const Lexer& lx)
{
    switch (lx.kind) {
    case Tok::End: return lx.unterminated ? "an unterminated string" : "the end of the file";
    case Tok::OpenBrace: return "'{'";
    case Tok::CloseBrace: return "'}'";
    case Tok::OpenParen: return "'('";
    case Tok::CloseParen: return "')'";
    case Tok::String: return "a quoted string";
    case Tok::Word: return "a word";
    }
    return "something else";
}

class Parser {
public:
    Parser(const std::string& text, Diagnostics& d) : lx(text), diag(d) {}

    bool run(MapFile& out)
    {
        for (;;) {
            Tok t = lx.next();
            if (t == Tok::End) {
                if (lx.unterminated) return fail("unterminated string");
                return true;
            }
            if (t != Tok::OpenBrace) return expected("'{' to open an entity");
            MapEntity e;
            e.line = lx.startLine;
            if (!entity(e)) return false;
            out.entities.push_back(std::move(e));
        }
    }

private:
    bool fail(const char* what)
    {
        diag.fail(lx.startLine, "%s", what);
        return false;
    }

    bool expected(const char* what)
    {
        diag.fail(lx.startLine, "expected %s, found %s", what, describe(lx));
        return false;
    }

    bool entity(MapEntity& e)
    {
        for (;;) {
            Tok t = lx.next();
            if (t == Tok::CloseBrace) return true;
            if (t == Tok::String) {
                std::string key = lx.value;
                int keyLine = lx.startLine;
                if (lx.next() != Tok::String) return expected("a quoted value after the key");
                if (lx.startLine != keyLine) return fail("a key and its value must be on one line");
                if (key.empty()) return fail("empty key");
                if (key.size() > kMaxKeyLength || lx.value.size() > kMaxKeyLength) {
                    diag.fail(lx.startLine, "key or value longer than %zu characters", kMaxKeyLength);
                    return false;
                }
                e.pairs.emplace_back(key, lx.value);
                continue;
            }
            if (t == Tok::OpenBrace) {
                MapBrush b;
                b.line = lx.startLine;
                if (!brush(b)) return false;
                e.brushes.push_back(std::move(b));
                continue;
            }
            return expected("a key, a brush or '}'");
        }
    }

    bool number(double& out)
    {
        if (lx.next() != Tok::Word) return expected("a number");
        const char* s = lx.value.c_str();
        char* end = nullptr;
        errno = 0;
        double d = std::strtod(s, &end);
        if (end == s || *end != '\0' || errno == ERANGE || !std::isfinite(d)) {
            diag.fail(lx.startLine, "expected a number, found '%.40s'", s);
            return false;
        }
        out = d;
        return true;
    }

    bool integer(int& out)
    {
        double d = 0;
        if (!number(d)) return false;
        if (d != std::floor(d) || std::fabs(d) > 2147483647.0) {
            diag.fail(lx.startLine, "expected a whole number, found '%.40s'", lx.value.c_str());
            return false;
        }
        out = static_cast<int>(d);
        return true;
    }

    bool point(Vec3& p)
    {
        if (lx.next() != Tok::OpenParen) return expected("'(' before a point");
        for (int i = 0; i < 3; ++i) {
            if (!number(p[i])) return false;
            if (std::fabs(p[i]) > kMaxCoordinate) {
                diag.fail(lx.startLine, "coordinate %g is outside +-%g", p[i], kMaxCoordinate);
                return false;
            }
        }
        if (lx.next() != Tok::CloseParen) return expected("')' after a point");
        return true;
    }

    bool brush(MapBrush& b)
    {
        for (;;) {
            Tok t = lx.next();
            if (t == Tok::CloseBrace) return true;
            if (t == Tok::Word) {
                diag.fail(lx.startLine, "unsupported brush form '%.40s' (only plane brushes)",
                          lx.value.c_str());
                return false;
            }
            if (t != Tok::OpenParen) return expected("'(' to start a brush side or '}'");
            if (static_cast<int>(b.sides.size()) >= kMaxSidesPerBrush) {
                diag.fail(lx.startLine, "brush has more than %d sides", kMaxSidesPerBrush);
                return false;
            }
            MapSide s;
            s.line = lx.startLine;
            for (int i = 0; i < 3; ++i) {
                if (!number(s.points[0][i])) return false;
                if (std::fabs(s.points[0][i]) > kMaxCoordinate) {
                    diag.fail(lx.startLine, "coordinate %g is outside +-%g", s.points[0][i], kMaxCoordinate);
                    return false;
                }
            }
            if (lx.next() != Tok::CloseParen) return expected("')' after a point");
            if (!point(s.points[1]) || !point(s.points[2])) return false;
            if (lx.next() != Tok::Word) return expected("a texture name");
            if (lx.startLine != s.line) return fail("a brush side must be on one line");
            s.texture = lx.value;
            if (s.texture.size() > kMaxTextureName) {
                diag.fail(lx.startLine, "texture name longer than %zu characters", kMaxTextureName);
                return false;
            }
            if (!number(s.offset[0]) || !number(s.offset[1]) || !number(s.rotation) ||
                !number(s.scale[0]) || !number(s.scale[1]))
                return false;
            if (lx.startLine != s.line) return fail("a brush side must be on one line");
            // Optional: contents, surface flags, value.
            int extra[3] = {0, 0, 0};
            int count = 0;
            while (count < 3 && lx.moreOnLine()) {
                if (!integer(extra[count])) return false;
                ++count;
            }
            if (lx.moreOnLine()) {
                lx.next();
                return fail("unexpected text after a brush side");
            }
            if (count > 0) s.contents = extra[0];
            if (count > 1) s.flags = extra[1];
            b.sides.push_back(std::move(s));
        }
    }

    Lexer lx;
    Diagnostics& diag;
};

} // namespace

bool parseMap(const std::string& text, MapFile& out, Diagnostics& diag)
{
    out.entities.clear();
    if (text.find('\0') != std::string::npos) {
        diag.fail(static_cast<int>(std::count(text.begin(), text.begin() + text.find('\0'), '\n')) + 1,
                  "NUL byte in the source");
        return false;
    }
    Parser p(text, diag);
    return p.run(out);
}

} // namespace mapc
