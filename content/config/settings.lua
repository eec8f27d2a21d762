-- Halvex settings: run last at every start, after input.lua.
-- Every line is Lua; the game's commands are plain functions.
--
-- Command keys: bind("command text", key) runs the text once per key press.
-- The key is a character ("f") or its code (27 is Escape, 96 the back-quote).
bind("toggleConsole(96)", 96)      -- ` opens and closes the console
bind("quit()", 27)                 -- Escape: menu during play, else quit
bind("drawFps()", "f")             -- frame rate on the HUD
bind("toggleCameraPhysics()", "p") -- fly through walls, or collide
bind("lockFrustum()", "l")         -- freeze culling to look around it
bind("toggleMouseLook()", "m")
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
--   print("text")                write a line to the log and the console
