// The window, its GL context and the two projections, on a real Mesa context
// under Xvfb.
#include <gtest/gtest.h>

#include <SDL.h>
#include <GL/gl.h>
#include <cmath>
#include <cstring>
#include <string>

#include "platform/Multitexture.h"
#include "platform/OglSdl.h"
#include "platform/SystemLog.h"

namespace {

size_t logMark() { return SystemLog::get().storedLines(); }

std::string linesSince(size_t mark)
{
    std::string out;
    for (size_t i = mark; i < SystemLog::get().storedLines(); ++i)
        out += std::string(SystemLog::get().line(i)) + "\n";
    return out;
}

// Where an overlay/perspective maps a point: normalised device x, y.
void project(const float* projection, float x, float y, float* ndcX, float* ndcY)
{
    float cx = projection[0] * x + projection[4] * y + projection[12];
    float cy = projection[1] * x + projection[5] * y + projection[13];
    float cw = projection[3] * x + projection[7] * y + projection[15];
    *ndcX = cx / cw;
    *ndcY = cy / cw;
}

class OglSdlTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        window = new OglSdl();
        created = window->createWindow("Halvex v. 0.1", 320, 240, 24, 45.0f);
    }
    static void TearDownTestSuite()
    {
        SDL_Quit();
        delete window;
        window = nullptr;
    }
    static OglSdl* window;
    static bool created;
};
OglSdl* OglSdlTest::window = nullptr;
bool OglSdlTest::created = false;

TEST_F(OglSdlTest, CreatesTitledWindowWithPerspective)
{
    ASSERT_TRUE(created);
    EXPECT_EQ(OglSdl::instance, window);
    EXPECT_EQ(window->width, 320);
    EXPECT_EQ(window->height, 240);
    EXPECT_EQ(window->depth, 24);
    EXPECT_TRUE(window->flags & SDL_OPENGL);
    EXPECT_TRUE(window->flags & SDL_RESIZABLE);
    EXPECT_TRUE(window->flags & SDL_HWPALETTE);
    ASSERT_NE(window->screen, nullptr);
    EXPECT_EQ(window->screen->w, 320);

    char* title = nullptr;
    char* icon = nullptr;
    SDL_WM_GetCaption(&title, &icon);
    ASSERT_NE(title, nullptr);
    EXPECT_STREQ(title, "Halvex v. 0.1");

    bool logged = false;
    for (size_t i = 0; i < SystemLog::get().storedLines(); ++i)
        logged |= std::strcmp(SystemLog::get().line(i),
                              LOG_WHITE "::OglSdl Window created, width: 320, height: 240, depth: 24 ") == 0;
    EXPECT_TRUE(logged);

    GLint depthBits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    EXPECT_GE(depthBits, 16);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 320);
    EXPECT_EQ(viewport[3], 240);
    float p[16];
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    float f = 1.0f / std::tan(22.5f * 3.14159265f / 180.0f);
    EXPECT_NEAR(p[5], f, 1e-4);
    EXPECT_NEAR(p[0], f * 240.0f / 320.0f, 1e-4);
    // Near 1, far 3000.
    EXPECT_NEAR(p[10], -(3000.0f + 1.0f) / (3000.0f - 1.0f), 1e-5);
    EXPECT_NEAR(p[14], -2.0f * 3000.0f / (3000.0f - 1.0f), 1e-4);
}

TEST_F(OglSdlTest, ZeroHeightViewportBecomesOnePixel)
{
    ASSERT_TRUE(created);
    window->resizeViewport(200, 0);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[3], 1);
    float p[16];
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    EXPECT_NEAR(p[5] / p[0], 200.0f, 1e-2);  // aspect = width
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    window->resizeViewport(320, 240);
}

TEST_F(OglSdlTest, OverlayIsTopLeftPixelsAndEndRestoresPerspective)
{
    ASSERT_TRUE(created);
    while (glGetError() != GL_NO_ERROR) {
    }
    float before[16];
    glGetFloatv(GL_PROJECTION_MATRIX, before);
    glEnable(GL_DEPTH_TEST);

    window->beginOverlay(0, 0, window->width, window->height);
    float p[16];
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    float x, y;
    project(p, 0, 0, &x, &y);
    EXPECT_NEAR(x, -1.0f, 1e-5);
    EXPECT_NEAR(y, 1.0f, 1e-5);
    project(p, 320, 240, &x, &y);
    EXPECT_NEAR(x, 1.0f, 1e-5);
    EXPECT_NEAR(y, -1.0f, 1e-5);
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);

    // A pixel drawn at overlay (10, 5) lands 10 right, 5 down from the top-left.
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_TEXTURE_2D);
    glColor3f(1, 1, 1);
    glBegin(GL_QUADS);
    glVertex2i(10, 5); glVertex2i(11, 5); glVertex2i(11, 6); glVertex2i(10, 6);
    glEnd();
    unsigned char rgb[3] = { 0, 0, 0 };
    glReadPixels(10, 240 - 1 - 5, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    EXPECT_EQ(rgb[0], 255);

    window->endOverlay();
    float after[16];
    glGetFloatv(GL_PROJECTION_MATRIX, after);
    for (int i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ(after[i], before[i]) << i;
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(OglSdlTest, OverlayKeepsConfiguredSizeAfterUserResize)
{
    ASSERT_TRUE(created);
    // What the main loop does on a resize: new mode and viewport only.
    window->screen = SDL_SetVideoMode(400, 300, window->depth, window->flags);
    ASSERT_NE(window->screen, nullptr);
    window->resizeViewport(400, 300);
    EXPECT_EQ(window->width, 320);

    window->beginOverlay();
    float p[16];
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    float x, y;
    project(p, 320, 240, &x, &y);
    EXPECT_NEAR(x, 1.0f, 1e-5);
    EXPECT_NEAR(y, -1.0f, 1e-5);
    window->endOverlay();

    window->screen = SDL_SetVideoMode(320, 240, window->depth, window->flags);
    window->resizeViewport(320, 240);
}

TEST_F(OglSdlTest, FullscreenToggleFlipsFlagBothWays)
{
    ASSERT_TRUE(created);
    uint32_t before = window->flags;
    bool ok = window->toggleFullscreen();
    EXPECT_TRUE(window->flags & SDL_FULLSCREEN);
    EXPECT_EQ(ok, window->screen != nullptr);
    window->toggleFullscreen();
    EXPECT_EQ(window->flags, before);
    EXPECT_NE(window->screen, nullptr);
    EXPECT_EQ(window->width, 320);
}

TEST_F(OglSdlTest, MultitextureEntryPointsFoundOnMesa)
{
    ASSERT_TRUE(created);
    size_t mark = logMark();
    MultitextureEntryPoints mt;
    EXPECT_TRUE(fetchMultitexture(mt));
    EXPECT_TRUE(mt.ready);
    ASSERT_NE(mt.activeTexture, nullptr);
    ASSERT_NE(mt.clientActiveTexture, nullptr);
    EXPECT_EQ(linesSince(mark), "");
    mt.activeTexture(GL_TEXTURE1_ARB);
    GLint unit = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE_ARB, &unit);
    EXPECT_EQ(unit, GL_TEXTURE1_ARB);
    mt.activeTexture(GL_TEXTURE0_ARB);
}

// A driver that offers every entry point but the refused ones.
const char* refused = "";
void fakeEntry(unsigned int) {}
void* partialDriver(const char* name)
{
    for (const char* p = std::strstr(refused, name); p; p = std::strstr(p + 1, name)) {
        bool wholeWord = (p == refused || p[-1] == ' ') && (p[std::strlen(name)] == '\0' || p[std::strlen(name)] == ' ');
        if (wholeWord)
            return nullptr;
    }
    return reinterpret_cast<void*>(&fakeEntry);
}

TEST(Multitexture, EachMissingEntryPointLogsItsOwnLine)
{
    MultitextureEntryPoints mt;
    size_t mark = logMark();
    refused = "glClientActiveTextureARB";
    EXPECT_FALSE(fetchMultitexture(mt, partialDriver));
    EXPECT_FALSE(mt.ready);
    EXPECT_EQ(linesSince(mark),
              LOG_RED "::Renderer ERROR MultiTexture Extension glClientActiveTextureARB not present.\n");

    mark = logMark();
    refused = "glActiveTextureARB glClientActiveTextureARB";
    EXPECT_FALSE(fetchMultitexture(mt, partialDriver));
    EXPECT_EQ(linesSince(mark),
              LOG_RED "::Renderer ERROR MultiTexture Extension glActiveTextureARB not present.\n" LOG_RED
                      "::Renderer ERROR MultiTexture Extension glClientActiveTextureARB not present.\n");
}

TEST(OglSdlNoWindow, ImpossibleSizeFailsWithRedLine)
{
    OglSdl window;
    size_t mark = logMark();
    EXPECT_FALSE(window.createWindow("Halvex v. 0.1", 0, 600, 24, 45.0f));
    EXPECT_EQ(window.screen, nullptr);
    EXPECT_FALSE(window.createWindow("Halvex v. 0.1", -5, 100000, 24, 45.0f));
    EXPECT_EQ(linesSince(mark),
              LOG_RED "::OglSdl ERROR SDL_SetVideoMode Faliure!\n" LOG_RED "::OglSdl ERROR SDL_SetVideoMode Faliure!\n");
    // The full-screen switch of a window that never opened fails the same way.
    mark = logMark();
    EXPECT_FALSE(window.toggleFullscreen());
    EXPECT_EQ(linesSince(mark), LOG_RED "::OglSdl ERROR Resizing window\n");
    SDL_Quit();
}

} // namespace
