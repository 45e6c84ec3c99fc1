# The gamepad mapping database, generated from the installed SDL2's mapping list.
add_executable(gpad_db_gen tools/gpad_db_gen.cpp)
target_link_libraries(gpad_db_gen PRIVATE vantorel_base PkgConfig::SDL2)

set(VANTOREL_GPAD_DB ${CMAKE_BINARY_DIR}/generated/gpad_db.cpp)
add_custom_command(
  OUTPUT ${VANTOREL_GPAD_DB}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
  COMMAND ${CMAKE_COMMAND} -E env SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
          $<TARGET_FILE:gpad_db_gen> ${VANTOREL_GPAD_DB}
  DEPENDS gpad_db_gen ${CMAKE_SOURCE_DIR}/source/gpad/gpad_db.h
  COMMENT "Generating the gamepad mapping database"
  VERBATIM)
list(APPEND VANTOREL_GENERATED_SOURCES ${VANTOREL_GPAD_DB})
