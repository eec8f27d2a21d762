// The file system on real folders and real zip archives: search order,
// case, refused names, listing, and damaged archives.
#include "ArchiveTestSupport.h"
#include "ResourceTestSupport.h"
#include "resources/FileSystem.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;
using rt::Bytes;

namespace {

Bytes text(const char* s) { return Bytes(s, s + std::strlen(s)); }

struct Reports {
    std::vector<std::string> lines;
    static void take(void* self, bool, const char* line)
    {
        static_cast<Reports*>(self)->lines.push_back(line);
    }
    bool has(const char* part) const
    {
        for (const std::string& l : lines)
            if (l.find(part) != std::string::npos)
                return true;
        return false;
    }
};

std::string read(FileSystem& files, const char* path)
{
    std::vector<unsigned char> out;
    if (!files.readFile(path, out))
        return "<none>";
    return std::string(out.begin(), out.end());
}

class FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::remove_all(root);
        fs::create_directories(root + "/base");
        files.setReporter(Reports::take, &reports);
    }
    std::string root = "fs_work";
    FileSystem files;
    Reports reports;
};

// Plain files win, later archives override earlier ones, names match in any
// case, bad names are refused and listing sees both kinds of source.
TEST_F(FileSystemTest, SearchOrderCaseAndListing)
{
    ASSERT_TRUE(rt::writeZip(root + "/base/b.pk3", {{"textures/Wall.JPG", text("from b")},
                                                    {"scripts/b.shader", text("b")},
                                                    {"only/b.txt", text("b only")}}));
    ASSERT_TRUE(rt::writeZip(root + "/base/a.pk3", {{"textures/wall.jpg", text("from a")},
                                                    {"textures/plain.tga", text("zip")},
                                                    {"scripts/a.SHADER", text("a")},
                                                    {"scripts/deeper/c.shader", text("c")},
                                                    {"../escape.txt", text("out")},
                                                    {"/abs.txt", text("abs")}}));
    ASSERT_TRUE(rt::writeFile(root + "/base/textures/plain.tga", text("plain")));
    ASSERT_TRUE(rt::writeFile(root + "/base/scripts/p.shader", text("p")));
    rt::writeFile(root + "/base/not-an-archive.pk3", text("garbage"));

    files.addFolder((root + "/base").c_str(), "base");
    EXPECT_EQ(files.addArchives((root + "/base").c_str(), "base"), 2);
    EXPECT_TRUE(reports.has("not-an-archive.pk3"));
    EXPECT_TRUE(reports.has("refused entry name"));

    EXPECT_EQ(read(files, "base/textures/wall.jpg"), "from b");  // b.pk3 comes after a.pk3
    EXPECT_EQ(read(files, "base//TEXTURES/Wall.jpg"), "from b");
    EXPECT_EQ(read(files, "base/textures/plain.tga"), "plain");
    EXPECT_EQ(read(files, "./base/only/b.txt"), "b only");
    EXPECT_EQ(read(files, "only/b.txt"), "<none>");  // outside the mount
    EXPECT_EQ(read(files, "base/escape.txt"), "<none>");
    EXPECT_EQ(read(files, "base/abs.txt"), "<none>");
    EXPECT_EQ(read(files, "base/../base/only/b.txt"), "<none>");
    EXPECT_EQ(read(files, "/etc/passwd"), "<none>");
    EXPECT_TRUE(reports.has("refused path"));
    EXPECT_TRUE(files.exists("base/Scripts/b.shader"));
    EXPECT_FALSE(files.exists("base/scripts"));

    std::vector<std::string> shaders = files.list("base/scripts", ".shader");
    ASSERT_EQ(shaders.size(), 3u);
    EXPECT_EQ(shaders[0], "base/scripts/a.SHADER");
    EXPECT_EQ(shaders[1], "base/scripts/b.shader");
    EXPECT_EQ(shaders[2], "base/scripts/p.shader");
}

// Damaged archives: a report, no data, and the next source still answers.
TEST_F(FileSystemTest, DamagedArchivesAreReportedAndSkipped)
{
    Bytes payload(5000, 'x');
    ASSERT_TRUE(rt::writeZip(root + "/z.pk3", {{"big.bin", payload, true},
                                               {"small.bin", text("0123456789"), true},
                                               {"huge.bin", text("tiny"), true},
                                               {"ok.txt", text("fine")}}));
    Bytes zip = rt::readFile(root + "/z.pk3");
    rt::stateSize(zip, 0, 100);         // inflates past what it states
    rt::stateSize(zip, 1, 20);          // shorter than stated
    rt::stateSize(zip, 2, 0xFFFFFFF0);  // states about 4 GB
    ASSERT_TRUE(rt::writeFile(root + "/z.pk3", zip));
    // Cut short: the central directory is gone.
    ASSERT_TRUE(rt::writeFile(root + "/cut.pk3", Bytes(zip.begin(), zip.begin() + long(zip.size() / 2))));

    EXPECT_FALSE(files.addArchive((root + "/cut.pk3").c_str()));
    files.addArchive((root + "/z.pk3").c_str());
    std::vector<unsigned char> out;
    EXPECT_FALSE(files.readFile("big.bin", out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(files.readFile("small.bin", out));
    EXPECT_FALSE(files.readFile("huge.bin", out));
    EXPECT_TRUE(reports.has("refused"));
    EXPECT_TRUE(reports.has("damaged"));
    EXPECT_EQ(read(files, "ok.txt"), "fine");
}

// Every stored copy of a name (local and central headers) made another of
// the same length.
void renameStored(Bytes& zip, const std::string& from, const std::string& to)
{
    for (size_t at = 0; at + from.size() <= zip.size(); at++)
        if (std::equal(from.begin(), from.end(), zip.begin() + long(at)))
            std::copy(to.begin(), to.end(), zip.begin() + long(at));
}

// One bad entry costs that entry, never the good ones beside it, and the
// line says what is wrong with it.
TEST_F(FileSystemTest, OneBadEntryDoesNotCostTheArchive)
{
    ASSERT_TRUE(rt::writeZip(root + "/dup.pk3", {{"dup/one.txt", text("first")},
                                                 {"good.txt", text("fine")},
                                                 {"dup/two.txt", text("second")},
                                                 {"nul/abXcd.txt", text("cut")}}));
    Bytes zip = rt::readFile(root + "/dup.pk3");
    renameStored(zip, "dup/two.txt", "dup/one.txt");
    renameStored(zip, "abXcd", std::string("ab\0cd", 5));
    ASSERT_TRUE(rt::writeFile(root + "/dup.pk3", zip));
    EXPECT_TRUE(files.addArchive((root + "/dup.pk3").c_str()));
    EXPECT_EQ(read(files, "good.txt"), "fine");
    EXPECT_EQ(read(files, "dup/one.txt"), "second");
    EXPECT_EQ(read(files, "nul/ab cd.txt"), "<none>");
    EXPECT_EQ(read(files, "nul/ab"), "<none>");
    EXPECT_TRUE(reports.has("entry dup/one.txt stored more than once; the last one is used"));
    EXPECT_TRUE(reports.has("refused entry name \"nul/ab\\0cd.txt\" (a NUL byte inside)"));
    EXPECT_EQ(reports.lines.size(), 2u);

    ASSERT_TRUE(rt::writeZip(root + "/wide.pk3", {{"a.txt", text("hello"), true}, {"b.txt", text("fine")}}));
    zip = rt::readFile(root + "/wide.pk3");
    rt::stateSize(zip, 0, 0xFFFFFFFFu);
    ASSERT_TRUE(rt::writeFile(root + "/wide.pk3", zip));
    EXPECT_FALSE(files.addArchive((root + "/wide.pk3").c_str()));
    EXPECT_TRUE(reports.has("entry a.txt states a size of 0xFFFFFFFF without the 64-bit record"));
    EXPECT_FALSE(reports.has("No such file"));
}

} // namespace

// Damaged archives, pictures and shader scripts, made at random from good
// ones: every read ends in data or a refusal, never a crash or a read out of
// bounds (the sanitizer build watches). More rounds behind the long option.
#ifndef FILES_FUZZ_ROUNDS
#define FILES_FUZZ_ROUNDS 150
#endif

#include <random>
#include <map>
#include <set>
#include <sstream>

#include "resources/ImageReader.h"
#include "resources/ShaderScripts.h"

namespace {

void quiet(void*, bool, const char*) {}

Bytes damaged(Bytes b, std::mt19937& rng)
{
    if (b.empty())
        return b;
    switch (rng() % 4) {
    case 0:  // cut short
        b.resize(rng() % b.size());
        break;
    case 1:  // a few bytes changed anywhere
        for (int i = 0, n = 1 + int(rng() % 8); i < n; i++)
            b[rng() % b.size()] = uint8_t(rng());
        break;
    case 2: {  // a few bytes changed near the end (a zip's directory)
        size_t from = b.size() - std::min(b.size(), size_t(200));
        for (int i = 0, n = 1 + int(rng() % 8); i < n; i++)
            b[from + rng() % (b.size() - from)] = uint8_t(rng());
        break;
    }
    default:  // cut in half
        b.resize(b.size() / 2);
        break;
    }
    return b;
}

// Entry names in the central directory bent into bad ones, sizes into lies.
Bytes badNames(Bytes b, std::mt19937& rng)
{
    std::vector<size_t> central = rt::records(b, rt::kCentralHeader);
    if (central.empty())
        return b;
    size_t entry = rng() % central.size();
    size_t at = central[entry];
    size_t nameLength = size_t(b[at + 28] | b[at + 29] << 8);
    uint8_t* name = &b[at + 46];
    switch (rng() % 5) {
    case 0:
        if (nameLength >= 3)
            std::memcpy(name, "../", 3);
        break;
    case 1:
        name[0] = '/';
        break;
    case 2:
        name[nameLength / 2] = 0;
        break;
    case 3:
        rt::stateSize(b, entry, 0xFFFFFFF0u);
        break;
    default:
        rt::stateSize(b, entry, uint32_t(rng() % 64));
        break;
    }
    return b;
}

const char* const kShaderWords[] = {"{", "}", "/*", "*/", "//", "\n", "\"", "map", "clampmap",
                                    "animmap", "skyparms", "$lightmap", "textures/x/y.tga", "10", "-"};

} // namespace

TEST(FilesFuzz, DamagedArchivesPicturesAndShaderScripts)
{
    fs::create_directories("fuzz_work");
    ASSERT_TRUE(rt::run("convert -size 24x16 gradient:red-blue fuzz_work/p.jpg && "
                        "convert -size 9x7 gradient:green-white fuzz_work/p.png"));
    std::vector<Bytes> pictures = {rt::readFile("fuzz_work/p.jpg"), rt::readFile("fuzz_work/p.png"),
                                   rt::tga(2, 4, 3, 24, Bytes(36, 7)), rt::tga(10, 4, 2, 32, {0x87, 1, 2, 3, 4})};
    std::string script = "a/b\n{\n skyparms env/x - -\n {\n map $lightmap\n }\n { animmap 5 p.tga q.tga\n }\n}\n";
    ASSERT_TRUE(rt::writeZip("fuzz_work/seed.pk3", {{"textures/p.jpg", pictures[0]},
                                                   {"textures/p.png", pictures[1], true},
                                                   {"scripts/a.shader", text(script.c_str()), true},
                                                   {"maps/m.bsp", Bytes(3000, 'm')}}));
    Bytes seed = rt::readFile("fuzz_work/seed.pk3");

    std::mt19937 rng(1234);
    int opened = 0, read = 0, decoded = 0, parsed = 0;
    for (int round = 0; round < FILES_FUZZ_ROUNDS; round++) {
        Bytes zip = rng() % 2 ? damaged(seed, rng) : badNames(seed, rng);
        ASSERT_TRUE(rt::writeFile("fuzz_work/z.pk3", zip));
        FileSystem files;
        files.setReporter(quiet, nullptr);
        opened += files.addArchive("fuzz_work/z.pk3");
        for (const char* path : {"textures/p.jpg", "textures/p.png", "scripts/a.shader", "maps/m.bsp", "../p.jpg"}) {
            std::vector<unsigned char> out;
            if (!files.readFile(path, out))
                continue;
            read++;
            ASSERT_LE(out.size(), size_t(FileSystem::kMaxEntryBytes));
            TgaImage image;
            if (decodeImage(out.data(), out.size(), &image, nullptr))
                decoded++;
        }
        for (const std::string& listed : files.list("scripts", ".shader")) {
            std::vector<unsigned char> out;
            ShaderLibrary shaders;
            if (files.readFile(listed.c_str(), out))
                parsed += shaders.parse(reinterpret_cast<const char*>(out.data()), out.size(), nullptr);
        }

        Bytes picture = damaged(pictures[rng() % pictures.size()], rng);
        TgaImage image;
        if (decodeImage(picture.data(), picture.size(), &image, nullptr)) {
            ASSERT_EQ(image.pixels.size(), size_t(image.width) * size_t(image.height) * size_t(image.bytesPerPixel));
            decoded++;
        }

        std::string words;
        for (int i = 0, n = int(rng() % 60); i < n; i++)
            words += std::string(kShaderWords[rng() % (sizeof(kShaderWords) / sizeof(kShaderWords[0]))]) + " ";
        ShaderLibrary shaders;
        parsed += shaders.parse(words.data(), words.size(), nullptr);
    }
    // The damage was varied enough to reach every stage.
    EXPECT_GT(opened, 0);
    EXPECT_GT(read, 0);
    EXPECT_GT(decoded, 0);
    EXPECT_GT(parsed, 0);

    // Named cases: a JPEG cut in half, unbalanced braces, an endless comment.
    TgaImage image;
    const char* why = "";
    EXPECT_FALSE(decodeImage(pictures[0].data(), pictures[0].size() / 2, &image, &why));
    ShaderLibrary shaders;
    std::string problem;
    EXPECT_FALSE(shaders.parse("a\n{\n{\n", 6, &problem));
    EXPECT_EQ(problem, "script ends inside a shader");
    EXPECT_FALSE(shaders.parse("a { } }", 7, &problem));
    EXPECT_FALSE(shaders.parse("a { } /* b { }", 14, &problem));
    EXPECT_EQ(problem, "comment never closed");
    EXPECT_NE(shaders.find("A"), nullptr);  // kept from before the damage
}

namespace {

// What the installed OpenArena scripts use that a level here never shows:
// portals and the menu's video, colours and alpha of game entities
// (rgbGen entity, alphaGen lightingSpecular/portal), deforms of models
// (normal, bulge, move) and tcGen vector.
const char* const kExpectedIgnored[] = {"portal", "videomap", "rgbgen", "alphagen", "deformvertexes", "tcgen"};

bool expectedIgnored(const std::string& keyword)
{
    for (const char* k : kExpectedIgnored)
        if (keyword == k)
            return true;
    return false;
}

} // namespace

// Every shader of Debian's OpenArena archives is read; what a script uses
// and this engine does not draw is named once per script, and only forms of
// drawing keywords are among it.
TEST(ShaderScripts, EveryOpenArenaShaderParsesWithItsStages)
{
    const char* archives = "/usr/share/games/openarena/baseoa";
    FileSystem files;
    files.setReporter(quiet, nullptr);
    ASSERT_GT(files.addArchives(archives), 5);
    ShaderLibrary shaders;
    std::map<std::string, std::string> reports;
    int scripts = shaders.readAll(files, "scripts", [&](const char* script, const char* problem) {
        reports[script] += std::string(problem) + ";";
    });
    // The test packages alone give 91 scripts and 1888 shaders; other
    // installed archives (the peer engine's) only add to them.
    EXPECT_GE(scripts, 91);
    EXPECT_GE(shaders.count(), 1888u);
    std::set<std::string> unexpected;
    for (const auto& r : reports) {
        std::string line = r.second;
        EXPECT_EQ(line.find("script ends"), std::string::npos) << r.first << ": " << line;
        const std::string head = "keywords read and not drawn:";
        size_t at = line.find(head);
        if (at == std::string::npos)
            continue;
        std::istringstream words(line.substr(at + head.size(), line.find(';', at) - at - head.size()));
        for (std::string w; words >> w;)
            if (!expectedIgnored(w))
                unexpected.insert(w + " in " + r.first);
    }
    EXPECT_TRUE(unexpected.empty()) << *unexpected.begin();

    // Stages as written: the two cloud layers of a sky, an alpha-tested
    // grate with its lightmap, a scrolling additive stage.
    const ShaderInfo* sky = shaders.find("textures/skies/toxicskytim_dm9");
    ASSERT_NE(sky, nullptr);
    EXPECT_TRUE(sky->sky);
    EXPECT_EQ(sky->cloudHeight, 756.0f);
    ASSERT_EQ(sky->stages.size(), 2u);
    EXPECT_FALSE(sky->stages[0].blended);
    EXPECT_TRUE(sky->stages[1].blended);
    EXPECT_EQ(sky->stages[1].source, BlendFactor::DstColour);
    ASSERT_EQ(sky->stages[1].texMods.size(), 2u);
    EXPECT_EQ(sky->stages[1].texMods[1].kind, TexModKind::Scroll);
    EXPECT_FLOAT_EQ(sky->stages[1].texMods[1].values[0], 0.05f);
    int alphaTested = 0, scrolling = 0, animated = 0, autosprites = 0, fogs = 0;
    for (const char* name : {"textures/base_floor/pjgrate1", "textures/sfx/flame1", "textures/base_light/ceil1_30",
                             "textures/liquids/slime1", "textures/sfx/fog_timdm1"}) {
        const ShaderInfo* s = shaders.find(name);
        if (!s)
            continue;
        fogs += s->fog;
        autosprites += !s->deforms.empty() && s->deforms[0].kind != DeformKind::Wave;
        for (const ShaderStage& stage : s->stages) {
            alphaTested += stage.alphaTest != AlphaTest::None && stage.depthWrite;
            scrolling += !stage.texMods.empty();
            animated += stage.images.size() > 1 && stage.animFrequency > 0.0f;
        }
    }
    EXPECT_GT(alphaTested + scrolling + animated + autosprites + fogs, 0);
}

// A script damaged in its middle keeps the shaders before and after.
TEST(ShaderScripts, DamagedScriptKeepsTheRestOfItsFile)
{
    const char script[] = "first/a\n{\n\t{\n\t\tmap a.tga\n\t\tblendFunc GL_ONE GL_ONE\n\t\trgbGen wave sin 0.5 0.5 0 1\n\t}\n}\n"
                          "broken/b\n{\n\t{\n\t\t{\n\t\tmap b.tga\n\t}\n}\n"
                          "last/c\n{\n\tcull none\n\tfrobnicate 3\n\t{\n\t\tclampMap c.tga\n\t\talphaFunc GE128\n\t}\n}\n";
    ShaderLibrary shaders;
    std::string problem;
    std::set<std::string> ignored;
    EXPECT_FALSE(shaders.parse(script, sizeof(script) - 1, &problem, &ignored));
    EXPECT_EQ(problem, "braces nested too deep");
    ASSERT_NE(shaders.find("FIRST/A"), nullptr);
    const ShaderStage& add = shaders.find("first/a")->stages.at(0);
    EXPECT_TRUE(add.blended);
    EXPECT_FALSE(add.depthWrite);
    EXPECT_EQ(add.rgbGen, ColourGen::Wave);
    EXPECT_EQ(add.rgbWave.form, WaveForm::Sin);
    EXPECT_EQ(shaders.find("broken/b"), nullptr);
    const ShaderInfo* last = shaders.find("last/c");
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->cull, CullMode::None);
    ASSERT_EQ(last->stages.size(), 1u);
    EXPECT_TRUE(last->stages[0].clamp);
    EXPECT_EQ(last->stages[0].alphaTest, AlphaTest::Ge128);
    EXPECT_EQ(last->image, "c.tga");
    EXPECT_EQ(ignored, std::set<std::string>{"frobnicate"});
}
