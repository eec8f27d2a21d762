#pragma once

// A FreeType-rendered atlas of character codes 0..127. The HUD's font is the
// shared one; the console and the GUI each load one of their own.
class Font {
public:
    enum SharedTag { Shared };
    static Font* shared;  // the HUD's font, published by its constructor

    Font();
    explicit Font(SharedTag);
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;
};
