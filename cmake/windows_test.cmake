# The Windows zip run under Wine (tests/windows/wine.sh). The script brings the cross build up
# to date first, which takes minutes only the first time; it skips when the cross tools are missing.
if(NOT VANTOREL_SANITIZE)
  vantorel_script_test(windows_wine
    bash ${CMAKE_SOURCE_DIR}/tests/windows/wine.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
  set_tests_properties(windows_wine PROPERTIES
    LABELS windows SKIP_RETURN_CODE 77 RESOURCE_LOCK xserver TIMEOUT 2400)
endif()
