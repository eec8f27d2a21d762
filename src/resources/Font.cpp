// The FreeType-backed bitmap font: building its glyph atlas and drawing text.
#include "resources/Font.h"

#include "platform/GlContext.h"

#include "platform/SystemLog.h"
#include "resources/FontText.h"

#include <GL/gl.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>


namespace {

const int kMaxSize = 256;

// What one character contributes while the atlas is built.
struct GlyphCell {
    int left = 0;
    int top = 0;
    int width = 0;
    int rows = 0;
    int cellX = 0;
    long advance = 0;  // 26.6
    std::vector<unsigned char> bitmap;  // width x rows grey values
};

// Renders one character as an 8-bit grey bitmap. A glyph that fails stays
// empty with zero advance, and building carries on.
void renderGlyph(FT_Face face, int ch, GlyphCell* cell)
{
    FT_UInt index = FT_Get_Char_Index(face, FT_ULong(ch));
    if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT) != 0) {
        SystemLog::get().write(LOG_RED "::Font ERROR FT_Load_Glyph failed");
        return;
    }
    FT_Glyph glyph;
    if (FT_Get_Glyph(face->glyph, &glyph) != 0) {
        SystemLog::get().write(LOG_RED "::Font ERROR FT_Get_Glyph failed");
        return;
    }
    if (FT_Glyph_To_Bitmap(&glyph, FT_RENDER_MODE_NORMAL, nullptr, 1) != 0 ||
        glyph->format != FT_GLYPH_FORMAT_BITMAP) {
        SystemLog::get().write(LOG_RED "::Font ERROR FT_Glyph_To_Bitmap failed");
        FT_Done_Glyph(glyph);
        return;
    }
    FT_BitmapGlyph bitmapGlyph = reinterpret_cast<FT_BitmapGlyph>(glyph);
    const FT_Bitmap& bitmap = bitmapGlyph->bitmap;
    cell->advance = face->glyph->advance.x;
    cell->left = bitmapGlyph->left;
    cell->top = bitmapGlyph->top;
    if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY && bitmap.buffer) {
        cell->width = int(bitmap.width);
        cell->rows = int(bitmap.rows);
        cell->bitmap.resize(size_t(cell->width) * size_t(cell->rows));
        int pitch = bitmap.pitch < 0 ? -bitmap.pitch : bitmap.pitch;
        for (int j = 0; j < cell->rows; ++j) {
            int sourceRow = bitmap.pitch < 0 ? cell->rows - 1 - j : j;
            std::memcpy(&cell->bitmap[size_t(j) * size_t(cell->width)],
                        bitmap.buffer + size_t(sourceRow) * size_t(pitch), size_t(cell->width));
        }
    }
    FT_Done_Glyph(glyph);
}

void compileGlyphList(GLuint list, const GlyphCell& g, int texWidth, int texHeight)
{
    double sLeft = double(g.cellX) / texWidth;
    double sRight = double(g.cellX + g.width) / texWidth;
    double tBottom = double(g.rows) / texHeight;
    glNewList(list, GL_COMPILE);
    glPushMatrix();
    glTranslatef(float(g.left), 0.0f, 0.0f);
    glTranslatef(0.0f, float(-g.top), 0.0f);
    glBegin(GL_TRIANGLE_STRIP);
    glTexCoord2d(sRight, 0.0);
    glVertex2f(float(g.width), 0.0f);
    glTexCoord2d(sRight, tBottom);
    glVertex2f(float(g.width), float(g.rows));
    glTexCoord2d(sLeft, 0.0);
    glVertex2f(0.0f, 0.0f);
    glTexCoord2d(sLeft, tBottom);
    glVertex2f(0.0f, float(g.rows));
    glEnd();
    glPopMatrix();
    glTranslatef(float(g.advance >> 6), 0.0f, 0.0f);
    glEndList();
}

// Cuts a formatted text at the buffer's end; returns the stored length.
int formatInto(char* buffer, int capacity, const char* format, va_list args)
{
    int n = std::vsnprintf(buffer, size_t(capacity), format, args);
    if (n < 0) {
        buffer[0] = '\0';
        return 0;
    }
    return n < capacity ? n : capacity - 1;
}

} // namespace

Font::Font()
{
    queue = new (std::nothrow) QueuedText[kQueueSlots];
}

Font::~Font()
{
    release();
    delete[] queue;
    queue = nullptr;
}

void Font::release()
{
    // After the context is gone its objects went with it: only forget them.
    bool live = glContextCurrent();
    if (listBase != 0 && live)
        glDeleteLists(listBase, kGlyphCount);
    if (texture != 0 && live) {
        GLuint name = texture;
        glDeleteTextures(1, &name);
    }
    listBase = 0;
    texture = 0;
    texWidth = 0;
    texHeight = 0;
    delete[] widths;
    widths = nullptr;
}

int Font::advanceWidth(int ch) const
{
    if (!widths || ch < 0 || ch >= kGlyphCount)
        return 0;
    return widths[ch];
}

bool Font::init(const char* file, int fontSize)
{
    release();
    size = fontSize;
    if (fontSize <= 0 || fontSize > kMaxSize) {
        SystemLog::get().write(LOG_RED "::Font ERROR Invalid font size %i", fontSize);
        return false;
    }
    FT_Library library;
    if (FT_Init_FreeType(&library) != 0) {
        SystemLog::get().write(LOG_RED "::Font ERROR FT_Init_FreeType failed");
        return false;
    }
    FT_Face face;
    if (!file || FT_New_Face(library, file, 0, &face) != 0) {
        SystemLog::get().write(LOG_RED "::Font ERROR FT_New_Face failed (there is probably a problem with your font file)");
        FT_Done_FreeType(library);
        return false;
    }
    if (FT_Set_Char_Size(face, fontSize * 64, fontSize * 64, 96, 96) != 0) {
        SystemLog::get().write(LOG_RED "::Font ERROR FT_Set_Char_Size failed for size %i", fontSize);
        FT_Done_Face(face);
        FT_Done_FreeType(library);
        return false;
    }

    // One row of cells, each as wide as its glyph's bitmap.
    std::vector<GlyphCell> cells(kGlyphCount);
    int sumWidths = 0;
    int maxRows = 0;
    for (int ch = 0; ch < kGlyphCount; ++ch) {
        GlyphCell& g = cells[size_t(ch)];
        renderGlyph(face, ch, &g);
        g.cellX = sumWidths;
        sumWidths += g.width;
        if (g.rows > maxRows)
            maxRows = g.rows;
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);

    int width = fontPowerOfTwo(sumWidths);
    int height = fontPowerOfTwo(maxRows);
    GLint maxTexture = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture);
    if (maxTexture > 0 && (width > maxTexture || height > maxTexture)) {
        SystemLog::get().write(LOG_RED "::Font ERROR Glyph atlas %i x %i is larger than the driver allows", width,
                               height);
        return false;
    }

    // Luminance and alpha both carry the grey value; untouched texels stay 0.
    std::vector<unsigned char> texels(size_t(width) * size_t(height) * 2, 0);
    for (const GlyphCell& g : cells) {
        for (int j = 0; j < g.rows; ++j) {
            for (int k = 0; k < g.width; ++k) {
                unsigned char v = g.bitmap[size_t(j) * size_t(g.width) + size_t(k)];
                size_t at = (size_t(j) * size_t(width) + size_t(g.cellX + k)) * 2;
                texels[at] = v;
                texels[at + 1] = v;
            }
        }
    }

    widths = new int[kGlyphCount];
    for (int ch = 0; ch < kGlyphCount; ++ch) {
        const GlyphCell& g = cells[size_t(ch)];
        widths[ch] = fontAdvanceWidth(g.left, g.width, g.advance);
    }

    GLuint name = 0;
    glGenTextures(1, &name);
    texture = name;
    texWidth = width;
    texHeight = height;
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE,
                 texels.data());

    listBase = glGenLists(kGlyphCount);
    if (listBase == 0) {
        SystemLog::get().write(LOG_RED "::Font ERROR glGenLists failed");
        release();
        return false;
    }
    for (int ch = 0; ch < kGlyphCount; ++ch)
        compileGlyphList(listBase + GLuint(ch), cells[size_t(ch)], width, height);
    return true;
}

// Calls the lists for the bytes that have one; bytes 128..255 are dropped
// so they can never reach another font's lists.
void Font::callLists(const char* text, int length)
{
    unsigned char chunk[kPrintBufferSize];
    int n = 0;
    for (int i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= kGlyphCount)
            continue;
        chunk[n++] = c;
        if (n == kPrintBufferSize) {
            glCallLists(n, GL_UNSIGNED_BYTE, chunk);
            n = 0;
        }
    }
    if (n > 0)
        glCallLists(n, GL_UNSIGNED_BYTE, chunk);
}

void Font::drawLine(const char* text, float r, float g, float b, int x, int y)
{
    if (!text || !loaded())
        return;
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glListBase(listBase);
    glPushMatrix();
    glTranslatef(float(x), float(y + size), 0.0f);
    glBindTexture(GL_TEXTURE_2D, texture);
    glColor3f(r, g, b);
    callLists(text, int(std::strlen(text)));
    glPopMatrix();
    glDisable(GL_BLEND);
}

void Font::printText(int x, int y, float r, float g, float b, const char* format, ...)
{
    if (!format || !loaded())
        return;
    char buffer[kPrintBufferSize];
    va_list args;
    va_start(args, format);
    formatInto(buffer, kPrintBufferSize, format, args);
    va_end(args);

    // Every newline ends a line; what follows the last one is a line too.
    char* line = buffer;
    for (int index = 0;; ++index) {
        char* newline = std::strchr(line, '\n');
        if (newline)
            *newline = '\0';
        drawLine(line, r, g, b, x, fontLineTop(y, index, size));
        if (!newline)
            break;
        line = newline + 1;
    }
    glDisable(GL_BLEND);
}

void Font::printQueued(float r, float g, float b, int x, int y, const char* format, ...)
{
    if (!format || !queue)
        return;
    if (queued >= kQueueFlushAt)
        flushQueue();
    QueuedText& q = queue[queued];
    va_list args;
    va_start(args, format);
    formatInto(q.text, kQueuedTextSize, format, args);
    va_end(args);
    q.length = int(std::strlen(q.text));
    q.x = float(x);
    q.y = float(y + size);
    q.r = r;
    q.g = g;
    q.b = b;
    ++queued;
}

void Font::flushQueue()
{
    if (!queue || !loaded()) {
        queued = 0;
        return;
    }
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glListBase(listBase);
    glBindTexture(GL_TEXTURE_2D, texture);
    for (int i = 0; i < queued; ++i) {
        const QueuedText& q = queue[i];
        glPushMatrix();
        glTranslatef(q.x, q.y, 0.0f);
        glColor3f(q.r, q.g, q.b);
        callLists(q.text, q.length);
        glPopMatrix();
    }
    queued = 0;
    glDisable(GL_BLEND);
}

int Font::textWidth(const char* text) const
{
    if (!text || !widths)
        return 0;
    int total = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p < kGlyphCount)
            total += widths[*p];
    }
    return total;
}
