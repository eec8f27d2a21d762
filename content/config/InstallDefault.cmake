# Copies SRC to DST only when DST does not exist yet: the game rewrites the
# file from its menu, and a rebuild must not undo what the player saved.
if(NOT EXISTS "${DST}")
  configure_file("${SRC}" "${DST}" COPYONLY)
endif()
