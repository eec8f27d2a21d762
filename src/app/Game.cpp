#include "app/Game.h"

Game* Game::instance = nullptr;

Game::Game()
{
    instance = this;
}

Game::~Game()
{
    if (instance == this)
        instance = nullptr;
}
