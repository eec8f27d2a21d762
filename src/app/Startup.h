#pragma once
// The steps main runs: start-up, the main loop and shutdown.

union SDL_Event;
struct StartOptions;

// The program between SDL's own set-up and exit: the steps of main, the
// start-up step, the main loop and the shutdown step.

// Registers the game commands, adds the options' game data, runs
// videoSettings.lua, opens the window, starts up, plays the options' level
// and runs their Lua lines, loops and shuts down. 1 when no window could be
// shown, else 0.
int runHalvex(const StartOptions& options);

// After start-up: the level given on the command line (as given, else under
// baseq3/ where game data archives put it), then the Lua lines.
void applyStartOptions(const StartOptions& options);

// The fixed GL state the game draws with: depth test (less or equal),
// texturing, front faces culled, black clear colour.
void setGameGlState();

// GL state, cursor, shared font, multitexture, frustum, console, menu, game,
// then input.lua and settings.lua. False when the loop must not run.
bool startUp();

// Drains events and runs frames until quitRequested is set; a screenshot
// asked for in the last frame's events is still taken.
void mainLoop();

// Shows the cursor again; the objects themselves go at exit.
void shutDown();

// Deletes every GL object the process-wide objects hold (the level, fonts,
// console and HUD lists, the texture cache) while the context still exists;
// their destructors at exit then have nothing left to give back to GL.
void releaseGlObjects();

// Hands one SDL event to whoever takes it (console, menu, bound commands,
// GUI, quit, resize). Tests feed it synthetic events.
void routeEvent(const SDL_Event& event);
