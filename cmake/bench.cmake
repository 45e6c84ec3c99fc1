# `make bench`: frame-cost benchmarks, not part of the test run.
find_package(benchmark QUIET)
if(benchmark_FOUND)
  add_executable(vantorel_bench EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/tests/bench/frame_bench.cpp)
  target_link_libraries(vantorel_bench PRIVATE vantorel_core benchmark::benchmark ${CMAKE_DL_LIBS})
  target_include_directories(vantorel_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests)
endif()
