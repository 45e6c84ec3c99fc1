# The asset pack: tools/pack_writer turns the text-art sources in assets/ and the font into
# ${VANTOREL_DATA_DIR}/assets.sbpak. Included by the main CMakeLists after vantorel_core.
add_executable(pack_writer ${CMAKE_SOURCE_DIR}/tools/pack_writer.cpp)
target_link_libraries(pack_writer PRIVATE vantorel_base)
set_target_properties(pack_writer PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)

# Renders a built pack as the game would (atlas + mock scenes) for looking at the art:
#   cmake --build build --target art_preview && build/tools/art_preview build/data/assets.sbpak /tmp
add_executable(art_preview EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/tools/art_preview.cpp)
target_link_libraries(art_preview PRIVATE vantorel_base)
set_target_properties(art_preview PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)

# The pixel font: text grids in assets/font turned into TrueType by python3-fonttools.
# A VANTOREL_FONT pointing elsewhere packs that file instead.
set(VANTOREL_BUILT_FONT ${CMAKE_BINARY_DIR}/font/vantorel_pixel.ttf)
if(VANTOREL_FONT STREQUAL VANTOREL_BUILT_FONT)
  # Debian's interpreter first: a python3 earlier on PATH may lack the Debian modules.
  find_program(VANTOREL_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
  find_program(VANTOREL_PYTHON python3 REQUIRED)
  execute_process(COMMAND ${VANTOREL_PYTHON} -c "import fontTools.fontBuilder"
                  RESULT_VARIABLE _vantorel_fonttools OUTPUT_QUIET ERROR_QUIET)
  if(NOT _vantorel_fonttools EQUAL 0)
    message(FATAL_ERROR "Building the font needs python3-fonttools (apt-get install python3-fonttools)")
  endif()
  file(GLOB VANTOREL_FONT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/assets/font/*.glyphs)
  add_custom_command(
    OUTPUT ${VANTOREL_BUILT_FONT}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/font
    COMMAND ${VANTOREL_PYTHON} ${CMAKE_SOURCE_DIR}/tools/font_builder.py ${CMAKE_SOURCE_DIR}/assets/font ${VANTOREL_BUILT_FONT}
    DEPENDS ${CMAKE_SOURCE_DIR}/tools/font_builder.py ${VANTOREL_FONT_SOURCES}
    COMMENT "Building the pixel font"
    VERBATIM)
endif()

file(GLOB_RECURSE VANTOREL_ART_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/assets/*.txt)
set(VANTOREL_PAK ${VANTOREL_DATA_DIR}/assets.sbpak)
add_custom_command(
  OUTPUT ${VANTOREL_PAK}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VANTOREL_DATA_DIR}
  COMMAND pack_writer ${CMAKE_SOURCE_DIR}/assets ${VANTOREL_FONT} ${VANTOREL_PAK}
  DEPENDS pack_writer ${VANTOREL_ART_SOURCES} ${VANTOREL_FONT}
  COMMENT "Building the asset pack data/assets.sbpak"
  VERBATIM)
add_custom_target(vantorel_assets ALL DEPENDS ${VANTOREL_PAK})
add_dependencies(vantorel vantorel_assets)
