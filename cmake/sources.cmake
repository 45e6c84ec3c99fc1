# The game's sources, one list for every build of it (native, Windows, browser): a new file under
# source/ joins by itself. Paths are absolute, so any project can include this file.
#   VANTOREL_BASE_SOURCES  what the data builders need too (files, packs, banks, the icon)
#   VANTOREL_SOURCES       every other game source but the process entry
#   VANTOREL_ENTRY_SOURCE  the process entry
get_filename_component(_vantorel_root ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(VANTOREL_BASE_SOURCES
  source/platform/files.cpp source/game/serializer.cpp source/game/pak.cpp source/game/assets.cpp
  source/lz4/lz4.cpp source/game/bank.cpp source/game/bank_vorbis.cpp source/game/bank_module.cpp
  source/game/icon.cpp)
list(TRANSFORM VANTOREL_BASE_SOURCES PREPEND ${_vantorel_root}/)
set(VANTOREL_ENTRY_SOURCE ${_vantorel_root}/source/game/main.cpp)
file(GLOB VANTOREL_SOURCES CONFIGURE_DEPENDS
  ${_vantorel_root}/source/game/*.cpp ${_vantorel_root}/source/platform/*.cpp
  ${_vantorel_root}/source/gpad/*.cpp ${_vantorel_root}/source/lz4/*.cpp)
list(REMOVE_ITEM VANTOREL_SOURCES ${VANTOREL_BASE_SOURCES} ${VANTOREL_ENTRY_SOURCE})
