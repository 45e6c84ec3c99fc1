# The sound banks are synthesised at build time by a tool of our own.
set(VANTOREL_AUDIO_ROOT ${CMAKE_CURRENT_LIST_DIR}/..)
add_executable(sound_builder
  ${VANTOREL_AUDIO_ROOT}/tools/sound_builder.cpp ${VANTOREL_AUDIO_ROOT}/source/game/bank.cpp
  ${VANTOREL_AUDIO_ROOT}/source/platform/files.cpp)
target_include_directories(sound_builder PRIVATE ${VANTOREL_AUDIO_ROOT}/source)
# Sounds are stored as Ogg Vorbis: encoded here, decoded by the game through vorbisfile,
# which SDL2_mixer already brings along.
pkg_check_modules(VORBISENC REQUIRED IMPORTED_TARGET vorbisenc vorbis ogg)
pkg_check_modules(VORBISFILE REQUIRED IMPORTED_TARGET vorbisfile)
target_link_libraries(sound_builder PRIVATE PkgConfig::VORBISENC PkgConfig::VORBISFILE)
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
