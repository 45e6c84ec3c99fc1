# The sound banks are synthesised at build time by a tool of our own.
add_executable(sound_builder ${CMAKE_SOURCE_DIR}/tools/sound_builder.cpp)
target_include_directories(sound_builder PRIVATE ${CMAKE_SOURCE_DIR}/tools)
# Sounds are stored as Ogg Vorbis: encoded here, decoded by the game through vorbisfile,
# which SDL2_mixer already brings along.
pkg_check_modules(VORBISENC REQUIRED IMPORTED_TARGET vorbisenc vorbis ogg)
pkg_check_modules(VORBISFILE REQUIRED IMPORTED_TARGET vorbisfile)
# It renders each tune through the game's module player to measure it.
target_link_libraries(sound_builder PRIVATE vantorel_base PkgConfig::VORBISENC PkgConfig::VORBISFILE PkgConfig::XMP)
target_link_libraries(vantorel_core PUBLIC PkgConfig::VORBISFILE)

set(VANTOREL_SOUND_BANKS
  ${VANTOREL_DATA_DIR}/Desktop/persistent.bank
  ${VANTOREL_DATA_DIR}/Desktop/persistent.strings.bank)
# Depending on the tool target re-runs it whenever the builder or the bank code changes.
add_custom_command(OUTPUT ${VANTOREL_SOUND_BANKS}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VANTOREL_DATA_DIR}/Desktop
  COMMAND sound_builder ${VANTOREL_DATA_DIR}/Desktop
  DEPENDS sound_builder
  COMMENT "Synthesising the sound banks"
  VERBATIM)
add_custom_target(vantorel_sound_banks ALL DEPENDS ${VANTOREL_SOUND_BANKS})
add_dependencies(vantorel vantorel_sound_banks)
