-- This file was created my Halvex, feel free to edit it
-- for avalible commands check out settings.lua
inputForward("w")
inputBackward("s")
inputUp(" ")
inputDown("c")
inputLeft("a")
inputRight("d")
inputShoot("",1)
updateGuiControls()
