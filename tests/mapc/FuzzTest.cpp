// Damaged brush sources: byte flips, cuts, doubled or missing braces and
// parentheses, wild numbers, degenerate planes, very many sides and very long
// tokens; damaged model files. Each case is compiled in a child process (see
// FuzzSupport.h). The hand-made extremes are in ExtremeTest.cpp.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/stat.h>

#include "FuzzSupport.h"

#ifndef MAPC_FUZZ_ROUNDS
#define MAPC_FUZZ_ROUNDS 220
#endif
#ifndef MAPC_FUZZ_SHIPPED_ROUNDS
#define MAPC_FUZZ_SHIPPED_ROUNDS 24
#endif

using namespace mapctest;

namespace {
// ---- mutations ----------------------------------------------------------

using Rng = std::mt19937;
using mapc::Vec3;

size_t pick(Rng& rng, size_t n) { return n ? rng() % n : 0; }

std::vector<size_t> positionsOf(const std::string& s, const char* chars)
{
    std::vector<size_t> at;
    for (size_t i = 0; i < s.size(); ++i)
        if (std::strchr(chars, s[i])) at.push_back(i);
    return at;
}

// Start and length of every number-looking word.
std::vector<std::pair<size_t, size_t>> numbersOf(const std::string& s)
{
    std::vector<std::pair<size_t, size_t>> at;
    for (size_t i = 0; i < s.size();) {
        bool start = (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '-') &&
                     (i == 0 || s[i - 1] == ' ' || s[i - 1] == '"');
        if (!start) { ++i; continue; }
        size_t j = i + 1;
        while (j < s.size() && (std::isdigit(static_cast<unsigned char>(s[j])) || s[j] == '.')) ++j;
        at.emplace_back(i, j - i);
        i = j;
    }
    return at;
}

std::vector<size_t> lineStarts(const std::string& s, const char* prefix)
{
    std::vector<size_t> at;
    for (size_t i = 0; i < s.size(); ++i)
        if ((i == 0 || s[i - 1] == '\n') && s.compare(i, std::strlen(prefix), prefix) == 0) at.push_back(i);
    return at;
}

size_t lineEnd(const std::string& s, size_t from)
{
    size_t e = s.find('\n', from);
    return e == std::string::npos ? s.size() : e;
}

const char* const kWildNumbers[] = {
    "1e309", "-1e309", "nan", "NaN", "inf", "-inf", "1e308", "-1e308", "65536.5", "-65537", "65536",
    "0x1p70", "1e-320", "4.9e-324", "99999999999999999999999", "2147483648", "-2147483649", "-0",
    "1.#INF", "0.0000001", "1e", ".", "-", "+", "0x", "1..2", "3e-5", "12345.6789"};

std::string wildNumber(Rng& rng) { return kWildNumbers[pick(rng, std::size(kWildNumbers))]; }


std::string insertIntoWorldspawn(const std::string& s, const std::string& what)
{
    // After the first brush-opening line, or at the start when there is none.
    size_t at = s.find("\n{\n(");
    if (at == std::string::npos) return what + s;
    return s.substr(0, at + 1) + what + s.substr(at + 1);
}

std::string mutateOnce(const std::string& in, Rng& rng, std::string& what)
{
    std::string s = in;
    switch (pick(rng, 11)) {
    case 0: {  // byte flips
        int n = 1 + static_cast<int>(pick(rng, 6));
        for (int i = 0; i < n && !s.empty(); ++i) s[pick(rng, s.size())] = static_cast<char>(rng() & 0xff);
        what += "flip ";
        break;
    }
    case 1:  // cut
        s.resize(pick(rng, s.size()));
        what += "cut ";
        break;
    case 2: {  // doubled brace or parenthesis
        auto at = positionsOf(s, "{}()");
        if (!at.empty()) {
            size_t p = at[pick(rng, at.size())];
            s.insert(p, 1, s[p]);
        }
        what += "double-bracket ";
        break;
    }
    case 3: {  // missing brace or parenthesis
        auto at = positionsOf(s, "{}()");
        if (!at.empty()) s.erase(at[pick(rng, at.size())], 1);
        what += "drop-bracket ";
        break;
    }
    case 4: {  // wild numbers
        auto at = numbersOf(s);
        int n = 1 + static_cast<int>(pick(rng, 3));
        for (int i = 0; i < n && !at.empty(); ++i) {
            auto [p, len] = at[pick(rng, at.size())];
            s.replace(p, len, wildNumber(rng));
            at = numbersOf(s);
        }
        what += "number ";
        break;
    }
    case 5: {  // degenerate plane: repeated, collinear or nearly collinear points
        auto at = lineStarts(s, "( ");
        if (at.empty()) break;
        size_t p = at[pick(rng, at.size())];
        double t = static_cast<double>(pick(rng, 200)) - 100;
        double forms[4][3][3] = {{{t, 0, 0}, {t, 0, 0}, {t, 0, 0}},
                                 {{0, 0, 0}, {t, t, t}, {2 * t, 2 * t, 2 * t}},
                                 {{0, 0, 0}, {1, 0, 0}, {2, 1e-9, 0}},
                                 {{65536, 65536, 65536}, {-65536, -65536, -65536}, {65536, -65536, 65536}}};
        s.replace(p, lineEnd(s, p) - p, sideWithPoints(forms[pick(rng, 4)]));
        what += "degenerate ";
        break;
    }
    case 6: {  // very many sides: one brush past the limit, at it, or a faceted ball
        auto at = lineStarts(s, "( ");
        int form = static_cast<int>(pick(rng, 3));
        if (form == 0 && !at.empty()) {
            size_t p = at[pick(rng, at.size())];
            std::string line = s.substr(p, lineEnd(s, p) - p + 1);
            std::string many;
            int copies = pick(rng, 2) ? 3000 : 127;
            for (int i = 0; i < copies; ++i) many += line;
            s.insert(p, many);
        } else {
            int sides = form == 1 ? 128 : 4 + static_cast<int>(pick(rng, 60));
            s = insertIntoWorldspawn(s, ball(sides, 100 + static_cast<double>(pick(rng, 300)), 100, 64, 40));
        }
        what += "many-sides ";
        break;
    }
    case 7: {  // very long tokens
        size_t len = 1000 + pick(rng, 300000);
        std::string token(len, static_cast<char>('a' + pick(rng, 26)));
        int form = static_cast<int>(pick(rng, 5));
        if (form == 1) token = "\"" + token + "\"";
        if (form == 2) token = "\"" + token;  // never closed
        if (form == 3) token = std::string(len, '9');
        if (form == 4) token = "1" + std::string(len, '0') + ".5";
        auto at = positionsOf(s, " \n");
        s.insert(at.empty() ? 0 : at[pick(rng, at.size())] + 1, token + " ");
        what += "long-token ";
        break;
    }
    case 8: {  // line deleted, doubled or swapped
        auto at = lineStarts(s, "");
        if (at.size() < 2) break;
        size_t a = at[pick(rng, at.size())], b = at[pick(rng, at.size())];
        std::string la = s.substr(a, lineEnd(s, a) - a + 1);
        int form = static_cast<int>(pick(rng, 3));
        if (form == 0) s.erase(a, la.size());
        else if (form == 1) s.insert(a, la);
        else if (a != b) {
            if (a > b) std::swap(a, b);
            std::string l1 = s.substr(a, lineEnd(s, a) - a), l2 = s.substr(b, lineEnd(s, b) - b);
            s.replace(b, l2.size(), l1);
            s.replace(a, l1.size(), l2);
        }
        what += "lines ";
        break;
    }
    case 9: {  // odd keys on odd entities
        const char* entities[] = {
            "{\n\"classname\" \"light\"\n\"origin\" \"nan nan nan\"\n}\n",
            "{\n\"classname\" \"light\"\n\"origin\" \"1e300 -1e300 0\"\n\"light\" \"1e308\"\n}\n",
            "{\n\"classname\" \"light\"\n\"origin\" \"100 100 64\"\n\"_color\" \"-1 -1 -1\"\n\"light\" \"-5\"\n}\n",
            "{\n\"classname\" \"light\"\n\"origin\" \"100 100\"\n}\n",
            "{\n\"classname\" \"info_player_start\"\n\"origin\" \"inf 0 0\"\n}\n",
            "{\n\"classname\" \"enemy\"\n\"origin\" \"1e9 1e9 1e9\"\n}\n",
            "{\n\"classname\" \"worldspawn\"\n}\n",
            "{\n}\n",
            "{\n\"\" \"\"\n}\n",
            "{\n\"classname\" \"func_door\"\n{\n( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 ) t 0 0 0 1 1\n}\n}\n",
        };
        s += entities[pick(rng, std::size(entities))];
        if (pick(rng, 2)) {
            const char* keys[] = {"\"luxel_size\" \"0\"\n", "\"luxel_size\" \"nan\"\n", "\"luxel_size\" \"1e300\"\n",
                                  "\"ambient\" \"-1e308\"\n", "\"ambient\" \"nan\"\n", "\"luxel_size\" \"256\"\n"};
            size_t p = s.find("\"classname\" \"worldspawn\"\n");
            if (p != std::string::npos) s.insert(p, keys[pick(rng, std::size(keys))]);
        }
        what += "entity ";
        break;
    }
    default: {  // trailing contents / flags / value numbers
        auto at = lineStarts(s, "( ");
        if (at.empty()) break;
        size_t p = lineEnd(s, at[pick(rng, at.size())]);
        const char* tails[] = {" 0", " -1", " 2147483647 -2147483648", " 1 128 0", " 0 0 0 0", " 1.5", " 1e10",
                               " nan", " 1 2 3"};
        s.insert(p, tails[pick(rng, std::size(tails))]);
        what += "tail ";
        break;
    }
    }
    return s;
}

std::string mutate(const std::string& in, Rng& rng, std::string& what)
{
    std::string s = in;
    int n = 1 + (pick(rng, 4) == 0 ? static_cast<int>(pick(rng, 3)) + 1 : 0);
    for (int i = 0; i < n; ++i) s = mutateOnce(s, rng, what);
    return s;
}

// ---- sources ------------------------------------------------------------


std::vector<std::string> smallSources()
{
    std::vector<std::string> out;
    out.push_back(ambientWorld(hollowRoom({0, 0, 0, 256, 256, 128})) + pointEntity("info_player_start", 64, 64, 32) +
                  pointEntity("light", 128, 128, 100, "\"light\" \"300\"\n\"_color\" \"1 0.5 0.2\"\n"));
    out.push_back(ambientWorld(carvedRooms({{0, 0, 0, 192, 192, 128}, {160, 64, 0, 384, 128, 96}})) +
                  pointEntity("info_player_start", 64, 64, 32) + pointEntity("enemy", 300, 96, 32) +
                  pointEntity("particle_fountain", 96, 96, 16));
    // A room with a slanted block and a faceted pillar inside.
    out.push_back(ambientWorld(hollowRoom({0, 0, 0, 256, 256, 160}) + ball(12, 128, 128, 64, 30) +
                        "{\n( 0 0 40 ) ( 0 64 40 ) ( 64 0 60 ) halvex/metal 0 0 15 0.5 0.5\n" +
                        brush({10, 10, 0, 60, 60, 50}).substr(2)) +
                  pointEntity("info_player_start", 200, 200, 32));
    // As an editor writes it: trailing numbers, brushDef, detail, a patch,
    // a func_group and a door.
    out.push_back(entity("\"classname\" \"worldspawn\"\n" + withFlags(hollowRoom({0, 0, 0, 256, 256, 128}), "0 0 0") +
                         asBrushDef(brush({100, 100, 0, 140, 140, 128})) +
                         withFlags(brush({200, 200, 0, 240, 240, 30}), "134217728 0 0") + patchArch(20, 20, 120, 0)) +
                  entity("\"classname\" \"func_group\"\n" + withFlags(brush({10, 200, 0, 60, 250, 16}), "0 0 0")) +
                  entity("\"classname\" \"func_door\"\n" + brush({180, 20, 0, 200, 80, 100})) +
                  pointEntity("info_player_start", 64, 200, 32));
    return out;
}

std::string shippedSource()
{
    std::ifstream in(HALVEX_SOURCE_DIR "/content/maps/test.map", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// MAPC_FUZZ_SEED in the environment explores other cases than the fixed ones.
void fuzz(const std::vector<std::string>& sources, int rounds, uint32_t seed, int firstId)
{
    if (const char* env = std::getenv("MAPC_FUZZ_SEED")) seed += static_cast<uint32_t>(std::strtoul(env, nullptr, 10));
    Rng rng(seed);
    int valid = 0, errors = 0;
    for (int round = 0; round < rounds; ++round) {
        const std::string& base = sources[static_cast<size_t>(round) % sources.size()];
        std::string what;
        std::string source = mutate(base, rng, what);
        std::string why;
        Report r;
        int id = firstId + round;
        EXPECT_TRUE(runCase(source, id, why, r)) << "case " << id << " (" << what << "): " << why;
        if (r.outcome == Valid) ++valid;
        if (r.outcome == ErrorWithLine) ++errors;
    }
    std::printf("%d cases: %d valid levels, %d errors with a line\n", rounds, valid, errors);
}

} // namespace

TEST(MapcFuzz, TheUntouchedSourcesCompileToValidLevels)
{
    std::vector<std::string> sources = smallSources();
    sources.push_back(shippedSource());
    for (size_t i = 0; i < sources.size(); ++i) {
        std::string why;
        Report r;
        EXPECT_TRUE(runCase(sources[i], 9000 + static_cast<int>(i), why, r)) << why;
        EXPECT_EQ(r.outcome, Valid) << i << ": " << r.text;
    }
}

TEST(MapcFuzz, DamagedSmallSources)
{
    fuzz(smallSources(), MAPC_FUZZ_ROUNDS, 20240611u, 0);
}

TEST(MapcFuzz, DamagedShippedLevel)
{
    fuzz({shippedSource()}, MAPC_FUZZ_SHIPPED_ROUNDS, 777u, 100000);
}

// Damaged model files placed with misc_model: flipped bytes, cuts, wild
// counts and offsets. Each costs at most a warning; the level still compiles.
TEST(MapcFuzz, DamagedModels)
{
    char dir[] = "/tmp/mapc_fuzz_modelsXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string root = dir;
    mkdir((root + "/models").c_str(), 0755);
    const std::string ase = aseSquare("textures/halvex/metal.tga");
    const std::vector<unsigned char> md3Bytes = md3Triangle("models/tri/skin");
    const std::string md3(md3Bytes.begin(), md3Bytes.end());
    const std::string source = ambientWorld(hollowRoom({0, 0, 0, 256, 256, 128})) + pointEntity("info_player_start", 64, 64, 32) +
                               pointEntity("misc_model", 100, 100, 40, "\"model\" \"models/m.ase\"\n\"angles\" \"10 20 30\"\n") +
                               pointEntity("misc_model", 150, 150, 40, "\"model\" \"models/m.md3\"\n\"modelscale\" \"1e30\"\n") +
                               pointEntity("misc_model", 150, 150, 40, "\"model\" \"models/m.md3\"\n");
    static const char* const kWild[] = {"-1", "2147483647", "99999999", "1e308", "nan", "-0", "4294967296"};
    Rng rng(4242);
    for (int round = 0; round < 40; ++round) {
        std::string a = ase, m = md3;
        for (int k = 0; k < 1 + static_cast<int>(pick(rng, 4)); ++k) {
            switch (pick(rng, 4)) {
            case 0:  // flip bytes
                a[pick(rng, a.size())] = static_cast<char>(rng());
                m[pick(rng, m.size())] = static_cast<char>(rng());
                break;
            case 1:  // cut
                a.resize(pick(rng, a.size()));
                m.resize(pick(rng, m.size()));
                break;
            case 2: {  // a wild number in the text, a wild 32-bit field in the binary
                std::vector<std::pair<size_t, size_t>> nums = numbersOf(a);
                if (!nums.empty()) {
                    auto n = nums[pick(rng, nums.size())];
                    a.replace(n.first, n.second, kWild[pick(rng, std::size(kWild))]);
                }
                if (m.size() >= 4) {
                    uint32_t v = pick(rng, 2) ? 0x7fffffffu : static_cast<uint32_t>(rng());
                    std::memcpy(&m[pick(rng, m.size() - 3) & ~size_t(3)], &v, 4);
                }
                break;
            }
            default:  // a line doubled, braces unbalanced
                a.insert(pick(rng, a.size()), pick(rng, 2) ? "}\n" : "*MESH_FACE 0: A: 9 B: 9 C: 9\n");
                m += m.substr(0, pick(rng, m.size()));
            }
        }
        writeBytes(root + "/models/m.ase", a);
        writeBytes(root + "/models/m.md3", m);
        std::string why;
        Report r;
        EXPECT_TRUE(runCase(source, 7000 + round, why, r, root)) << "model case " << round << ": " << why;
        EXPECT_EQ(r.outcome, Valid) << round << ": " << r.text;
    }
    EXPECT_EQ(std::system(("rm -rf " + root).c_str()), 0);
}
