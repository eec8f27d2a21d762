// Reading the menu's readable source and encoding it as the gui.gui bytes.
#include "GuiSource.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>

#include "gui/MenuScreens.h"

namespace {

struct Kind {
    const char* word;
    int type;
    const char* pattern;
};

const Kind kKinds[] = {
    { "button", gui::kTypeButton, gui::kButtonColourPattern },
    { "checkbox", gui::kTypeCheckBox, gui::kCheckBoxColourPattern },
    { "frame", gui::kTypeFrame, gui::kFrameColourPattern },
    { "listbox", gui::kTypeListBox, gui::kListBoxColourPattern },
    { "editbox", gui::kTypeEditBox, gui::kEditBoxColourPattern },
    { "combobox", gui::kTypeComboBox, gui::kListBoxColourPattern },
    { "label", gui::kTypeLabel, gui::kLabelColourPattern },
};

const Kind* findKind(const std::string& word)
{
    for (const Kind& k : kKinds)
        if (word == k.word)
            return &k;
    return nullptr;
}

const char* kindWord(int type)
{
    for (const Kind& k : kKinds)
        if (k.type == type)
            return k.word;
    return "widget";
}

// Matches text against a colour pattern the way sscanf does ("%f" a
// number, a blank any run of blanks, other characters themselves) and asks
// for every number, each from 0 to 1, and nothing but blanks after them.
bool colourMatches(const char* pattern, const std::string& text)
{
    const char* s = text.c_str();
    for (const char* p = pattern; *p; ++p) {
        if (p[0] == '%' && p[1] == 'f') {
            ++p;
            char* end = nullptr;
            float v = std::strtof(s, &end);
            if (end == s || !(v >= 0.0f && v <= 1.0f))
                return false;
            s = end;
        } else if (*p == ' ') {
            while (*s == ' ' || *s == '\t')
                ++s;
        } else if (*s++ != *p) {
            return false;
        }
    }
    while (*s == ' ' || *s == '\t')
        ++s;
    return *s == 0;
}

struct Parser {
    explicit Parser(GuiSource& source) : out(source) {}

    GuiSource& out;
    std::map<std::string, std::string> palette;
    int line = 0;
    int lastWindowLine = 0;
    // What a "colours" statement applies to: the last window or widget.
    char* colourTarget = nullptr;       // a window's fixed field
    std::string* colourBlock = nullptr; // a widget's block
    uint8_t* colourFlag = nullptr;
    const char* colourPattern = nullptr;

    bool fail(int at, const std::string& message)
    {
        out.error = std::to_string(at) + ": " + message;
        return false;
    }
    bool fail(const std::string& message) { return fail(line, message); }

    bool number(const std::string& word, int32_t* value)
    {
        errno = 0;
        char* end = nullptr;
        long v = std::strtol(word.c_str(), &end, 10);
        if (word.empty() || *end || errno || v < -100000 || v > 100000)
            return fail("'" + word + "' is not a whole number from -100000 to 100000");
        *value = static_cast<int32_t>(v);
        return true;
    }

    bool name(const std::string& word, char* field, const char* what)
    {
        if (word.size() >= size_t(gui::kNameSize))
            return fail(std::string(what) + " '" + word + "' is 64 bytes or more");
        gui::writeName(reinterpret_cast<unsigned char*>(field), word.c_str());
        return true;
    }

    // Splits "a b c "quoted text"" into words; the quoted text, if any, goes
    // to quoted (without its quotes) and must end the line.
    bool split(const std::string& text, std::vector<std::string>& words, std::string* quoted, bool* hasQuoted)
    {
        std::istringstream in(text.substr(0, text.find('"')));
        std::string w;
        while (in >> w)
            words.push_back(w);
        *hasQuoted = false;
        size_t open = text.find('"');
        if (open == std::string::npos)
            return true;
        size_t close = text.find('"', open + 1);
        if (close == std::string::npos)
            return fail("text has no closing \"");
        if (text.find_first_not_of(" \t", close + 1) != std::string::npos)
            return fail("nothing may follow the closing \" of a text");
        *quoted = text.substr(open + 1, close - open - 1);
        *hasQuoted = true;
        return true;
    }

    SourceWindow* window() { return out.windows.empty() ? nullptr : &out.windows.back(); }

    bool windowStatement(const std::vector<std::string>& w)
    {
        if (w.size() < 6 || w.size() > 7 || (w.size() == 7 && w[6] != "fixed"))
            return fail("expected: window NAME X Y WIDTH HEIGHT [fixed]");
        if (out.windows.size() >= size_t(gui::kMaxWindows))
            return fail("more than 20 windows");
        for (const SourceWindow& other : out.windows)
            if (w[1] == other.record.name)
                return fail("a second window named '" + w[1] + "'");
        SourceWindow win;
        win.line = line;
        WindowRecord& r = win.record;
        if (!name(w[1], r.name, "window name") || !number(w[2], &r.x) || !number(w[3], &r.y) ||
            !number(w[4], &r.width) || !number(w[5], &r.height))
            return false;
        if (r.width <= 0 || r.height <= 0)
            return fail("a window needs a width and height above 0");
        r.flags = w.size() == 7 ? gui::kWindowFixedFlag : 0;
        out.windows.push_back(win);
        colourTarget = out.windows.back().record.colours;
        colourBlock = nullptr;
        colourFlag = nullptr;
        colourPattern = gui::kWindowColourPattern;
        return true;
    }

    bool widgetStatement(const Kind& kind, const std::vector<std::string>& w, const std::string& text, bool hasText)
    {
        SourceWindow* win = window();
        if (!win)
            return fail("a widget before the first window");
        if (w.size() != 6)
            return fail(std::string("expected: ") + kind.word + " NAME X Y WIDTH HEIGHT [\"TEXT\"]");
        for (const SourceWidget& other : win->widgets)
            if (w[1] == other.record.name)
                return fail("a second widget named '" + w[1] + "' in window '" + win->record.name + "'");
        SourceWidget widget;
        widget.line = line;
        WidgetRecord& r = widget.record;
        r.type = kind.type;
        if (!name(w[1], r.name, "widget name") || !number(w[2], &r.x) || !number(w[3], &r.y) ||
            !number(w[4], &r.width) || !number(w[5], &r.height))
            return false;
        // Presses outside the window's body and title strip never reach a
        // widget, and an open combo box's list must stay inside it too.
        int reach = r.y + r.height + (kind.type == gui::kTypeComboBox ? gui::kComboListHeight : 0);
        bool sized = kind.type != gui::kTypeCheckBox;  // a check box sizes itself
        if (r.x < 0 || r.y < 0 || (sized && (r.x + r.width > win->record.width || reach > win->record.height)))
            return fail(std::string(kind.word) + " '" + w[1] + "' reaches outside its window's body");
        widget.text = text;
        r.hasText = hasText ? 1 : 0;
        win->widgets.push_back(widget);
        SourceWidget& placed = win->widgets.back();
        colourTarget = nullptr;
        colourBlock = &placed.colours;
        colourFlag = &placed.record.hasColours;
        colourPattern = kind.pattern;
        return true;
    }

    bool coloursStatement(std::string text)
    {
        if (!colourPattern)
            return fail("colours before any window or widget");
        if (!text.empty() && text[0] == '@') {
            auto found = palette.find(text.substr(1));
            if (found == palette.end())
                return fail("no palette entry '" + text.substr(1) + "'");
            text = found->second;
        }
        if (!colourMatches(colourPattern, text))
            return fail("colour text '" + text + "' does not match \"" + colourPattern +
                        "\" (numbers from 0 to 1, a comma straight after each fourth)");
        if (colourTarget) {
            if (text.size() >= size_t(gui::kNameSize))
                return fail("a window's colour text is 64 bytes or more");
            std::memcpy(colourTarget, text.c_str(), text.size() + 1);
        } else {
            *colourBlock = text;
            *colourFlag = 1;
        }
        return true;
    }

    bool statement(const std::string& raw)
    {
        size_t start = raw.find_first_not_of(" \t");
        if (start == std::string::npos || raw[start] == '#')
            return true;
        std::string text = raw.substr(start);
        size_t end = text.find_last_not_of(" \t");
        text = text.substr(0, end + 1);
        size_t gap = text.find_first_of(" \t");
        std::string word = text.substr(0, gap);
        std::string rest = gap == std::string::npos ? "" : text.substr(text.find_first_not_of(" \t", gap));

        if (word == "palette") {
            size_t cut = rest.find_first_of(" \t");
            if (rest.empty() || cut == std::string::npos)
                return fail("expected: palette NAME COLOUR-TEXT");
            palette[rest.substr(0, cut)] = rest.substr(rest.find_first_not_of(" \t", cut));
            return true;
        }
        if (word == "colours")
            return coloursStatement(rest);
        if (word == "title") {
            std::vector<std::string> none;
            std::string title;
            bool hasTitle = false;
            if (!window() || colourTarget != window()->record.colours)
                return fail("title belongs right after its window");
            if (!split(rest, none, &title, &hasTitle))
                return false;
            if (!hasTitle || !none.empty())
                return fail("expected: title \"TEXT\"");
            return name(title, window()->record.title, "title");
        }

        std::vector<std::string> w;
        std::string quoted;
        bool hasQuoted = false;
        if (!split(text, w, &quoted, &hasQuoted))
            return false;
        if (word == "window") {
            if (hasQuoted)
                return fail("a window takes no text; use title");
            return windowStatement(w);
        }
        const Kind* kind = findKind(word);
        if (!kind)
            return fail("unknown widget kind '" + word + "'");
        return widgetStatement(*kind, w, quoted, hasQuoted);
    }

    const SourceWidget* findWidget(const SourceWindow& win, const char* wanted)
    {
        for (const SourceWidget& widget : win.widgets)
            if (std::strcmp(widget.record.name, wanted) == 0)
                return &widget;
        return nullptr;
    }

    bool requireWidget(const SourceWindow& win, int type, const char* wanted)
    {
        const SourceWidget* widget = findWidget(win, wanted);
        if (!widget)
            return fail(win.line, std::string("window '") + win.record.name + "' has no " + kindWord(type) + " '" +
                                      wanted + "'");
        if (widget->record.type != type)
            return fail(widget->line, std::string("'") + wanted + "' must be a " + kindWord(type));
        return true;
    }

    // Every window and widget the menu looks up, with its kind.
    bool checkMenuNames()
    {
        const SourceWindow* screens[menu::ScreenCount] = {};
        for (int s = 0; s < menu::ScreenCount; ++s) {
            for (const SourceWindow& win : out.windows)
                if (std::strcmp(win.record.name, menu::kWindowNames[s]) == 0)
                    screens[s] = &win;
            if (!screens[s])
                return fail(std::string("no window '") + menu::kWindowNames[s] + "'");
        }
        for (const menu::RequiredWidget& r : menu::kRequiredWidgets)
            if (!requireWidget(*screens[r.screen], r.type, r.name))
                return false;
        for (const menu::ActionField& field : menu::kInputFileOrder)
            if (!requireWidget(*screens[menu::ScreenControls], gui::kTypeEditBox, field.editBox))
                return false;
        return true;
    }
};

void appendInt(std::vector<unsigned char>& bytes, int32_t value)
{
    unsigned char b[4];
    gui::writeInt32(b, value);
    bytes.insert(bytes.end(), b, b + 4);
}

// Length (terminating zero included) and bytes.
void appendBlock(std::vector<unsigned char>& bytes, const std::string& text)
{
    appendInt(bytes, static_cast<int32_t>(text.size() + 1));
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
}

} // namespace

bool parseGuiSource(const std::string& text, GuiSource& source)
{
    source = GuiSource();
    Parser parser(source);
    std::istringstream in(text);
    std::string raw;
    while (std::getline(in, raw)) {
        ++parser.line;
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        if (raw.find('\0') != std::string::npos)
            return parser.fail("a zero byte in the line");
        if (!parser.statement(raw))
            return false;
    }
    return parser.checkMenuNames();
}

std::vector<unsigned char> encodeGui(const GuiSource& source)
{
    std::vector<unsigned char> bytes;
    appendInt(bytes, static_cast<int32_t>(source.windows.size()));
    for (size_t i = 0; i < source.windows.size(); ++i)
        appendInt(bytes, 0);  // reserved
    for (const SourceWindow& win : source.windows) {
        WindowRecord record = win.record;
        record.widgetCount = static_cast<int32_t>(win.widgets.size());
        unsigned char block[gui::kWindowRecordSize];
        gui::encodeWindowRecord(record, block);
        bytes.insert(bytes.end(), block, block + sizeof block);
        for (const SourceWidget& widget : win.widgets) {
            unsigned char w[gui::kWidgetRecordSize];
            gui::encodeWidgetRecord(widget.record, w);
            bytes.insert(bytes.end(), w, w + sizeof w);
            if (widget.record.hasText)
                appendBlock(bytes, widget.text);
            if (widget.record.hasColours)
                appendBlock(bytes, widget.colours);
        }
    }
    return bytes;
}
