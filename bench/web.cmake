# The office's pages, measured: orlix-hub --http as a process, mosquitto, a
# PostgreSQL cluster the bench starts itself, and headless Chromium through
# web_pages_bench.py. Not part of the test suite.
find_program(ORLIX_PG_INITDB_BENCH initdb PATHS /usr/lib/postgresql/15/bin NO_DEFAULT_PATH)
find_program(ORLIX_MOSQUITTO_BENCH mosquitto PATHS /usr/sbin /sbin)
if(ORLIX_PG_INITDB_BENCH AND ORLIX_MOSQUITTO_BENCH AND TARGET orlix-hub)
  find_package(Qt6 REQUIRED COMPONENTS Network WebSockets Test)
  get_filename_component(_pg_bin ${ORLIX_PG_INITDB_BENCH} DIRECTORY)
  add_executable(web_bench ${CMAKE_CURRENT_LIST_DIR}/web_bench.cpp)
  target_include_directories(web_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(web_bench PRIVATE orlix_web orlix_recorder orlix_sim Qt6::WebSockets Qt6::Test)
  target_compile_definitions(web_bench PRIVATE ORLIX_PG_BIN="${_pg_bin}/" ORLIX_MOSQUITTO="${ORLIX_MOSQUITTO_BENCH}"
    ORLIX_MOSQUITTO_PASSWD="/usr/bin/mosquitto_passwd" ORLIX_MOSQUITTO_SUB="/usr/bin/mosquitto_sub"
    ORLIX_HUB_BIN="$<TARGET_FILE:orlix-hub>"
    ORLIX_PAGES_BENCH_PY="${CMAKE_CURRENT_LIST_DIR}/web_pages_bench.py"
    ORLIX_BENCH_ARTIFACTS="${CMAKE_BINARY_DIR}/bench-pages")
  add_dependencies(web_bench orlix-hub)
endif()
