# The pages' tests (tests/web/, web_tests): the API and the WebSocket against
# a real hub in the test process, mosquitto and a throwaway PostgreSQL
# cluster; orlix-hub's user commands as a program.
if(TARGET web_tests)
  get_filename_component(_pg_bin ${ORLIX_PG_INITDB} DIRECTORY)
  target_compile_definitions(web_tests PRIVATE ORLIX_PG_BIN="${_pg_bin}/" ORLIX_HUB_BIN="$<TARGET_FILE:orlix-hub>")
  target_include_directories(web_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/hub)
  add_dependencies(web_tests orlix-hub)
endif()
