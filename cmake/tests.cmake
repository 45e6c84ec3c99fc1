find_package(GTest REQUIRED)
include(GoogleTest)

file(GLOB VANTOREL_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*.cpp)
add_executable(vantorel_tests ${VANTOREL_TEST_SOURCES})
target_link_libraries(vantorel_tests PRIVATE vantorel_core GTest::gtest GTest::gtest_main)
target_compile_definitions(vantorel_tests PRIVATE
  VANTOREL_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  VANTOREL_BUILD_DIR="${CMAKE_BINARY_DIR}"
  VANTOREL_FONT="${VANTOREL_FONT}")
gtest_discover_tests(vantorel_tests WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  PROPERTIES ENVIRONMENT "SDL_AUDIODRIVER=dummy;SDL_VIDEODRIVER=dummy;LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp"
  DISCOVERY_TIMEOUT 60)

# End-to-end runs of the real executable under Xvfb, one script each.
file(GLOB VANTOREL_E2E_SCRIPTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/*.sh)
foreach(script ${VANTOREL_E2E_SCRIPTS})
  get_filename_component(name ${script} NAME_WE)
  add_test(NAME e2e_${name} COMMAND bash ${script} ${CMAKE_BINARY_DIR})
  set_tests_properties(e2e_${name} PROPERTIES RESOURCE_LOCK xserver TIMEOUT 300)
  if(VANTOREL_SANITIZE)
    # Memory errors still abort the game; the GL driver is unloaded before the leak scan
    # can name what it kept, so leaks are left to the headless suites.
    set_tests_properties(e2e_${name} PROPERTIES ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1")
  endif()
endforeach()
include(${CMAKE_CURRENT_LIST_DIR}/gl_tests.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/valgrind.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/windows_test.cmake)
