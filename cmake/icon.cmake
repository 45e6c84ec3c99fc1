# The Windows program icon, drawn from the built asset pack the way the window icon is.
# Not part of the normal build: `make windows` asks for the vantorel_icon target.
add_executable(ico_writer EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/tools/ico_writer.cpp)
target_link_libraries(ico_writer PRIVATE vantorel_base)
set_target_properties(ico_writer PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)

set(VANTOREL_ICO ${CMAKE_BINARY_DIR}/vantorel.ico)
add_custom_command(
  OUTPUT ${VANTOREL_ICO}
  COMMAND ico_writer ${VANTOREL_PAK} ${VANTOREL_ICO}
  DEPENDS ico_writer ${VANTOREL_PAK}
  COMMENT "Drawing the program icon vantorel.ico"
  VERBATIM)
add_custom_target(vantorel_icon DEPENDS ${VANTOREL_ICO})
