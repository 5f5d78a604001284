# The pages' tests (tests/web/, web_tests): the API and the WebSocket against
# a real hub in the test process, mosquitto and a throwaway PostgreSQL
# cluster; orlix-hub's user commands as a program.
if(TARGET web_tests)
  get_filename_component(_pg_bin ${ORLIX_PG_INITDB} DIRECTORY)
  target_compile_definitions(web_tests PRIVATE ORLIX_PG_BIN="${_pg_bin}/" ORLIX_HUB_BIN="$<TARGET_FILE:orlix-hub>")
  target_include_directories(web_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/hub)
  add_dependencies(web_tests orlix-hub)
endif()
# The pages in headless Chromium: python3-selenium drives Debian's chromium
# through chromium-driver; failures leave screenshots and console logs in
# browser-artifacts/ of the build folder.
if(TARGET web_tests)
  add_executable(web_browser_tests ${CMAKE_CURRENT_SOURCE_DIR}/web/browser/web_browser_test.cpp)
  target_include_directories(web_browser_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/hub
                             ${CMAKE_CURRENT_SOURCE_DIR}/web)
  target_link_libraries(web_browser_tests PRIVATE orlix_web orlix_recorder orlix_sim Qt6::Test
                        GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(web_browser_tests PRIVATE ORLIX_PG_BIN="${_pg_bin}/"
    ORLIX_PAGES_TEST_PY="${CMAKE_CURRENT_SOURCE_DIR}/web/browser/pages_test.py"
    ORLIX_BROWSER_ARTIFACTS="${CMAKE_BINARY_DIR}/browser-artifacts")
  # One browser at a time: each test runs a hub, a cluster and Chromium.
  gtest_discover_tests(web_browser_tests DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "LC_ALL=C.UTF-8" ENVIRONMENT_MODIFICATION "QT_QPA_PLATFORM=set:offscreen" TIMEOUT 300
               RESOURCE_LOCK chromium)
endif()
