# libFuzzer targets over the file readers and the font guard (driven by mk/fuzz.mk).
# The libraries carry the coverage instrumentation; only the targets take libFuzzer's main.
# seed_writer is an ordinary program that writes their first inputs. Every tests/fuzz/fuzz_*.cpp
# is a target; `vantorel_fuzz` builds them all.
file(GLOB VANTOREL_FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)
set(VANTOREL_FUZZ_TARGETS "")
foreach(source ${VANTOREL_FUZZ_SOURCES})
  get_filename_component(t ${source} NAME_WE)
  list(APPEND VANTOREL_FUZZ_TARGETS ${t})
  add_executable(${t} EXCLUDE_FROM_ALL ${source})
  target_compile_options(${t} PRIVATE -fsanitize=fuzzer)
  target_link_options(${t} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${t} PRIVATE vantorel_core)
endforeach()
add_executable(seed_writer EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/tests/fuzz/seed_writer.cpp)
target_link_libraries(seed_writer PRIVATE vantorel_base)
add_custom_target(vantorel_fuzz)
add_dependencies(vantorel_fuzz ${VANTOREL_FUZZ_TARGETS} seed_writer)
