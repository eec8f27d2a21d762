// The editing steps of one line of text, shared by the console and the GUI.
#include "console/LineEdit.h"

#include <SDL_keysym.h>

bool LineEdit::insert(unsigned char c, size_t maxLength)
{
    if (c == 0 || text.size() >= maxLength)
        return false;
    text.insert(text.begin() + cursor, static_cast<char>(c));
    ++cursor;
    return true;
}

bool LineEdit::backspace()
{
    if (cursor <= 0)
        return false;
    text.erase(static_cast<size_t>(cursor - 1), 1);
    --cursor;
    return true;
}

bool LineEdit::erase()
{
    if (static_cast<size_t>(cursor) >= text.size())
        return false;
    text.erase(static_cast<size_t>(cursor), 1);
    return true;
}

bool LineEdit::left()
{
    if (cursor <= 0)
        return false;
    --cursor;
    return true;
}

bool LineEdit::right()
{
    if (static_cast<size_t>(cursor) >= text.size())
        return false;
    ++cursor;
    return true;
}

bool lineEditIgnores(int keySymbol)
{
    switch (keySymbol) {
    case SDLK_BACKQUOTE:
    case SDLK_TAB:
    case SDLK_RSHIFT:
    case SDLK_LSHIFT:
    case SDLK_RCTRL:
    case SDLK_LCTRL:
    case SDLK_RALT:
    case SDLK_LALT:
        return true;
    default:
        return false;
    }
}
