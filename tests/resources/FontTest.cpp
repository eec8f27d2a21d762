// The font on a real GL context: atlas and widths against FreeType's own
// metrics, and text drawn, read back and measured on the screen.
#include "ResourceTestSupport.h"
#include "platform/SystemLog.h"
#include "resources/Font.h"
#include "resources/FontText.h"

#include <GL/gl.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace {

const int kWidth = 320;
const int kHeight = 240;

std::string fontFile()
{
    std::string game = std::string(HALVEX_GAME_DIR) + "/faktos.ttf";
    if (std::filesystem::exists(game))
        return game;
    return "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
}

// FreeType's own view of one character at a size, rendered directly.
struct Metrics {
    int left, top, width, rows;
    long advance;
};

class FreeTypeFace {
public:
    explicit FreeTypeFace(int size)
    {
        ok = FT_Init_FreeType(&library) == 0 && FT_New_Face(library, fontFile().c_str(), 0, &face) == 0 &&
             FT_Set_Char_Size(face, size * 64, size * 64, 96, 96) == 0;
    }
    ~FreeTypeFace()
    {
        if (face)
            FT_Done_Face(face);
        if (library)
            FT_Done_FreeType(library);
    }
    Metrics metrics(int ch)
    {
        Metrics m = {};
        if (FT_Load_Glyph(face, FT_Get_Char_Index(face, FT_ULong(ch)), FT_LOAD_RENDER) != 0)
            return m;
        FT_GlyphSlot g = face->glyph;
        m = {g->bitmap_left, g->bitmap_top, int(g->bitmap.width), int(g->bitmap.rows), g->advance.x};
        return m;
    }
    // The rendered grey bitmap of the character, rows top first.
    std::vector<uint8_t> bitmap(int ch)
    {
        Metrics m = metrics(ch);
        std::vector<uint8_t> b;
        const FT_Bitmap& bm = face->glyph->bitmap;
        for (int j = 0; j < m.rows; ++j)
            b.insert(b.end(), bm.buffer + j * bm.pitch, bm.buffer + j * bm.pitch + m.width);
        return b;
    }
    bool ok = false;

private:
    FT_Library library = nullptr;
    FT_Face face = nullptr;
};

// A rectangle of lit pixels on the screen (y down); empty when maxX < 0.
struct Box {
    int minX = kWidth, minY = kHeight, maxX = -1, maxY = -1;
};

using Screen = std::vector<uint8_t>;  // RGB, top row first

Screen draw(const std::function<void()>& paint)
{
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    paint();
    glFinish();
    Screen bottomUp(size_t(kWidth) * kHeight * 3), screen(bottomUp.size());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
    size_t row = size_t(kWidth) * 3;
    for (int y = 0; y < kHeight; ++y)
        std::memcpy(&screen[size_t(y) * row], &bottomUp[size_t(kHeight - 1 - y) * row], row);
    return screen;
}

Box litBox(const Screen& s, int fromY = 0, int toY = kHeight)
{
    Box b;
    for (int y = fromY; y < toY; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const uint8_t* p = &s[(size_t(y) * kWidth + size_t(x)) * 3];
            if (p[0] > 100 || p[1] > 100 || p[2] > 100) {
                b.minX = std::min(b.minX, x);
                b.maxX = std::max(b.maxX, x);
                b.minY = std::min(b.minY, y);
                b.maxY = std::max(b.maxY, y);
            }
        }
    return b;
}

bool blank(const Screen& s)
{
    for (uint8_t v : s)
        if (v)
            return false;
    return true;
}

class FontTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(rt::openGlWindow(kWidth, kHeight)) << SDL_GetError();
        // The overlay: pixels, origin top-left, y down.
        glViewport(0, 0, kWidth, kHeight);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, kWidth, kHeight, 0, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_DEPTH_TEST);
        glEnable(GL_TEXTURE_2D);
    }
};

TEST_F(FontTest, AtlasAndWidthsFollowFreeTypeMetrics)
{
    for (int size : {10, 11, 12}) {
        SCOPED_TRACE(size);
        FreeTypeFace ft(size);
        ASSERT_TRUE(ft.ok);
        Font font;
        ASSERT_TRUE(font.init(fontFile().c_str(), size));
        EXPECT_EQ(font.fontSize(), size);
        int sum = 0, tallest = 0;
        for (int ch = 0; ch < Font::kGlyphCount; ++ch) {
            Metrics m = ft.metrics(ch);
            sum += m.width;
            tallest = std::max(tallest, m.rows);
            EXPECT_EQ(font.advanceWidth(ch), int((m.left + m.width + m.advance) >> 6)) << ch;
        }
        EXPECT_EQ(font.atlasWidth(), fontPowerOfTwo(sum));
        EXPECT_EQ(font.atlasHeight(), fontPowerOfTwo(tallest));
        EXPECT_GE(font.atlasWidth(), sum);
        EXPECT_LT(font.atlasWidth(), 2 * sum);

        GLint w = 0, h = 0;
        glBindTexture(GL_TEXTURE_2D, font.atlasTexture());
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
        EXPECT_EQ(w, font.atlasWidth());
        EXPECT_EQ(h, font.atlasHeight());

        int a = font.advanceWidth('A');
        EXPECT_EQ(font.textWidth(""), 0);
        EXPECT_EQ(font.textWidth(nullptr), 0);
        EXPECT_EQ(font.textWidth("AA"), 2 * a);
        EXPECT_EQ(font.textWidth("A\xC8\xFF"), a);       // no glyphs past 127
        // A colour prefix is measured like any other text, byte by byte.
        EXPECT_EQ(font.textWidth(LOG_RED "A"), 2 * font.advanceWidth(1) + 4 * font.advanceWidth(' ') +
                                                   font.advanceWidth('1') + 2 * font.advanceWidth('0') + a);
    }
    EXPECT_EQ(fontPowerOfTwo(700), 1024);
    EXPECT_EQ(fontPowerOfTwo(14), 16);
    EXPECT_EQ(fontPowerOfTwo(0), 1);
    EXPECT_EQ(fontLineTop(100, 1, 12), 119);
}

TEST_F(FontTest, GlyphsSitOnTheBaselineAndAdvance)
{
    Font font;
    ASSERT_TRUE(font.init(fontFile().c_str(), 12));
    FreeTypeFace ft(12);
    Metrics h = ft.metrics('H'), space = ft.metrics(' ');
    const int x = 20, y = 30, baseline = y + 12;

    Screen one = draw([&] { font.drawLine("H", 1, 1, 1, x, y); });
    Box b = litBox(one);
    ASSERT_GE(b.maxX, 0) << "nothing drawn";
    EXPECT_NEAR(b.minX, x + h.left, 1);
    EXPECT_NEAR(b.minY, baseline - h.top, 1);
    EXPECT_NEAR(b.maxY, baseline - h.top + h.rows - 1, 1);
    EXPECT_NEAR(b.maxY, baseline - 1, 1);  // 'H' stands on the baseline

    // The atlas holds the glyph itself, not a filled box: texel centres
    // land on pixel centres, and white blended by its own alpha is v * v.
    std::vector<uint8_t> grey = ft.bitmap('H');
    int worst = 0, holes = 0;
    for (int j = 0; j < h.rows; ++j)
        for (int k = 0; k < h.width; ++k) {
            int v = grey[size_t(j * h.width + k)];
            int seen = one[(size_t(baseline - h.top + j) * kWidth + size_t(x + h.left + k)) * 3];
            worst = std::max(worst, std::abs(seen - v * v / 255));
            holes += v == 0;
        }
    EXPECT_LE(worst, 3);
    EXPECT_GT(holes, 0);  // an 'H' has a gap between its stems

    Box two = litBox(draw([&] { font.drawLine("HH", 1, 1, 1, x, y); }));
    EXPECT_EQ(two.maxX - b.maxX, h.advance >> 6);
    // A blank has no bitmap but still moves the pen.
    Box spaced = litBox(draw([&] { font.drawLine("H H", 1, 1, 1, x, y); }));
    EXPECT_EQ(spaced.maxX - b.maxX, (h.advance >> 6) + (space.advance >> 6));

    // Bytes 128..255 are skipped without moving the pen.
    Screen high = draw([&] { font.drawLine("H\xC8\x80\xFFH", 1, 1, 1, x, y); });
    EXPECT_EQ(high, draw([&] { font.drawLine("HH", 1, 1, 1, x, y); }));

    // A colour prefix is drawn like any other text, in the colour given:
    // its digits show before the 'H', which moves right by their advances.
    Screen prefixed = draw([&] { font.drawLine(LOG_RED "H", 0, 1, 0, x, y); });
    Box pb = litBox(prefixed);
    int prefixAdvance = 0;
    for (const char* p = LOG_RED; *p; ++p)
        prefixAdvance += int(ft.metrics(*p).advance >> 6);
    EXPECT_GT(prefixAdvance, 0);
    EXPECT_EQ(pb.maxX, b.maxX + prefixAdvance);
    EXPECT_LT(pb.minX, b.minX + prefixAdvance);  // the digits are drawn
    for (size_t i = 0; i < prefixed.size(); i += 3) {
        ASSERT_EQ(prefixed[i], 0);
        ASSERT_EQ(prefixed[i + 2], 0);
    }
    EXPECT_EQ(draw([&] { font.printText(x, y, 0, 1, 0, "%s", LOG_RED "H"); }), prefixed);
    EXPECT_EQ(draw([&] {
        font.printQueued(0, 1, 0, x, y, "%sH", LOG_RED);
        font.flushQueue();
    }), prefixed);

    // A malformed prefix is ordinary text.
    EXPECT_EQ(font.textWidth("\x01 1 0 0 H"), font.textWidth("\x01") + font.textWidth(" 1 0 0 H"));
    EXPECT_TRUE(blank(draw([&] { font.drawLine(nullptr, 1, 1, 1, x, y); })));
}

TEST_F(FontTest, PrintTextPutsLinesSizeTimes1Point5873016Apart)
{
    Font font;
    ASSERT_TRUE(font.init(fontFile().c_str(), 12));
    Screen first = draw([&] { font.printText(20, 100, 1, 1, 1, "%s", "H"); });
    Screen both = draw([&] { font.printText(20, 100, 1, 1, 1, "H\n%c", 'H'); });
    Screen second = draw([&] { font.drawLine("H", 1, 1, 1, 20, 119); });
    Box top = litBox(first);
    Box lower = litBox(second);
    ASSERT_GE(top.maxX, 0);
    // The two-line text is exactly the first line plus a line drawn at 119.
    EXPECT_EQ(litBox(both, 0, top.maxY + 1).minY, top.minY);
    Box bothLower = litBox(both, top.maxY + 1, kHeight);
    EXPECT_EQ(bothLower.minY, lower.minY);
    EXPECT_EQ(bothLower.maxY, lower.maxY);
    EXPECT_EQ(lower.minY - top.minY, 19);

    // A trailing newline adds an empty line: nothing more is drawn.
    EXPECT_EQ(draw([&] { font.printText(20, 100, 1, 1, 1, "H\n"); }), first);
    EXPECT_TRUE(blank(draw([&] { font.printText(20, 100, 1, 1, 1, nullptr); })));
}

TEST_F(FontTest, QueueFlushesAt79AndDrawsLikeDrawLine)
{
    Font font;
    ASSERT_TRUE(font.init(fontFile().c_str(), 12));
    Screen direct = draw([&] { font.drawLine("Hq", 0, 1, 0, 20, 30); });
    Screen queued = draw([&] {
        font.printQueued(0, 1, 0, 20, 30, "H%c", 'q');
        font.flushQueue();
    });
    EXPECT_EQ(queued, direct);
    EXPECT_EQ(font.queuedCount(), 0);

    Screen held = draw([&] {
        for (int i = 0; i < 79; ++i)
            font.printQueued(1, 1, 1, 5, (i % 10) * 20, "line %d", i);
    });
    EXPECT_EQ(font.queuedCount(), 79);
    EXPECT_TRUE(blank(held));
    Screen flushed = draw([&] { font.printQueued(1, 1, 1, 5, 0, "one more"); });
    EXPECT_EQ(font.queuedCount(), 1);
    EXPECT_FALSE(blank(flushed));
    font.flushQueue();
    EXPECT_EQ(font.queuedCount(), 0);
}

TEST_F(FontTest, OverlongTextsAreCut)
{
    Font font;
    ASSERT_TRUE(font.init(fontFile().c_str(), 11));
    std::string longText(5000, 'W');
    std::string lines;
    for (int i = 0; i < 300; ++i)
        lines += "x\n";
    draw([&] {
        font.printText(0, 0, 1, 1, 1, "%s", longText.c_str());
        font.printText(0, 0, 1, 1, 1, "%s", lines.c_str());
        font.drawLine(longText.c_str(), 1, 1, 1, 0, 50);
        for (int i = 0; i < 200; ++i)
            font.printQueued(1, 1, 1, 0, 80, "%s%s", longText.c_str(), LOG_RED);
        font.flushQueue();
    });
    // printQueued keeps 127 characters: the same as printing exactly those.
    Screen cut = draw([&] {
        font.printQueued(1, 1, 1, 0, 80, "%s", longText.c_str());
        font.flushQueue();
    });
    EXPECT_EQ(cut, draw([&] { font.drawLine(longText.substr(0, 127).c_str(), 1, 1, 1, 0, 80); }));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(FontTest, FailedInitLogsAndDrawsNothing)
{
    Font font;
    size_t mark = SystemLog::get().storedLines();
    EXPECT_FALSE(font.init("no/such/font.ttf", 12));
    bool logged = false;
    for (size_t i = mark; i < SystemLog::get().storedLines(); ++i)
        logged = logged || std::strcmp(SystemLog::get().line(i),
                                       LOG_RED "::Font ERROR FT_New_Face failed (there is probably a problem "
                                               "with your font file)") == 0;
    EXPECT_TRUE(logged);
    EXPECT_FALSE(font.loaded());
    EXPECT_EQ(font.textWidth("abc"), 0);
    EXPECT_TRUE(blank(draw([&] {
        font.drawLine("abc", 1, 1, 1, 10, 10);
        font.printText(10, 10, 1, 1, 1, "abc");
        font.printQueued(1, 1, 1, 10, 10, "abc");
        font.flushQueue();
    })));

    // A file that is not a font, and a size that makes no sense.
    ASSERT_TRUE(rt::writeFile("font_work/bad.ttf", rt::Bytes(200, 0x42)));
    EXPECT_FALSE(font.init("font_work/bad.ttf", 12));
    EXPECT_FALSE(font.init(fontFile().c_str(), 0));
    EXPECT_FALSE(font.init(nullptr, 12));
    // A font can be loaded again over a failure or over itself.
    EXPECT_TRUE(font.init(fontFile().c_str(), 10));
    int small = font.textWidth("Halvex");
    EXPECT_TRUE(font.init(fontFile().c_str(), 12));
    EXPECT_GT(font.textWidth("Halvex"), small);
}

TEST_F(FontTest, SharedFontIsPublishedByItsConstructor)
{
    SharedFont* before = SharedFont::instance;
    {
        SharedFont hud;
        EXPECT_EQ(SharedFont::instance, &hud);
    }
    EXPECT_EQ(SharedFont::instance, nullptr);
    SharedFont::instance = before;
}

} // namespace
