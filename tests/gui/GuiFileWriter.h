#pragma once
// Writes gui.gui images for the tests, byte by byte as the format lays them out.
#include "gui/GuiRecords.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

struct WidgetSpec {
    int type = gui::kTypeButton;
    int x = 0, y = 0, width = 0, height = 0;
    const char* name = "";
    const char* text = nullptr;     // null: no text block
    const char* colours = nullptr;  // null: no colour block
};

struct WindowSpec {
    const char* name = "";
    const char* title = "";
    int x = 0, y = 0, width = 200, height = 100;
    int flags = 0;
    const char* colours = "1 1 1 1, 0 0 0 1, 1 1 1 1, 1 1 1";
    std::vector<WidgetSpec> widgets;
};

class GuiFileWriter {
public:
    std::vector<unsigned char> bytes;

    void int32(int32_t v)
    {
        unsigned char b[4];
        gui::writeInt32(b, v);
        bytes.insert(bytes.end(), b, b + 4);
    }
    // The block keeps the terminating zero, as the format has it.
    void block(const char* text)
    {
        int32(int32_t(std::strlen(text) + 1));
        bytes.insert(bytes.end(), text, text + std::strlen(text) + 1);
    }
    void window(const WindowSpec& w)
    {
        WindowRecord r;
        r.widgetCount = int32_t(w.widgets.size());
        r.width = w.width;
        r.height = w.height;
        r.x = w.x;
        r.y = w.y;
        r.flags = w.flags;
        std::snprintf(r.name, sizeof r.name, "%s", w.name);
        std::snprintf(r.title, sizeof r.title, "%s", w.title);
        std::snprintf(r.colours, sizeof r.colours, "%s", w.colours);
        unsigned char b[gui::kWindowRecordSize];
        gui::encodeWindowRecord(r, b);
        bytes.insert(bytes.end(), b, b + sizeof b);
        for (const WidgetSpec& t : w.widgets)
            widget(t);
    }
    void widget(const WidgetSpec& t)
    {
        WidgetRecord r;
        r.type = t.type;
        r.x = t.x;
        r.y = t.y;
        r.width = t.width;
        r.height = t.height;
        r.hasText = t.text != nullptr;
        r.hasColours = t.colours != nullptr;
        std::snprintf(r.name, sizeof r.name, "%s", t.name);
        unsigned char b[gui::kWidgetRecordSize];
        gui::encodeWidgetRecord(r, b);
        bytes.insert(bytes.end(), b, b + sizeof b);
        if (t.text)
            block(t.text);
        if (t.colours)
            block(t.colours);
    }
    // A whole file: the count, reserved values, then the windows.
    static std::vector<unsigned char> file(const std::vector<WindowSpec>& windows)
    {
        GuiFileWriter w;
        w.int32(int32_t(windows.size()));
        for (size_t i = 0; i < windows.size(); ++i)
            w.int32(int32_t(0x5A5A5A5A + i));  // reserved: any value
        for (const WindowSpec& window : windows)
            w.window(window);
        return w.bytes;
    }
    static bool save(const std::string& path, const std::vector<unsigned char>& data)
    {
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f)
            return false;
        bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size();
        return std::fclose(f) == 0 && ok;
    }
};

// One window with every widget kind, and a widget of an unknown code in the middle.
inline WindowSpec everyKindWindow(const char* name)
{
    WindowSpec w;
    w.name = name;
    w.title = "Every kind";
    w.x = 100;
    w.y = 80;
    w.width = 400;
    w.height = 300;
    const char* four = "0.2 0.2 0.2 1, 0.4 0.4 0.4 1, 1 1 1 1, 1 1 1";
    const char* six = "0 0 0.3 1, 0.3 0.3 0.3 1, 0.6 0.6 0.6 1, 1 1 1 1, 0 0.5 0 1, 1 1 1";
    w.widgets = {
        {gui::kTypeButton, 10, 10, 100, 30, "btn_ok", "OK", four},
        {gui::kTypeCheckBox, 10, 50, 0, 0, "check_full", "Full screen", "1 1 1 1, 0.3 0 0 1, 1 1 0"},
        {gui::kTypeFrame, 200, 20, 180, 120, "frame_box", "Frame", "1 0 0 1, 1 1 1"},
        {4, 0, 0, 10, 10, "unknown_kind", "skipped", "1 1 1 1"},
        {gui::kTypeListBox, 10, 160, 150, 100, "list_rows", nullptr, six},
        {gui::kTypeEditBox, 10, 90, 120, 24, "edit_name", nullptr,
         "0.1 0.1 0.1 1, 0.2 0.2 0.5 1, 1 1 1 1, 1 1 0 1, 1 1 1"},
        {gui::kTypeComboBox, 200, 160, 150, 20, "combo_res", "800x600", six},
        {gui::kTypeLabel, 200, 270, 150, 12, "label_hint", "A label", "0 1 0"},
    };
    return w;
}
