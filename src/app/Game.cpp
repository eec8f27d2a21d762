// The game state and its frame: shots, impact marks, the death rule and the HUD.
#include "app/Game.h"

#include <GL/gl.h>
#include <cstring>

#include "app/AppState.h"
#include "app/FrameTimer.h"
#include "app/TargetList.h"
#include "console/Console.h"
#include "platform/GlContext.h"
#include "platform/OglSdl.h"
#include "resources/Font.h"
#include "resources/TextureManager.h"
#include "script/LuaHost.h"
#include "script/Player.h"
#include "world/Camera.h"
#include "world/Collision.h"
#include "world/Renderer.h"

namespace {

// Seconds; a shot needs strictly more. The times are floats of whole
// milliseconds, so half a millisecond of slack keeps a gap of exactly 130 ms
// from passing on rounding noise.
const float kFireInterval = 0.13f;
const float kTickSlack = 0.0005f;
const float kShotLength = 10000.0f;
const int kShotDamage = 10;
const float kMarkFadeRate = 0.3f;  // alpha per second
const float kMarkLift = 2.0f;      // units in front of the wall
const float kMarkHalfSize = 10.0f;
static_assert(int(Game::MAX_MARKS) <= int(SpriteBatch::MAX_SPRITES), "every mark fits the batch");

} // namespace

Game::Game()
    : camera(Camera::instance), timer(FrameTimer::instance), renderer(Renderer::instance),
      host(LuaHost::instance)
{
}

bool Game::init(int width, int height, Font* hudFont)
{
    hudWidth = width;
    hudHeight = height;
    hudCentreX = width / 2;
    hudCentreY = height / 2;
    font = hudFont;

    TextureManager::get().loadTexture("baseq3//textures//particle.tga", &markTexture, false);
    TextureManager::get().loadTexture("baseq3//textures//cross.tga", &crosshairTexture, false);

    if (quadList)
        glDeleteLists(quadList, 1);
    quadList = compileSpriteList(kMarkHalfSize, kMarkHalfSize);
    return quadList != 0;
}

void Game::release()
{
    if (quadList && glContextCurrent())
        glDeleteLists(quadList, 1);
    quadList = 0;
}

void Game::reset()
{
    life = 100;
    bullets = 1000;
    markCount = 0;
}

void Game::shot()
{
    if (bullets <= 0 || !timer)
        return;
    if (!(timer->now - lastShotTime > kFireInterval + kTickSlack))
        return;
    --bullets;

    if (camera) {
        shotStart = camera->position;
        shotEnd = shotStart + camera->forward * kShotLength;
        // A trace without a level leaves the result alone: start clean.
        shotTrace = TraceResult();
        if (renderer)
            rayTrace(*renderer, shotTrace, shotStart, shotEnd, true, kShotDamage);
        if (shotTrace.hit)
            placeMark(shotTrace.endPosition + shotTrace.normal * kMarkLift);
    }
    lastShotTime = timer->now;
}

bool Game::placeMark(const Vector3& position)
{
    if (markCount >= MAX_MARKS)
        return false;
    marks[markCount].position = position;
    marks[markCount].alpha = 1.0f;
    ++markCount;
    return true;
}

bool Game::fadeMark(int index, float dt)
{
    if (index < 0 || index >= markCount)
        return false;
    marks[index].alpha -= dt * kMarkFadeRate;
    if (marks[index].alpha > 0.0f)
        return true;
    // The last mark takes the slot; it is not faded again this frame.
    marks[index] = marks[markCount - 1];
    --markCount;
    return false;
}

void Game::drawMarks()
{
    float dt = timer ? timer->frameTime : 0.0f;
    glDepthMask(GL_FALSE);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glBindTexture(GL_TEXTURE_2D, markTexture);

    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const float* billboard = camera ? camera->billboardMatrix : identity;
    bool oneByOne = renderer && renderer->referenceDrawing;
    markBatch.clear();
    for (int i = 0; i < markCount; ++i) {
        if (!fadeMark(i, dt))
            continue;
        float colour[4] = {0.6f, 0.6f, 0.6f, marks[i].alpha};
        if (!oneByOne) {
            markBatch.add(billboard, marks[i].position, kMarkHalfSize, kMarkHalfSize, colour);
            continue;
        }
        drawSpriteList(quadList, billboard, marks[i].position, colour);
    }
    markBatch.draw(renderer ? renderer->clientActiveTexture : nullptr);

    glDepthMask(GL_TRUE);
    glEnable(GL_CULL_FACE);
    glDisable(GL_BLEND);
}

void Game::drawHud()
{
    // Death: kill() unloads the level and resets the game; a script may
    // redefine it. The HUD is still drawn this frame.
    if (life <= 0 && host)
        host->runString("kill()");
    if (!hudShown)
        return;

    if (font) {
        font->printText(hudWidth - 200, hudHeight - 30, 1.0f, 1.0f, 1.0f, "Life: %i", life);
        font->printText(hudWidth - 100, hudHeight - 30, 1.0f, 1.0f, 1.0f, "Bullets: %i", bullets);
    }

    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glBindTexture(GL_TEXTURE_2D, crosshairTexture);
    drawTexturedQuad(static_cast<float>(hudCentreX - 10), static_cast<float>(hudCentreY - 10),
                     static_cast<float>(hudCentreX + 10), static_cast<float>(hudCentreY + 10));
    glDisable(GL_BLEND);
}

void Game::runGameFrame()
{
    if (Player::instance)
        Player::instance->update();
    if (TargetList::instance)
        TargetList::instance->update();
    if (renderer)
        renderer->renderLevel();
    drawMarks();
    if (renderer && OglSdl::instance)
        renderer->drawToneCurve(OglSdl::instance->width, OglSdl::instance->height);

    if (OglSdl::instance)
        OglSdl::instance->beginOverlay(0, 0, OglSdl::instance->width, OglSdl::instance->height);
    glColor3f(1.0f, 1.0f, 1.0f);
    drawHud();
    if (Console::instance)
        Console::instance->drawConsole();
    if (drawFps && hudShown && font && timer)
        font->printText(screenWidth - 70, 13, 1.0f, 1.0f, 1.0f, "FPS: %i", timer->fps);
}
