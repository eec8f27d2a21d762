-- Halvex settings: run last at every start, after input.lua.
-- Every line is Lua; the game's commands are plain functions.
--
-- Command keys: bind("command text", key) runs the text once per key press.
-- The key is a character ("f") or its code (27 is Escape, 96 the back-quote),
-- or the name of a key that types no character: "F1".."F15", "Up", "Down",
-- "Left", "Right", "Insert", "Delete", "Home", "End", "PageUp", "PageDown",
-- "Pause".
bind("toggleConsole(96)", 96)      -- ` opens and closes the console
bind("quit()", 27)                 -- Escape: menu during play, else quit
bind("drawFps()", "f")             -- frame rate on the HUD
bind("toggleCameraPhysics()", "p") -- fly through walls, or collide
bind("lockFrustum()", "l")         -- freeze culling to look around it
bind("toggleMouseLook()", "m")
bind("screenshot()", "F12")        -- screenshots/shotNNNN.png in the game folder
--
-- Level light: lightmaps and vertex colours of Quake-3-format levels are
-- stored darker than meant and brightened by this total factor: from 2 up,
-- half of it at load (a colour that would pass full brightness is scaled
-- down whole, keeping its hue), the other half doubling texture x light as
-- it is drawn. 4 is the look of the engines the levels were made for; the
-- level compiler stores its light for 4 too. Applies to levels loaded after it.
setOverbright(4)
-- Tone curve of the 3-D view of levels from game-data archives (.pk3): each
-- channel x becomes x + lift * x * (1 - x). About 0.26 gives the look of the
-- OpenArena engine's default (tone-mapped) renderer; 0 draws the picture as
-- it is. Loose level files (the shipped level, compiled ones) never take it.
setToneCurve(0.26)
--
-- Movement and shooting are held actions, kept in input.lua (the controls
-- screen writes that file). Each takes a key character, or "" and a mouse
-- button (1 left, 2 middle, 3 right):
--   inputForward("w")  inputBackward("s")  inputLeft("a")  inputRight("d")
--   inputUp(" ")       inputDown("c")      inputShoot("",1)
--
-- Other commands:
--   map("baseq3/maps/test.bsp")  load a level and play it
--   quit()  quit(1)              toggle the menu / end the program
--   setRes("1024x768", 1)        window size and full screen for the next start
--   kill()                       end the game
--   gameData("/usr/share/games/openarena/baseoa")  search that folder's .pk3s
--   setViewPos(x, y, z, yaw, pitch)  put the eye at x y z as the level file
--                                writes them (z up), looking along yaw degrees
--                                (0 = +x, 90 = +y) and pitch (up positive)
--   viewPos()                    log "::viewPos X Y Z YAW PITCH" the same way
--   screenshot()                 save the frame as screenshots/shotNNNN.png
--   setHud(0)  setHud(1)         hide / show life, bullets, crosshair, fps
--   setOverbright(n)             level light factor, above 0 and at most 16
--   setToneCurve(lift)           middle tones of the view lifted, 0 to 1
--   print("text")                write a line to the log and the console
--
-- Start-up options (halvex --help lists them):
--   --data FOLDER   as gameData(FOLDER); may be repeated
--   --map LEVEL     play LEVEL at once, menu hidden (maps/oa_dm1.bsp is
--                   looked for under baseq3/ too, where --data puts it)
--   --exec "LUA"    run a Lua line after start-up and after --map's load
-- e.g. halvex --data /usr/share/games/openarena/baseoa --map maps/oa_dm1.bsp
