#pragma once
// The player: mouse look, action keys and the camera's physics body.

class ActionKeyTable;
class Camera;
class Console;
class FrameTimer;
class Frustum;
class Game;
class LuaHost;
class PhysicsBody;
class Renderer;

// The player: mouse look, the seven action keys and the camera's physics
// body. Constructed here; the per-frame update lives in world/PlayerUpdate.cpp.
class Player {
public:
    static Player* instance;  // published by the constructor, cleared by the destructor

    // Taken at construction: every one of them is constructed before the Player.
    FrameTimer* timer = nullptr;
    Camera* camera = nullptr;
    Renderer* renderer = nullptr;
    Frustum* frustum = nullptr;
    LuaHost* host = nullptr;
    Game* game = nullptr;
    Console* console = nullptr;

    bool mouseLook = true;
    float speed = 10.0f;      // units per second; start-up raises it to 100
    int windowWidth = 0;      // used to recentre the mouse; 0 until start-up
    int windowHeight = 0;

    ActionKeyTable* actionKeys = nullptr;  // owned
    PhysicsBody* body = nullptr;           // owned; the camera's body
    bool physicsEnabled = true;            // toggleCameraPhysics inverts it

    Player();  // registers inputForward..inputShoot and toggleMouseLook
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    void setScreenSize(int w, int h);

    // Mouse look, held actions, physics step, camera leaf, view and frustum.
    void update();
};
