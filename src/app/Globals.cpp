// The process-wide objects, constructed before main in exactly this order and
// destroyed at exit in the reverse order. The SystemLog is created by the
// first log line (inside LuaHost) and so outlives all of them.
#include "app/FrameTimer.h"
#include "app/Game.h"
#include "app/TargetList.h"
#include "console/Console.h"
#include "gui/Menu.h"
#include "resources/Font.h"
#include "script/InputBindings.h"
#include "script/LuaHost.h"
#include "script/Player.h"
#include "world/Camera.h"
#include "world/Frustum.h"
#include "world/Renderer.h"

namespace {
LuaHost luaHost;
TargetList targetList;
InputBindings inputBindings;
Console console;
Frustum frustum;
SharedFont sharedFont;
FrameTimer frameTimer;
Camera camera;
Renderer renderer;
Game game;
Player player;
Menu menu;
} // namespace
