#include "script/InputBindings.h"

InputBindings* InputBindings::instance = nullptr;

InputBindings::InputBindings()
{
    instance = this;
}

InputBindings::~InputBindings()
{
    if (instance == this)
        instance = nullptr;
}
