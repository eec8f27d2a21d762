#pragma once
// The player's per-frame update from one frame's input.
#include <cstdint>

class Player;

// One frame's input as SDL reports it.
struct PlayerInput {
    int mouseX = 0;
    int mouseY = 0;
    uint32_t buttons = 0;            // SDL mouse button mask
    const uint8_t* keys = nullptr;   // SDL key state array
    int keyCount = 0;
};

// The player's frame for the given input: mouse look, held actions, physics
// step, camera leaf (every frame), view, and the frustum whenever the pose
// changed. Returns true when the mouse was away
// from the window centre and must be warped back. Player::update() feeds it
// SDL's state; tests feed it their own.
bool updatePlayer(Player& player, const PlayerInput& input);
