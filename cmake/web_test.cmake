# The browser build in headless Chromium (tests/web/chromium.sh). The script brings the web
# build up to date first, which takes minutes only the first time; it skips when the tools are
# missing.
if(NOT VANTOREL_SANITIZE)
  add_test(NAME web_chromium
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/web/chromium.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
  set_tests_properties(web_chromium PROPERTIES LABELS web SKIP_RETURN_CODE 77 TIMEOUT 3600)
endif()
