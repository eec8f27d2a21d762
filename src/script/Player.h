#pragma once
// The player: mouse look, action keys and the camera's physics body.
#include "platform/Published.h"

class ActionKeyTable;
class PhysicsBody;

// The player: mouse look, the seven action keys and the camera's physics
// body. Constructed here; the per-frame update lives in world/PlayerUpdate.cpp.
class Player : public Published<Player> {
public:
    bool mouseLook = true;
    float speed = 10.0f;      // units per second; start-up raises it to 100
    int windowWidth = 0;      // used to recentre the mouse; 0 until start-up
    int windowHeight = 0;

    ActionKeyTable* actionKeys = nullptr;  // owned
    PhysicsBody* body = nullptr;           // owned; the camera's body
    bool physicsEnabled = true;            // toggleCameraPhysics inverts it

    Player();  // registers inputForward..inputShoot and toggleMouseLook
    ~Player();

    void setScreenSize(int w, int h);

    // Mouse look, held actions, physics step, camera leaf, view and frustum.
    void update();
};
