# Memcheck over one scripted headless session (menus, play, upgrades, boss, death, win).
# Only in the normal build: valgrind cannot run a sanitizer-instrumented program.
if(NOT VANTOREL_SANITIZE)
  find_program(VALGRIND_EXECUTABLE valgrind)
  if(VALGRIND_EXECUTABLE)
    add_test(NAME valgrind_scripted_session
      COMMAND ${VALGRIND_EXECUTABLE} --error-exitcode=1 --leak-check=full
              --errors-for-leak-kinds=definite --show-leak-kinds=definite
              $<TARGET_FILE:vantorel_tests> --gtest_filter=Soak.OneScriptedSessionVisitsEveryState
      WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  else()
    # The build goes on without it; the test is still there, and says what it misses.
    add_test(NAME valgrind_scripted_session
      COMMAND ${CMAKE_COMMAND} -E echo "valgrind_scripted_session needs valgrind (Debian package valgrind)")
    set_tests_properties(valgrind_scripted_session PROPERTIES WILL_FAIL TRUE)
  endif()
  set_tests_properties(valgrind_scripted_session PROPERTIES
    ENVIRONMENT "SDL_AUDIODRIVER=dummy;SDL_VIDEODRIVER=dummy;XDG_CONFIG_HOME=${VANTOREL_TEST_CONFIG_HOME}"
    TIMEOUT 300 LABELS "unit;slow")
endif()
