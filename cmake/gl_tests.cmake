# Device tests: draw through the real OpenGL code into a window and read it back.
# They need an X display, so ctest runs them under a private Xvfb.
find_package(GTest REQUIRED)

# vantorel_gl_test(TEST PROGRAM SOURCE WIDTH HEIGHT [LIBRARY...]): a GoogleTest program run on
# a private X server of that size.
function(vantorel_gl_test test program source width height)
  add_executable(${program} ${CMAKE_SOURCE_DIR}/${source})
  target_link_libraries(${program} PRIVATE vantorel_core GTest::gtest GTest::gtest_main ${ARGN})
  vantorel_script_test(${test}
    bash ${CMAKE_SOURCE_DIR}/tests/e2e/lib/with_x.sh ${CMAKE_BINARY_DIR} ${width} ${height} $<TARGET_FILE:${program}>)
  set_tests_properties(${test} PROPERTIES RESOURCE_LOCK xserver TIMEOUT 300 LABELS display)
  if(VANTOREL_SANITIZE)
    # The GL driver is unloaded before the leak scan; the headless suites check our leaks.
    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")
  endif()
endfunction()

vantorel_gl_test(gl_renderer vantorel_gl_tests tests/gl/renderer_gl_test.cpp 1920 1080)
# The window loop itself, presents counted where it hands them to SDL.
vantorel_gl_test(gl_loop vantorel_loop_tests tests/gl/loop_test.cpp 1280 720 ${CMAKE_DL_LIBS})
