#pragma once
// The fixed-size records of gui.gui and their exact byte layout. Plain data
// with no GL, SDL or log dependency, so a tool that writes the file can use
// this header alone.
//
// File: int32 windowCount, windowCount reserved int32 values, then per
// window a WindowRecord followed by its widget blocks. A widget block is a
// WidgetRecord, then (when hasText) int32 length + bytes, then (when
// hasColours) int32 length + bytes. Integers are little-endian; names,
// titles and colour texts are zero-terminated and zero-padded.
#include <cstdint>
#include <cstring>

namespace gui {

const int kNameSize = 64;  // name, title and window colour fields; 63 characters at most
const int kWindowRecordSize = 216;
const int kWidgetRecordSize = 92;
const int kMaxWindows = 20;
const int kTitleBarHeight = 20;
const int kWindowFixedFlag = 1;  // flags bit 0: the window cannot be dragged
const int kComboListHeight = 100;  // a combo box's list drops this far below the box

// Widget type codes; every other value is read and dropped.
enum WidgetType : int32_t {
    kTypeButton = 0,
    kTypeCheckBox = 2,
    kTypeFrame = 3,
    kTypeListBox = 5,
    kTypeEditBox = 7,
    kTypeComboBox = 9,
    kTypeLabel = 10,
};

// Colour text patterns, by owner. Four numbers make an RGBA group and a
// comma must follow each group's fourth number directly; a final group of
// three is RGB.
const char* const kWindowColourPattern = "%f %f %f %f, %f %f %f %f, %f %f %f %f, %f %f %f";
const char* const kButtonColourPattern = "%f %f %f %f, %f %f %f %f, %f %f %f %f, %f %f %f";
const char* const kCheckBoxColourPattern = "%f %f %f %f, %f %f %f %f, %f %f %f";
const char* const kFrameColourPattern = "%f %f %f %f, %f %f %f";
const char* const kListBoxColourPattern =
    "%f %f %f %f, %f %f %f %f, %f %f %f %f, %f %f %f %f, %f %f %f %f, %f %f %f";
const char* const kEditBoxColourPattern =
    "%f %f %f %f, %f %f %f %f, %f %f %f %f, %f %f %f %f, %f %f %f";
const char* const kLabelColourPattern = "%f %f %f";

}  // namespace gui

// 216 bytes in the file.
struct WindowRecord {
    int32_t widgetCount = 0;  // 0 or less: none
    int32_t height = 0;       // body
    int32_t width = 0;        // body and title bar
    int32_t x = 0;            // initial screen position of the body
    int32_t y = 0;
    int32_t flags = 0;        // bit 0: fixed
    char name[gui::kNameSize] = {};
    char title[gui::kNameSize] = {};    // empty: no title
    char colours[gui::kNameSize] = {};  // kWindowColourPattern
};

// 92 bytes in the file.
struct WidgetRecord {
    int32_t type = 0;
    int32_t height = 0;
    int32_t width = 0;
    int32_t x = 0;  // relative to the window body
    int32_t y = 0;
    int32_t reserved = 0;
    uint8_t hasText = 0;
    uint8_t hasColours = 0;
    char name[gui::kNameSize] = {};
    uint8_t padding[2] = {};
};

namespace gui {

inline int32_t readInt32(const unsigned char* p)
{
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

inline void writeInt32(unsigned char* p, int32_t value)
{
    uint32_t v = uint32_t(value);
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

// Copies a fixed text field and makes sure it ends in a zero, so a field
// with no terminator in the file is cut to 63 characters.
inline void readName(char* out, const unsigned char* p)
{
    std::memcpy(out, p, kNameSize);
    out[kNameSize - 1] = 0;
}

// Writes a fixed text field: the text, then zeros to the end.
inline void writeName(unsigned char* p, const char* text)
{
    std::memset(p, 0, kNameSize);
    size_t length = 0;
    while (length < size_t(kNameSize - 1) && text[length])
        ++length;
    std::memcpy(p, text, length);
}

inline void decodeWindowRecord(const unsigned char* p, WindowRecord& r)
{
    r.widgetCount = readInt32(p + 0);
    r.height = readInt32(p + 4);
    r.width = readInt32(p + 8);
    r.x = readInt32(p + 12);
    r.y = readInt32(p + 16);
    r.flags = readInt32(p + 20);
    readName(r.name, p + 24);
    readName(r.title, p + 88);
    readName(r.colours, p + 152);
}

inline void encodeWindowRecord(const WindowRecord& r, unsigned char* p)
{
    writeInt32(p + 0, r.widgetCount);
    writeInt32(p + 4, r.height);
    writeInt32(p + 8, r.width);
    writeInt32(p + 12, r.x);
    writeInt32(p + 16, r.y);
    writeInt32(p + 20, r.flags);
    writeName(p + 24, r.name);
    writeName(p + 88, r.title);
    writeName(p + 152, r.colours);
}

inline void decodeWidgetRecord(const unsigned char* p, WidgetRecord& r)
{
    r.type = readInt32(p + 0);
    r.height = readInt32(p + 4);
    r.width = readInt32(p + 8);
    r.x = readInt32(p + 12);
    r.y = readInt32(p + 16);
    r.reserved = readInt32(p + 20);
    r.hasText = p[24];
    r.hasColours = p[25];
    readName(r.name, p + 26);
    r.padding[0] = p[90];
    r.padding[1] = p[91];
}

inline void encodeWidgetRecord(const WidgetRecord& r, unsigned char* p)
{
    writeInt32(p + 0, r.type);
    writeInt32(p + 4, r.height);
    writeInt32(p + 8, r.width);
    writeInt32(p + 12, r.x);
    writeInt32(p + 16, r.y);
    writeInt32(p + 20, r.reserved);
    p[24] = r.hasText;
    p[25] = r.hasColours;
    writeName(p + 26, r.name);
    p[90] = r.padding[0];
    p[91] = r.padding[1];
}

}  // namespace gui
