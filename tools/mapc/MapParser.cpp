// Parsing .map text into entities, brushes and patches.
#include "MapParser.h"
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cstdint>

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

void MapEntity::set(const std::string& key, const std::string& v)
{
    for (auto& kv : pairs)
        if (kv.first == key) { kv.second = v; return; }
    pairs.emplace_back(key, v);
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
        startLine = commentLine > 0 ? commentLine : line;
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
            if (text[pos] == '/' && pos + 1 < text.size() && (text[pos + 1] == '/' || text[pos + 1] == '*')) break;
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
        return !(text[p] == '/' && p + 1 < text.size() && (text[p + 1] == '/' || text[p + 1] == '*'));
    }

    Tok kind = Tok::End;
    std::string value;
    int startLine = 1;
    bool unterminated = false;
    int commentLine = 0;  // where a comment that never closes starts

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
            if (pos + 1 < text.size() && text[pos] == '/' && text[pos + 1] == '*') {
                size_t close = text.find("*/", pos + 2);
                size_t stop = close == std::string::npos ? text.size() : close + 2;
                int opened = line;
                line += static_cast<int>(std::count(text.begin() + static_cast<long>(pos),
                                                    text.begin() + static_cast<long>(stop), '\n'));
                if (close == std::string::npos) {
                    unterminated = true;
                    commentLine = opened;
                }
                pos = stop;
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
    case Tok::End: return lx.unterminated ? "an unterminated string or comment" : "the end of the file";
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
                if (lx.unterminated) return fail("unterminated string or comment");
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
                e.pairs.emplace_back(std::move(key), lx.value);
                continue;
            }
            if (t == Tok::OpenBrace) {
                int line = lx.startLine;
                if (!primitive(e, line)) return false;
                continue;
            }
            return expected("a key, a brush or '}'");
        }
    }

    // After the '{' of a brush or patch: the classic brush's first side, a
    // brushDef or a patchDef2 block.
    bool primitive(MapEntity& e, int line)
    {
        Tok t = lx.next();
        if (t == Tok::CloseBrace) return true;  // empty brush: nothing to build
        if (t == Tok::OpenParen) {
            MapBrush b;
            b.line = line;
            if (!brushSides(b, false, true)) return false;
            e.brushes.push_back(std::move(b));
            return true;
        }
        if (t != Tok::Word) return expected("a brush side, brushDef or patchDef2");
        if (lx.value == "brushDef") {
            MapBrush b;
            b.line = line;
            if (lx.next() != Tok::OpenBrace) return expected("'{' after brushDef");
            if (!brushSides(b, true, false)) return false;
            if (lx.next() != Tok::CloseBrace) return expected("'}' to close the brush");
            e.brushes.push_back(std::move(b));
            return true;
        }
        if (lx.value == "patchDef2") {
            MapPatch p;
            p.line = line;
            if (!patch(p)) return false;
            if (lx.next() != Tok::CloseBrace) return expected("'}' to close the patch");
            e.patches.push_back(std::move(p));
            return true;
        }
        diag.fail(lx.startLine, "unsupported primitive '%.40s' (brushes, brushDef and patchDef2 only)",
                  lx.value.c_str());
        return false;
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

    // Flags are written signed or unsigned (the top bit is a flag too).
    bool flagWord(int& out)
    {
        double d = 0;
        if (!number(d)) return false;
        if (d != std::floor(d) || d < -2147483648.0 || d > 4294967295.0) {
            diag.fail(lx.startLine, "expected a whole number, found '%.40s'", lx.value.c_str());
            return false;
        }
        out = static_cast<int>(static_cast<uint32_t>(static_cast<int64_t>(d)));
        return true;
    }

    bool coordinate(double& out)
    {
        if (!number(out)) return false;
        if (std::fabs(out) > kMaxCoordinate) {
            diag.fail(lx.startLine, "coordinate %g is outside +-%g", out, kMaxCoordinate);
            return false;
        }
        return true;
    }

    // "( x y z )"; the '(' is already read when `opened`.
    bool point(Vec3& p, bool opened)
    {
        if (!opened && lx.next() != Tok::OpenParen) return expected("'(' before a point");
        for (int i = 0; i < 3; ++i)
            if (!coordinate(p[i])) return false;
        if (lx.next() != Tok::CloseParen) return expected("')' after a point");
        return true;
    }

    // Sides up to the closing '}'. `firstOpened`: the first side's '(' is read.
    bool brushSides(MapBrush& b, bool matrixForm, bool firstOpened)
    {
        bool opened = firstOpened;
        for (;;) {
            if (!opened) {
                Tok t = lx.next();
                if (t == Tok::CloseBrace) return true;
                if (t != Tok::OpenParen) return expected("'(' to start a brush side or '}'");
            }
            opened = false;
            if (static_cast<int>(b.sides.size()) >= kMaxSidesPerBrush) {
                diag.fail(lx.startLine, "brush has more than %d sides", kMaxSidesPerBrush);
                return false;
            }
            MapSide s;
            s.line = lx.startLine;
            if (!point(s.points[0], true) || !point(s.points[1], false) || !point(s.points[2], false)) return false;
            if (matrixForm) {
                s.hasMatrix = true;
                if (lx.next() != Tok::OpenParen) return expected("'(' before the texture matrix");
                for (int r = 0; r < 2; ++r) {
                    if (lx.next() != Tok::OpenParen) return expected("'(' before a texture matrix row");
                    for (int c = 0; c < 3; ++c)
                        if (!number(s.matrix[r][c])) return false;
                    if (lx.next() != Tok::CloseParen) return expected("')' after a texture matrix row");
                }
                if (lx.next() != Tok::CloseParen) return expected("')' after the texture matrix");
            }
            if (lx.next() != Tok::Word) return expected("a texture name");
            if (lx.startLine != s.line) return fail("a brush side must be on one line");
            s.texture = lx.value;
            if (s.texture.size() > kMaxTextureName) {
                diag.fail(lx.startLine, "texture name longer than %zu characters", kMaxTextureName);
                return false;
            }
            if (!matrixForm && (!number(s.offset[0]) || !number(s.offset[1]) || !number(s.rotation) ||
                                !number(s.scale[0]) || !number(s.scale[1])))
                return false;
            if (lx.startLine != s.line) return fail("a brush side must be on one line");
            int extra[3] = {0, 0, 0};
            int count = 0;
            while (count < 3 && lx.moreOnLine()) {
                if (!flagWord(extra[count])) return false;
                ++count;
            }
            if (lx.moreOnLine()) {
                lx.next();
                return fail("unexpected text after a brush side");
            }
            s.contents = extra[0];
            s.flags = extra[1];
            s.value = extra[2];
            b.sides.push_back(std::move(s));
        }
    }

    bool patch(MapPatch& p)
    {
        if (lx.next() != Tok::OpenBrace) return expected("'{' after patchDef2");
        if (lx.next() != Tok::Word) return expected("the patch's texture name");
        p.texture = lx.value;
        if (p.texture.size() > kMaxTextureName) {
            diag.fail(lx.startLine, "texture name longer than %zu characters", kMaxTextureName);
            return false;
        }
        if (lx.next() != Tok::OpenParen) return expected("'(' before the patch size");
        double info[5];
        for (double& v : info)
            if (!number(v)) return false;
        if (lx.next() != Tok::CloseParen) return expected("')' after the patch size");
        for (int i = 0; i < 2; ++i)
            if (info[i] != std::floor(info[i]) || info[i] < 1 || info[i] > kMaxPatchSide) {
                diag.fail(lx.startLine, "patch size %g is not a whole number from 1 to %d", info[i], kMaxPatchSide);
                return false;
            }
        p.width = static_cast<int>(info[0]);
        p.height = static_cast<int>(info[1]);
        p.points.resize(static_cast<size_t>(p.width) * static_cast<size_t>(p.height));
        if (lx.next() != Tok::OpenParen) return expected("'(' before the control points");
        for (int column = 0; column < p.width; ++column) {
            if (lx.next() != Tok::OpenParen) return expected("'(' before a row of control points");
            for (int row = 0; row < p.height; ++row) {
                PatchPoint& cp = p.points[static_cast<size_t>(row) * p.width + column];
                if (lx.next() != Tok::OpenParen) return expected("'(' before a control point");
                for (int i = 0; i < 3; ++i)
                    if (!coordinate(cp.position[i])) return false;
                if (!number(cp.st[0]) || !number(cp.st[1])) return false;
                if (lx.next() != Tok::CloseParen) return expected("')' after a control point");
            }
            if (lx.next() != Tok::CloseParen) return expected("')' after a row of control points");
        }
        if (lx.next() != Tok::CloseParen) return expected("')' after the control points");
        if (lx.next() != Tok::CloseBrace) return expected("'}' after the control points");
        return true;
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
