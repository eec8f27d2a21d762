#pragma once

class Game {
public:
    static Game* instance;  // published by the constructor, cleared by the destructor

    Game();
    ~Game();
    Game(const Game&) = delete;
    Game& operator=(const Game&) = delete;
};
