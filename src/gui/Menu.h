#pragma once

class Menu {
public:
    static Menu* instance;  // published by the constructor, cleared by the destructor

    Menu();
    ~Menu();
    Menu(const Menu&) = delete;
    Menu& operator=(const Menu&) = delete;
};
