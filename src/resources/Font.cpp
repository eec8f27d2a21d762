#include "resources/Font.h"

Font* Font::shared = nullptr;

Font::Font() {}

Font::Font(SharedTag)
{
    shared = this;
}

Font::~Font()
{
    if (shared == this)
        shared = nullptr;
}
