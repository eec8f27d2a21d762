// Reading gui.gui into windows and widgets, every read bounds-checked.
#include "gui/GuiFile.h"

#include <cstring>
#include <cstdio>
#include <sys/stat.h>

namespace {

// The shipped menu is a few kilobytes; anything far larger is not a menu.
const long kMaxGuiFileBytes = 4 * 1024 * 1024;

// A cursor over the file image; every read checks what is left first.
struct Reader {
    const unsigned char* data;
    size_t size;
    size_t at = 0;

    size_t left() const { return size - at; }

    bool int32(int32_t& out)
    {
        if (left() < 4)
            return false;
        out = gui::readInt32(data + at);
        at += 4;
        return true;
    }

    bool skip(size_t bytes)
    {
        if (left() < bytes)
            return false;
        at += bytes;
        return true;
    }

    // A length and that many bytes; the text ends at the first zero.
    bool block(std::string& out)
    {
        int32_t length;
        if (!int32(length) || length < 0 || size_t(length) > left())
            return false;
        const char* bytes = reinterpret_cast<const char*>(data + at);
        const void* zero = std::memchr(bytes, 0, size_t(length));
        size_t textLength = zero ? size_t(static_cast<const char*>(zero) - bytes) : size_t(length);
        out.assign(bytes, textLength);
        at += size_t(length);
        return true;
    }
};

bool readWidget(Reader& in, WidgetBlock& widget)
{
    if (in.left() < size_t(gui::kWidgetRecordSize))
        return false;
    gui::decodeWidgetRecord(in.data + in.at, widget.record);
    in.at += gui::kWidgetRecordSize;
    if (widget.record.hasText && !in.block(widget.text))
        return false;
    if (widget.record.hasColours && !in.block(widget.colours))
        return false;
    return true;
}

bool nameTaken(const std::vector<WindowBlock>& windows, const char* name)
{
    for (const WindowBlock& w : windows) {
        if (std::strcmp(w.record.name, name) == 0)
            return true;
    }
    return false;
}

bool parseWindows(Reader& in, std::vector<WindowBlock>& windows)
{
    int32_t windowCount;
    if (!in.int32(windowCount))
        return false;
    if (windowCount <= 0)
        return true;
    // The reserved values and one record per window must still fit.
    size_t count = size_t(windowCount);
    if (count > in.left() / (4 + gui::kWindowRecordSize))
        return false;
    in.skip(count * 4);

    for (size_t i = 0; i < count; ++i) {
        if (in.left() < size_t(gui::kWindowRecordSize))
            return false;
        WindowBlock window;
        gui::decodeWindowRecord(in.data + in.at, window.record);
        in.at += gui::kWindowRecordSize;

        int32_t widgetCount = window.record.widgetCount;
        if (widgetCount > 0 && size_t(widgetCount) > in.left() / gui::kWidgetRecordSize)
            return false;
        for (int32_t k = 0; k < widgetCount; ++k) {
            WidgetBlock widget;
            if (!readWidget(in, widget))
                return false;
            window.widgets.push_back(std::move(widget));
        }
        // A repeated name: read to stay in step, then dropped.
        if (!nameTaken(windows, window.record.name))
            windows.push_back(std::move(window));
    }
    return true;
}

}  // namespace

bool parseGuiFile(const unsigned char* data, size_t size, std::vector<WindowBlock>& windows)
{
    windows.clear();
    Reader in{data, size};
    if (!parseWindows(in, windows)) {
        windows.clear();
        return false;
    }
    return true;
}

bool readGuiFile(const char* path, std::vector<WindowBlock>& windows)
{
    windows.clear();
    // stdio, not streams: a stream throws when the path is a folder.
    FILE* file = std::fopen(path, "rb");
    if (!file)
        return false;
    // Only a regular file of bounded size: a device or pipe could be endless.
    struct stat info;
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kMaxGuiFileBytes) {
        std::fclose(file);
        return false;
    }
    std::vector<unsigned char> bytes;
    unsigned char chunk[65536];
    size_t got;
    while (bytes.size() <= size_t(kMaxGuiFileBytes) && (got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    const bool failed = std::ferror(file) != 0 || bytes.size() > size_t(kMaxGuiFileBytes);
    std::fclose(file);
    if (failed)
        return false;
    return parseGuiFile(bytes.data(), bytes.size(), windows);
}
