#pragma once
// The FreeType-backed bitmap font the HUD, the console and the GUI draw text with.
#include "platform/Published.h"

// A FreeType-rendered atlas of character codes 0..127 with one display list
// per character. The HUD's font is the shared one; the console and the GUI
// each load one of their own.
//
// All drawing is in overlay pixels (origin top-left, y down); y is the top
// of the text line and the pen sits on the baseline at y + size. Every byte
// is drawn and measured as it is, in the colour given (log colour prefixes
// are the console's business). Bytes 128..255 have no glyph and are skipped.
class Font {
public:
    static const int kGlyphCount = 128;
    static const int kQueueSlots = 80;      // the queue is flushed at 79 entries
    static const int kQueueFlushAt = 79;
    static const int kQueuedTextSize = 128; // 127 characters and a terminator
    static const int kPrintBufferSize = 256;

    Font();
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    // Renders the glyphs and compiles the lists; needs a current GL context.
    // size is in points at 96 dpi. Calling it again replaces the old atlas.
    bool init(const char* file, int size);
    bool initFont(int size, const char* file) { return init(file, size); }

    // Formats (cut at 255 characters) and draws at once; '\n' starts a new
    // line size * 1.5873016 pixels further down.
    void printText(int x, int y, float r, float g, float b, const char* format, ...)
        __attribute__((format(printf, 7, 8)));
    // One line, unformatted; null draws nothing.
    void drawLine(const char* text, float r, float g, float b, int x, int y);
    // Formats (cut at 127 characters) into the queue; a queue of 79 entries
    // is flushed first.
    void printQueued(float r, float g, float b, int x, int y, const char* format, ...)
        __attribute__((format(printf, 7, 8)));
    void flushQueue();
    // Sum of the advance widths of the text's bytes (bytes >= 128 count 0).
    int textWidth(const char* text) const;

    int fontSize() const { return size; }
    bool loaded() const { return listBase != 0; }
    int queuedCount() const { return queued; }
    unsigned atlasTexture() const { return texture; }
    int atlasWidth() const { return texWidth; }
    int atlasHeight() const { return texHeight; }
    int advanceWidth(int ch) const;

    // Deletes the atlas and the lists while the GL context is still there;
    // the font draws nothing until init() again.
    void release();

private:
    struct QueuedText {
        float x, y;  // y already on the baseline
        float r, g, b;
        char text[kQueuedTextSize];
        int length;
    };

    void callLists(const char* text, int length);

    int size = 0;
    unsigned texture = 0;
    unsigned listBase = 0;
    int texWidth = 0;
    int texHeight = 0;
    QueuedText* queue = nullptr;
    int queued = 0;
    int* widths = nullptr;
};

// The one font the HUD and the frame-rate text share, a process-wide object
// like the others: reached through SharedFont::instance.
class SharedFont : public Font, public Published<SharedFont> {
};
