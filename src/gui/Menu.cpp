#include "gui/Menu.h"

Menu* Menu::instance = nullptr;

Menu::Menu()
{
    instance = this;
}

Menu::~Menu()
{
    if (instance == this)
        instance = nullptr;
}
