#pragma once

class Player {
public:
    static Player* instance;  // published by the constructor, cleared by the destructor

    Player();
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;
};
