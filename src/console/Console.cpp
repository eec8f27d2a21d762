#include "console/Console.h"

Console* Console::instance = nullptr;

Console::Console()
{
    instance = this;
}

Console::~Console()
{
    if (instance == this)
        instance = nullptr;
}
