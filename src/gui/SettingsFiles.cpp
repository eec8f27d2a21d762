// Writing the player's key and video choices back as Lua (input.lua, videoSettings.lua).
#include "gui/SettingsFiles.h"

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include "script/ActionKeyTable.h"

namespace settings {

namespace {

const char* const kInputHeader =
    "-- This file was created my Halvex, feel free to edit it\n"
    "-- for avalible commands check out settings.lua\n";
const char* const kVideoHeader =
    "-- This file was created my Halvex, feel free to edit this file\n"
    "-- for avalible commands check out settings.lua\n";

// Characters that stand for themselves inside a double-quoted Lua string
// and do not read as a number there.
bool quotable(unsigned char c)
{
    return c >= 32 && c < 127 && c != '"' && c != '\\' && !(c >= '0' && c <= '9');
}

} // namespace

std::string keyText(const ActionKey& key)
{
    char text[16];
    if (key.device == DeviceMouse)
        std::snprintf(text, sizeof text, "*%i", key.code);
    else
        std::snprintf(text, sizeof text, "%c", static_cast<char>(key.code & 0xff));
    return text;
}

std::string inputLine(const char* command, const char* content)
{
    if (!content || !content[0])
        return "";
    std::string line = command;
    unsigned char c0 = static_cast<unsigned char>(content[0]);
    if (c0 == '*') {
        unsigned char c1 = static_cast<unsigned char>(content[1]);
        if (!(c1 >= '0' && c1 <= '9'))
            return "";
        line += "(\"\",";
        line += static_cast<char>(c1);
        line += ")\n";
    } else if (quotable(c0)) {
        line += "(\"";
        line += static_cast<char>(c0);
        line += "\")\n";
    } else {
        line += "(" + std::to_string(c0) + ")\n";
    }
    return line;
}

std::string inputFileText(const char* const contents[menu::kActionFieldCount])
{
    std::string text = kInputHeader;
    for (int i = 0; i < menu::kActionFieldCount; ++i)
        text += inputLine(menu::kInputFileOrder[i].command, contents[i]);
    text += "updateGuiControls()\n";
    return text;
}

std::string videoFileText(const char* resolution, bool fullscreen)
{
    std::string text = kVideoHeader;
    if (!resolution)
        return text;
    text += "setRes(\"";
    // The combo box only offers sizes; anything that could end the Lua
    // string is dropped rather than written.
    for (const char* p = resolution; *p; ++p)
        if (*p != '"' && *p != '\\' && *p != '\n' && *p != '\r')
            text += *p;
    text += fullscreen ? "\",1)\n" : "\",0)\n";
    return text;
}

bool replaceFile(const char* path, const std::string& text)
{
    struct stat st;
    if (stat(path, &st) == 0 && (!S_ISREG(st.st_mode) || access(path, W_OK) != 0))
        return false;
    std::string temp = std::string(path) + ".new";
    std::FILE* out = std::fopen(temp.c_str(), "w");
    if (!out)
        return false;
    bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    written = std::fclose(out) == 0 && written;
    if (!written || std::rename(temp.c_str(), path) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

} // namespace settings
