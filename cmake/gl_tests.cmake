# Device tests: draw through the real OpenGL code into a window and read it back.
# They need an X display, so ctest runs them under a private Xvfb.
find_package(GTest REQUIRED)
add_executable(vantorel_gl_tests ${CMAKE_SOURCE_DIR}/tests/gl/renderer_gl_test.cpp)
target_link_libraries(vantorel_gl_tests PRIVATE vantorel_core GTest::gtest GTest::gtest_main)
vantorel_script_test(gl_renderer
  bash ${CMAKE_SOURCE_DIR}/tests/e2e/lib/with_x.sh ${CMAKE_BINARY_DIR} 1920 1080 $<TARGET_FILE:vantorel_gl_tests>)
set_tests_properties(gl_renderer PROPERTIES RESOURCE_LOCK xserver TIMEOUT 300 LABELS display)
if(VANTOREL_SANITIZE)
  # The GL driver is unloaded before the leak scan; the headless suites check our leaks.
  set_property(TEST gl_renderer APPEND PROPERTY ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")
endif()

# The window loop itself, presents counted where it hands them to SDL.
add_executable(vantorel_loop_tests ${CMAKE_SOURCE_DIR}/tests/gl/loop_test.cpp)
target_link_libraries(vantorel_loop_tests PRIVATE vantorel_core GTest::gtest GTest::gtest_main ${CMAKE_DL_LIBS})
vantorel_script_test(gl_loop
  bash ${CMAKE_SOURCE_DIR}/tests/e2e/lib/with_x.sh ${CMAKE_BINARY_DIR} 1280 720 $<TARGET_FILE:vantorel_loop_tests>)
set_tests_properties(gl_loop PROPERTIES RESOURCE_LOCK xserver TIMEOUT 300 LABELS display)
if(VANTOREL_SANITIZE)
  set_property(TEST gl_loop APPEND PROPERTY ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")
endif()
