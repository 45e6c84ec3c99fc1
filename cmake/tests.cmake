find_package(GTest REQUIRED)
include(GoogleTest)

file(GLOB VANTOREL_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*.cpp)
add_executable(vantorel_tests ${VANTOREL_TEST_SOURCES})
target_link_libraries(vantorel_tests PRIVATE vantorel_core GTest::gtest GTest::gtest_main)
target_compile_definitions(vantorel_tests PRIVATE
  VANTOREL_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  VANTOREL_BUILD_DIR="${CMAKE_BINARY_DIR}"
  VANTOREL_FONT="${VANTOREL_FONT}")
# Labels: `unit` needs no display, `display` runs under Xvfb, `slow` takes minutes,
# `package` checks the installed tree and the Debian package.
# A settings save that falls back to the user's folder must never reach the real one.
set(VANTOREL_TEST_CONFIG_HOME ${CMAKE_BINARY_DIR}/test-config)
gtest_discover_tests(vantorel_tests WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  TEST_LIST vantorel_gtests
  DISCOVERY_TIMEOUT 60)
# Properties handed to the discovery lose every semicolon but the first, so an environment of
# several variables is set by a file ctest reads after the discovered list.
set(VANTOREL_GTEST_ENVIRONMENT
  SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=dummy XDG_CONFIG_HOME=${VANTOREL_TEST_CONFIG_HOME}
  LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp)
file(WRITE ${CMAKE_BINARY_DIR}/vantorel_gtest_properties.cmake
  "foreach(t IN LISTS vantorel_gtests)\n"
  "  set_tests_properties(\"\${t}\" PROPERTIES LABELS unit ENVIRONMENT \"${VANTOREL_GTEST_ENVIRONMENT}\")\n"
  "endforeach()\n")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_BINARY_DIR}/vantorel_gtest_properties.cmake)

# vantorel_script_test(NAME COMMAND...): a script of tests/ (through tests/e2e/lib/common.sh)
# keeps what explains its failure in test-artifacts/NAME/ of the build tree.
function(vantorel_script_test name)
  add_test(NAME ${name} COMMAND ${ARGN})
  set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT VANTOREL_TEST_NAME=${name})
endfunction()

# End-to-end runs of the real executable under Xvfb, one script each.
file(GLOB VANTOREL_E2E_SCRIPTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/*.sh)
foreach(script ${VANTOREL_E2E_SCRIPTS})
  get_filename_component(name ${script} NAME_WE)
  vantorel_script_test(e2e_${name} bash ${script} ${CMAKE_BINARY_DIR})
  set_tests_properties(e2e_${name} PROPERTIES RESOURCE_LOCK xserver TIMEOUT 300 LABELS display)
  if(VANTOREL_SANITIZE)
    # Memory errors still abort the game; the GL driver is unloaded before the leak scan
    # can name what it kept, so leaks are left to the headless suites.
    set_property(TEST e2e_${name} APPEND PROPERTY ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1")
  endif()
endforeach()

# The real executable without a window: options, no display.
vantorel_script_test(cli_options bash ${CMAKE_SOURCE_DIR}/tests/cli/options.sh ${CMAKE_BINARY_DIR} ${PROJECT_VERSION})
set_tests_properties(cli_options PROPERTIES LABELS unit TIMEOUT 120)
if(VANTOREL_SANITIZE)
  # SDL keeps what it loaded when start-up is refused; the headless suites check our leaks.
  set_property(TEST cli_options APPEND PROPERTY ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")
endif()

# The build itself: no target compiles a game source the libraries already hold.
add_test(NAME build_compiled_once COMMAND ${CMAKE_COMMAND} -DBUILD=${CMAKE_BINARY_DIR}
  -DSOURCE=${CMAKE_SOURCE_DIR} -P ${CMAKE_SOURCE_DIR}/tests/build/compiled_once.cmake)
set_tests_properties(build_compiled_once PROPERTIES LABELS unit TIMEOUT 60)

# The installed tree and the Debian package.
vantorel_script_test(install_tree bash ${CMAKE_SOURCE_DIR}/tests/packaging/installed.sh ${CMAKE_BINARY_DIR})
set_tests_properties(install_tree PROPERTIES RESOURCE_LOCK xserver TIMEOUT 300 LABELS "display;package")
vantorel_script_test(desktop_files bash ${CMAKE_SOURCE_DIR}/tests/packaging/desktop_files.sh ${CMAKE_BINARY_DIR})
set_tests_properties(desktop_files PROPERTIES TIMEOUT 120 LABELS "unit;package")
vantorel_script_test(debian_package bash ${CMAKE_SOURCE_DIR}/tests/packaging/deb.sh ${CMAKE_BINARY_DIR} ${PROJECT_VERSION})
set_tests_properties(debian_package PROPERTIES TIMEOUT 600 LABELS "slow;package" RUN_SERIAL TRUE)
include(${CMAKE_CURRENT_LIST_DIR}/gl_tests.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/valgrind.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/windows_test.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/web_test.cmake)

# The audio figures measured on the banks the build made: how long each tune runs before it
# repeats, its stereo, the banks' size, how alike the hits are.
add_executable(audio_figures ${CMAKE_SOURCE_DIR}/tools/audio_figures.cpp)
target_include_directories(audio_figures PRIVATE ${CMAKE_SOURCE_DIR}/tools)
target_link_libraries(audio_figures PRIVATE vantorel_base PkgConfig::VORBISFILE PkgConfig::XMP)
add_dependencies(audio_figures vantorel_sound_banks)
add_test(NAME audio_figures COMMAND audio_figures ${VANTOREL_DATA_DIR}/Desktop --check)
set_tests_properties(audio_figures PROPERTIES LABELS unit TIMEOUT 300)
