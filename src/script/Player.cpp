#include "script/Player.h"

Player* Player::instance = nullptr;

Player::Player()
{
    instance = this;
}

Player::~Player()
{
    if (instance == this)
        instance = nullptr;
}
