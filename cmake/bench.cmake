# `make bench`: frame-cost benchmarks, not part of the test run.
find_package(benchmark QUIET)
if(benchmark_FOUND)
  add_executable(vantorel_bench EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/tests/bench/frame_bench.cpp)
  target_link_libraries(vantorel_bench PRIVATE vantorel_core benchmark::benchmark ${CMAKE_DL_LIBS})
  target_include_directories(vantorel_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests)
else()
  # Only `make bench` needs it: the rest builds, and this target says what is missing.
  add_custom_target(vantorel_bench
    COMMAND ${CMAKE_COMMAND} -E echo "make bench needs Google Benchmark (Debian package libbenchmark-dev)"
    COMMAND ${CMAKE_COMMAND} -E false)
endif()

# Start-up: exec to the first presented title frame, against a bare platform program.
add_executable(vantorel_startup_bare EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/tests/bench/startup_bare.cpp)
target_link_libraries(vantorel_startup_bare PRIVATE PkgConfig::SDL2 PkgConfig::SDL2_MIXER PkgConfig::EPOXY)
add_executable(vantorel_startup_bench EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/tests/bench/startup_bench.cpp)
add_dependencies(vantorel_startup_bench vantorel vantorel_startup_bare)

# CPU at the title and in a scripted stretch of play, the X server's share included.
add_executable(vantorel_play_script EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/tests/bench/play_script.cpp)
target_link_libraries(vantorel_play_script PRIVATE vantorel_core)
