# The asset pack: tools/pack_writer turns the text-art sources in assets/ and the font into
# ${VANTOREL_DATA_DIR}/assets.sbpak. Included by the main CMakeLists after vantorel_core.
set(VANTOREL_PAK_SOURCES
  ${CMAKE_SOURCE_DIR}/source/game/serializer.cpp
  ${CMAKE_SOURCE_DIR}/source/game/pak.cpp
  ${CMAKE_SOURCE_DIR}/source/game/assets.cpp
  ${CMAKE_SOURCE_DIR}/source/lz4/lz4.cpp
  ${CMAKE_SOURCE_DIR}/source/platform/files.cpp)

add_executable(pack_writer ${CMAKE_SOURCE_DIR}/tools/pack_writer.cpp ${VANTOREL_PAK_SOURCES})
target_include_directories(pack_writer PRIVATE ${CMAKE_SOURCE_DIR}/source)
target_link_libraries(pack_writer PRIVATE PkgConfig::LZ4)
set_target_properties(pack_writer PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)

# Renders a built pack as the game would (atlas + mock scenes) for looking at the art:
#   cmake --build build --target art_preview && build/tools/art_preview build/data/assets.sbpak /tmp
add_executable(art_preview EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/tools/art_preview.cpp ${VANTOREL_PAK_SOURCES})
target_include_directories(art_preview PRIVATE ${CMAKE_SOURCE_DIR}/source)
target_link_libraries(art_preview PRIVATE PkgConfig::LZ4)
set_target_properties(art_preview PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)

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
