// The texture cache on a real GL context: cache rules, the log lines, and
// the GL state of what it uploads, read back from the driver.
#include "ArchiveTestSupport.h"
#include "ResourceTestSupport.h"
#include "platform/SystemLog.h"
#include "resources/TextureManager.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include <jpeglib.h>

using rt::Bytes;

namespace {

size_t logMark() { return SystemLog::get().storedLines(); }

// Log lines since the mark that contain the text.
int linesWith(size_t mark, const char* text)
{
    int n = 0;
    for (size_t i = mark; i < SystemLog::get().storedLines(); ++i)
        if (std::strstr(SystemLog::get().line(i), text))
            ++n;
    return n;
}

bool lineStartsWith(size_t mark, const char* prefix, const char* text)
{
    for (size_t i = mark; i < SystemLog::get().storedLines(); ++i) {
        const char* line = SystemLog::get().line(i);
        if (std::strncmp(line, prefix, std::strlen(prefix)) == 0 && std::strstr(line, text))
            return true;
    }
    return false;
}

GLint texParameter(unsigned handle, GLenum name)
{
    GLint value = -1;
    glBindTexture(GL_TEXTURE_2D, handle);
    glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
    return value;
}

GLint levelParameter(unsigned handle, int level, GLenum name)
{
    GLint value = -1;
    glBindTexture(GL_TEXTURE_2D, handle);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, name, &value);
    return value;
}

// 4 x 2 pictures in each file depth the reader takes.
Bytes file24() { return rt::tga(2, 4, 2, 24, Bytes(24, 90)); }
Bytes file32() { return rt::tga(2, 4, 2, 32, Bytes(32, 90)); }
Bytes file16() { return rt::tga(2, 4, 2, 16, Bytes(16, 0x55)); }

class TextureManagerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(rt::openGlWindow(64, 64)) << SDL_GetError();
        ASSERT_TRUE(rt::writeFile("tex_work/a.tga", file24()));
        ASSERT_TRUE(rt::writeFile("tex_work/b32.tga", file32()));
        ASSERT_TRUE(rt::writeFile("tex_work/c16.tga", file16()));
        ASSERT_TRUE(rt::writeFile("tex_work/a.tga.bak", file24()));
        ASSERT_TRUE(rt::writeFile("tex_work/upper.TGA", file24()));
        ASSERT_TRUE(rt::writeFile("tex_work/mapped.tga", rt::tga(1, 4, 2, 8, Bytes(8, 0))));
        Bytes truncated = file24();
        truncated.resize(truncated.size() - 1);
        ASSERT_TRUE(rt::writeFile("tex_work/short.tga", truncated));
        Bytes overflow = rt::tga(10, 2, 1, 24, {0x83, 0, 0, 255});
        ASSERT_TRUE(rt::writeFile("tex_work/overflow.tga", overflow));
        writeSurfaceFiles();
    }

    // Level surfaces under baseq3/textures/fb: plain files and one archive,
    // in place before the game's file system first looks at baseq3/.
    static void writeSurfaceFiles()
    {
        std::filesystem::remove_all("baseq3");
        ASSERT_TRUE(rt::run("convert -size 8x4 gradient:red-blue tex_work/pic.jpg && "
                            "convert -size 4x4 xc:green tex_work/pic.png"));
        Bytes jpg = rt::readFile("tex_work/pic.jpg"), png = rt::readFile("tex_work/pic.png");
        // a: the .tga is missing, the .jpg is cut in half, the .png is fine.
        ASSERT_TRUE(rt::writeFile("baseq3/textures/fb/a.jpg", Bytes(jpg.begin(), jpg.begin() + long(jpg.size() / 2))));
        ASSERT_TRUE(rt::writeFile("baseq3/textures/fb/a.png", png));
        // e: JPEG bytes under a .tga name.
        ASSERT_TRUE(rt::writeFile("baseq3/textures/fb/e.tga", jpg));
        std::string shader = "// shaders\ntextures/fb/c\n{\n\tsurfaceparm nomarks\n\t{\n\t\tmap $lightmap\n\t}\n"
                             "\t{\n\t\tmap textures/fb/pic.tga /* written as tga, shipped as jpg */\n\t}\n}\n"
                             "textures/fb/f\n{\n\t{\n\t\tmap ../../textures/fb/pic.tga\n\t}\n}\n";
        ASSERT_TRUE(rt::writeFile("baseq3/scripts/fb.shader", Bytes(shader.begin(), shader.end())));
        std::string broken = "textures/fb/d\n{\n\t{\n\t\tmap textures/fb/pic.tga\n";
        // b only in the archive, named in capitals; the shader's picture too.
        ASSERT_TRUE(rt::writeZip("baseq3/fb.pk3", {{"textures/FB/B.JPG", jpg},
                                                   {"textures/fb/pic.jpg", jpg},
                                                   {"scripts/broken.shader", Bytes(broken.begin(), broken.end())}}));
    }
};

// Kept first: the very first access is the only fresh manager in a run.
TEST_F(TextureManagerTest, FreshManagerHasRoomForOneHundredAndSaysNothing)
{
    size_t mark = logMark();
    TextureManager& tm = TextureManager::get();
    EXPECT_EQ(&tm, &TextureManager::get());
    EXPECT_EQ(tm.capacity(), 100);
    EXPECT_EQ(tm.count(), 0);
    unsigned handle = 0;
    ASSERT_TRUE(tm.loadTexture("tex_work/a.tga", &handle, false));
    EXPECT_NE(handle, 0u);
    EXPECT_EQ(linesWith(mark, "Extended texture array"), 0);
    EXPECT_TRUE(lineStartsWith(mark, LOG_WHITE, "::TextureManager Texture Loaded: tex_work/a.tga"));
}

TEST_F(TextureManagerTest, SameNameSameTextureOtherSpellingAnother)
{
    TextureManager& tm = TextureManager::get();
    tm.releaseAll();
    size_t mark = logMark();
    unsigned first = 0, second = 0, doubled = 0;
    ASSERT_TRUE(tm.loadTexture("tex_work/a.tga", &first, false));
    ASSERT_TRUE(tm.loadTexture("tex_work/a.tga", &second, false));
    EXPECT_EQ(first, second);
    EXPECT_EQ(linesWith(mark, "Texture Loaded: tex_work/a.tga"), 1);
    EXPECT_EQ(tm.count(), 1);
    // After an exit-time release the table is regrown, with its notice.
    EXPECT_TRUE(lineStartsWith(mark, LOG_CYAN, "::TextureManager Extended texture array to 100"));

    ASSERT_TRUE(tm.loadTexture("tex_work//a.tga", &doubled, false));
    EXPECT_NE(doubled, first);
    EXPECT_EQ(tm.count(), 2);
    EXPECT_STREQ(tm.entry(1)->name, "tex_work//a.tga");
}

TEST_F(TextureManagerTest, BadNamesAndBadFilesLeaveTheHandleAlone)
{
    TextureManager& tm = TextureManager::get();
    tm.releaseAll();
    unsigned handle = 0;
    ASSERT_TRUE(tm.loadTexture("tex_work/a.tga", &handle, false));
    int before = tm.count();
    for (const char* bad : {"tex_work/missing.tga", "tex_work/upper.TGA", "tex_work/a", "tex_work/mapped.tga",
                            "tex_work/short.tga", "tex_work/overflow.tga", "[Created]", ""}) {
        SCOPED_TRACE(bad);
        size_t mark = logMark();
        unsigned untouched = 4242;
        EXPECT_FALSE(tm.loadTexture(bad, &untouched, false));
        EXPECT_EQ(untouched, 4242u);
        EXPECT_TRUE(lineStartsWith(mark, LOG_RED, (std::string("::TextureManager ERROR Texture not found: ") + bad).c_str()));
    }
    unsigned untouched = 4242;
    EXPECT_FALSE(tm.loadTexture(nullptr, &untouched, false));
    EXPECT_FALSE(tm.loadTexture("tex_work/a.tga", nullptr, false));
    EXPECT_EQ(untouched, 4242u);
    EXPECT_EQ(tm.count(), before);

    // ".tga" anywhere in the name is enough.
    unsigned bak = 0;
    EXPECT_TRUE(tm.loadTexture("tex_work/a.tga.bak", &bak, false));
    EXPECT_NE(bak, 0u);
}

TEST_F(TextureManagerTest, LongNamesAreCutTo63WithAWarning)
{
    TextureManager& tm = TextureManager::get();
    tm.releaseAll();
    // "tex_work/" + padding + ".tga", exactly 63 and 64 characters long.
    std::string name63 = "tex_work/" + std::string(50, 'x') + ".tga";
    std::string name64 = "tex_work/" + std::string(51, 'y') + ".tga";
    ASSERT_EQ(name63.size(), 63u);
    ASSERT_EQ(name64.size(), 64u);
    ASSERT_TRUE(rt::writeFile(name63, file24()));
    ASSERT_TRUE(rt::writeFile(name64, file24()));

    size_t mark = logMark();
    unsigned h63 = 0, h64 = 0, again = 0, again63 = 0;
    ASSERT_TRUE(tm.loadTexture(name63.c_str(), &h63, false));
    EXPECT_EQ(linesWith(mark, "WARNING"), 0);
    EXPECT_EQ(tm.entry(0)->name, name63);

    ASSERT_TRUE(tm.loadTexture(name64.c_str(), &h64, false));
    EXPECT_TRUE(lineStartsWith(mark, LOG_YELLOW,
                               ("::TextureManager WARNING file name to large, truncating: " + name64).c_str()));
    EXPECT_EQ(tm.entry(1)->name, name64.substr(0, 63));
    EXPECT_TRUE(lineStartsWith(mark, LOG_WHITE, ("Texture Loaded: " + name64).c_str()));

    // The cut name never matches the full one: loaded again, warned again.
    ASSERT_TRUE(tm.loadTexture(name64.c_str(), &again, false));
    EXPECT_NE(again, h64);
    EXPECT_EQ(linesWith(mark, "file name to large"), 2);
    EXPECT_EQ(tm.count(), 3);
    ASSERT_TRUE(tm.loadTexture(name63.c_str(), &again63, false));
    EXPECT_EQ(again63, h63);
}

TEST_F(TextureManagerTest, GrowsByOneHundredEvenForACacheHit)
{
    TextureManager& tm = TextureManager::get();
    tm.releaseAll();
    unsigned loaded = 0;
    ASSERT_TRUE(tm.loadTexture("tex_work/a.tga", &loaded, false));
    unsigned char rgb[2 * 2 * 3] = {};
    size_t mark = logMark();
    unsigned handle = 0;
    for (int i = 1; i < 100; ++i)
        ASSERT_TRUE(tm.createTexture(rgb, 2, 2, &handle));
    EXPECT_EQ(tm.count(), 100);
    EXPECT_EQ(tm.capacity(), 100);
    EXPECT_EQ(linesWith(mark, "Extended texture array"), 0);
    EXPECT_EQ(linesWith(mark, "::TextureManager Texture Created"), 99);

    unsigned hit = 0;
    ASSERT_TRUE(tm.loadTexture("tex_work/a.tga", &hit, false));
    EXPECT_EQ(hit, loaded);
    EXPECT_EQ(tm.count(), 100);
    EXPECT_EQ(tm.capacity(), 200);
    EXPECT_TRUE(lineStartsWith(mark, LOG_CYAN, "::TextureManager Extended texture array to 200"));

    // "[Created]" is a name like any other: it finds the first created one.
    unsigned created = 0;
    ASSERT_TRUE(tm.loadTexture("[Created]", &created, false));
    EXPECT_EQ(created, tm.entry(1)->handle);
}

TEST_F(TextureManagerTest, LoadedTexturesHaveTheirFormatFiltersAndWrap)
{
    TextureManager& tm = TextureManager::get();
    tm.releaseAll();
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    unsigned h24 = 0, h32 = 0, h16 = 0, clamped = 0;
    ASSERT_TRUE(tm.loadTexture("tex_work/a.tga", &h24, false));
    ASSERT_TRUE(tm.loadTexture("tex_work/b32.tga", &h32, false));
    ASSERT_TRUE(tm.loadTexture("tex_work/c16.tga", &h16, false));
    ASSERT_TRUE(tm.loadTexture("tex_work//b32.tga", &clamped, true));

    GLint env = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
    EXPECT_EQ(env, GL_MODULATE);
    for (unsigned h : {h24, h32, h16}) {
        EXPECT_EQ(texParameter(h, GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_NEAREST);
        EXPECT_EQ(texParameter(h, GL_TEXTURE_MAG_FILTER), GL_LINEAR);
        EXPECT_EQ(texParameter(h, GL_TEXTURE_WRAP_S), GL_REPEAT);
        EXPECT_EQ(texParameter(h, GL_TEXTURE_WRAP_T), GL_REPEAT);
        EXPECT_EQ(levelParameter(h, 0, GL_TEXTURE_WIDTH), 4);
        EXPECT_EQ(levelParameter(h, 2, GL_TEXTURE_WIDTH), 1);  // the mipmap chain is there
    }
    EXPECT_EQ(texParameter(clamped, GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(texParameter(clamped, GL_TEXTURE_WRAP_T), GL_CLAMP_TO_EDGE);

    EXPECT_GT(levelParameter(h32, 0, GL_TEXTURE_ALPHA_SIZE), 0);
    EXPECT_EQ(levelParameter(h24, 0, GL_TEXTURE_ALPHA_SIZE), 0);
    EXPECT_EQ(levelParameter(h16, 0, GL_TEXTURE_ALPHA_SIZE), 0);

    // Pixels arrive as decoded: 16-bit 0x5555 is (21, 10, 21) << 3.
    unsigned char back[4 * 2 * 4];
    glBindTexture(GL_TEXTURE_2D, h16);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, back);
    EXPECT_EQ(back[0], 168);
    EXPECT_EQ(back[1], 80);
    EXPECT_EQ(back[2], 168);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureManagerTest, CreatedTexturesAreTrilinearAndUnchanged)
{
    TextureManager& tm = TextureManager::get();
    tm.releaseAll();
    Bytes pixels(128 * 128 * 3);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint8_t(i * 7 + i / 384);
    size_t mark = logMark();
    unsigned a = 0, b = 0;
    ASSERT_TRUE(tm.createTexture(pixels.data(), 128, 128, &a));
    ASSERT_TRUE(tm.createTexture(pixels.data(), 128, 128, &b));
    EXPECT_NE(a, b);
    EXPECT_EQ(tm.count(), 2);
    EXPECT_STREQ(tm.entry(0)->name, "[Created]");
    EXPECT_STREQ(tm.entry(1)->name, "[Created]");
    EXPECT_EQ(linesWith(mark, "::TextureManager Texture Created"), 2);

    EXPECT_EQ(texParameter(a, GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
    EXPECT_EQ(texParameter(a, GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(levelParameter(a, 0, GL_TEXTURE_ALPHA_SIZE), 0);
    Bytes back(pixels.size());
    glBindTexture(GL_TEXTURE_2D, a);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, back.data());
    EXPECT_EQ(back, pixels);

    unsigned untouched = 77;
    EXPECT_FALSE(tm.createTexture(nullptr, 128, 128, &untouched));
    EXPECT_FALSE(tm.createTexture(pixels.data(), 0, 128, &untouched));
    EXPECT_EQ(untouched, 77u);
    EXPECT_EQ(tm.count(), 2);
}

// .tga, .jpg, .png, then the shader: the first that decodes wins, a damaged
// one says why, and "Texture not found" comes only when all of them failed.
TEST_F(TextureManagerTest, SurfacesByAnyNameFromFilesArchivesAndShaders)
{
    TextureManager& tm = TextureManager::get();
    tm.releaseAll();
    size_t mark = logMark();
    unsigned a = 0, b = 0, c = 0, d = 0, e = 0;
    ASSERT_TRUE(tm.loadSurfaceTexture("textures/fb/a", &a));
    EXPECT_TRUE(lineStartsWith(mark, LOG_YELLOW, "cannot read baseq3/textures/fb/a.jpg"));
    EXPECT_TRUE(lineStartsWith(mark, LOG_WHITE, "Texture Loaded: baseq3/textures/fb/a.tga from baseq3/textures/fb/a.png"));
    EXPECT_EQ(levelParameter(a, 0, GL_TEXTURE_WIDTH), 4);
    ASSERT_TRUE(tm.loadSurfaceTexture("textures/fb/b", &b));
    EXPECT_EQ(levelParameter(b, 0, GL_TEXTURE_WIDTH), 8);
    ASSERT_TRUE(tm.loadSurfaceTexture("textures/fb/c", &c));
    EXPECT_TRUE(lineStartsWith(mark, LOG_WHITE, "Texture Loaded: baseq3/textures/fb/c.tga from baseq3/textures/fb/pic.jpg"));
    EXPECT_TRUE(lineStartsWith(mark, LOG_YELLOW, "shader script baseq3/scripts/broken.shader: script ends inside a shader"));
    ASSERT_TRUE(tm.loadSurfaceTexture("textures/fb/e", &e));
    EXPECT_EQ(linesWith(mark, "Texture not found"), 0);

    EXPECT_FALSE(tm.loadSurfaceTexture("textures/fb/d", &d));
    EXPECT_EQ(d, 0u);
    EXPECT_EQ(linesWith(mark, "Texture not found"), 1);
    // A shader picture outside the game folder is refused, and says so.
    EXPECT_FALSE(tm.loadSurfaceTexture("textures/fb/f", &d, true));
    EXPECT_TRUE(lineStartsWith(mark, LOG_YELLOW, "shader textures/fb/f: picture path \"../../textures/fb/pic.tga\" refused"));
    EXPECT_TRUE(lineStartsWith(mark, LOG_RED, "::TextureManager ERROR Texture not found: baseq3/textures/fb/d.tga"));

    // Asked twice, released twice: the texture goes with the last release.
    unsigned again = 0;
    ASSERT_TRUE(tm.loadSurfaceTexture("textures/fb/a", &again));
    EXPECT_EQ(again, a);
    int count = tm.count();
    tm.releaseTexture(a);
    EXPECT_EQ(tm.count(), count);
    EXPECT_TRUE(glIsTexture(a));
    tm.releaseTexture(a);
    EXPECT_EQ(tm.count(), count - 1);
    EXPECT_FALSE(glIsTexture(a));
    EXPECT_EQ(tm.entry(0)->handle, b);  // the rest keep their order
}

// A grey JPEG written by libjpeg itself: baseline, or progressive in 127
// scans (the DC, then each AC coefficient alone in two halves), all valid.
Bytes jpegOf(int side, bool manyScans)
{
    jpeg_compress_struct c;
    jpeg_error_mgr error;
    c.err = jpeg_std_error(&error);
    jpeg_create_compress(&c);
    unsigned char* memory = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &memory, &size);
    c.image_width = JDIMENSION(side);
    c.image_height = JDIMENSION(side);
    c.input_components = 1;
    c.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&c);
    std::vector<jpeg_scan_info> scans;
    if (manyScans) {
        scans.push_back({1, {0, 0, 0, 0}, 0, 0, 0, 0});
        for (int half = 0; half < 2; half++)
            for (int k = 1; k < 64; k++)
                scans.push_back({1, {0, 0, 0, 0}, k, k, half, 1 - half});
        c.scan_info = scans.data();
        c.num_scans = int(scans.size());
    }
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(side));
    while (c.next_scanline < c.image_height) {
        for (int x = 0; x < side; x++)
            row[size_t(x)] = JSAMPLE((x * 7 + int(c.next_scanline) * 13 + (x * c.next_scanline) % 29) & 0xff);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes out(memory, memory + size);
    std::free(memory);
    return out;
}

// Hostile pictures cost a line each, never the memory or time they claim:
// JPEG data cut short behind an end marker, 127 scans, a header claiming
// 8192 x 8192 from a few hundred bytes, and pictures past the total budget.
TEST_F(TextureManagerTest, HostilePicturesAreRefusedWithOneLineEach)
{
    TextureManager& tm = TextureManager::get();
    tm.releaseAll();
    Bytes good = jpegOf(64, false);
    ASSERT_TRUE(rt::writeFile("baseq3/textures/hx/good.jpg", good));
    Bytes cut(good.begin(), good.begin() + long(good.size() * 2 / 3));
    cut.push_back(0xFF);
    cut.push_back(0xD9);
    ASSERT_TRUE(rt::writeFile("baseq3/textures/hx/cut.jpg", cut));
    ASSERT_TRUE(rt::writeFile("baseq3/textures/hx/scans.jpg", jpegOf(64, true)));
    Bytes huge = good;
    for (size_t i = 0; i + 8 < huge.size(); i++) {
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {  // the frame header: height and width
            huge[i + 5] = huge[i + 7] = 0x20;
            huge[i + 6] = huge[i + 8] = 0x00;
            break;
        }
    }
    ASSERT_TRUE(rt::writeFile("baseq3/textures/hx/huge.jpg", huge));

    size_t mark = logMark();
    unsigned handle = 0;
    ASSERT_TRUE(tm.loadSurfaceTexture("textures/hx/good", &handle));
    EXPECT_EQ(tm.picturesHeld(), size_t(64 * 64 * 3));
    EXPECT_FALSE(tm.loadSurfaceTexture("textures/hx/cut", &handle, true));
    EXPECT_TRUE(lineStartsWith(mark, LOG_YELLOW, "cannot read baseq3/textures/hx/cut.jpg: corrupt JPEG data"));
    EXPECT_FALSE(tm.loadSurfaceTexture("textures/hx/scans", &handle, true));
    EXPECT_TRUE(lineStartsWith(mark, LOG_YELLOW, "cannot read baseq3/textures/hx/scans.jpg: too many JPEG scans"));
    EXPECT_FALSE(tm.loadSurfaceTexture("textures/hx/huge", &handle, true));
    EXPECT_TRUE(lineStartsWith(mark, LOG_YELLOW, "cannot read baseq3/textures/hx/huge.jpg: picture over the memory budget"));
    EXPECT_EQ(linesWith(mark, "cannot read"), 3);

    // The total: two small pictures fit, the third waits for a release.
    tm.setPictureBudget(64 * 64 * 3 + 24 + 20);
    unsigned a = 0, c16 = 0;
    ASSERT_TRUE(tm.loadTexture("tex_work/a.tga", &a, false));
    EXPECT_FALSE(tm.loadTexture("tex_work/c16.tga", &c16, false));
    EXPECT_TRUE(lineStartsWith(mark, LOG_YELLOW, "cannot read tex_work/c16.tga: loaded pictures hold 12312 of their "
                                                 "12332 bytes already"));
    tm.releaseTexture(a);
    EXPECT_TRUE(tm.loadTexture("tex_work/c16.tga", &c16, false));
    tm.setPictureBudget(TextureManager::kPictureBudget);
    tm.releaseAll();
    EXPECT_EQ(tm.picturesHeld(), 0u);
}

TEST_F(TextureManagerTest, ReleaseDeletesEveryTexture)
{
    TextureManager& tm = TextureManager::get();
    tm.releaseAll();
    unsigned a = 0, b = 0;
    unsigned char rgb[3] = {1, 2, 3};
    ASSERT_TRUE(tm.loadTexture("tex_work/a.tga", &a, false));
    ASSERT_TRUE(tm.createTexture(rgb, 1, 1, &b));
    EXPECT_TRUE(glIsTexture(a));
    EXPECT_TRUE(glIsTexture(b));
    tm.releaseAll();
    EXPECT_FALSE(glIsTexture(a));
    EXPECT_FALSE(glIsTexture(b));
    EXPECT_EQ(tm.count(), 0);
    EXPECT_EQ(tm.capacity(), 0);
    EXPECT_EQ(tm.entry(0), nullptr);
}

} // namespace
