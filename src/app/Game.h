#pragma once
// The game object: life, bullets, shots, impact marks and the head-up display.
#include "platform/Published.h"
#include "objects/SpriteBatch.h"
#include "world/TraceResult.h"
#include "world/Vector3.h"

class Camera;
class Font;
class FrameTimer;
class LuaHost;
class Renderer;

// Where a shot struck a wall; fades from 1 to 0.
struct ImpactMark {
    Vector3 position;
    float alpha = 0.0f;
};

// The game state (life, bullets, shots, impact marks), the HUD and the game
// half of each frame.
class Game : public Published<Game> {
public:
    // Points of the shared font the HUD is drawn with: at this size the
    // shipped font's "Bullets: 1000" and "FPS: 1000" fit the 100 and 70
    // pixels their fixed places leave.
    enum { MAX_MARKS = 50, HUD_FONT_SIZE = 10 };

    Game();

    // Once at start-up with a GL context: HUD size, textures, mark square.
    bool init(int width, int height, Font* hudFont);
    // Deletes the mark square's list while the GL context is there.
    void release();
    // What kill does to the game: life 100, bullets 1000, no marks.
    void reset();
    // The frame between the timer tick and the swap while the menu is hidden:
    // player, targets, world, marks, then HUD, console and fps in the overlay.
    void runGameFrame();

    // Held shoot action: at most one shot every 0.13 s while bullets last.
    void shot();

    // Plain parts of the marks: false when all 50 slots are in use.
    bool placeMark(const Vector3& position);
    // Fades mark i by dt; false when it died and the last mark took its slot.
    bool fadeMark(int index, float dt);

    void drawMarks();
    // Runs kill() on death; draws nothing more while the HUD is hidden.
    void drawHud();

    ImpactMark marks[MAX_MARKS];
    int markCount = 0;
    unsigned markTexture = 0;
    unsigned crosshairTexture = 0;
    float lastShotTime = 0.0f;
    unsigned quadList = 0;         // the mark square, for the renderer's reference path
    SpriteBatch markBatch;         // this frame's marks, drawn in one call
    TraceResult shotTrace;
    Vector3 shotStart, shotEnd;
    int life = 100;
    int bullets = 1000;
    int hudWidth = 0, hudHeight = 0;
    int hudCentreX = 0, hudCentreY = 0;
    Font* font = nullptr;
    Camera* camera;
    FrameTimer* timer;
    Renderer* renderer;
    LuaHost* host;
};
