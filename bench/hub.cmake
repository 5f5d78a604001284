# The hub's PostgreSQL store: StoreWriter's rows per second against a plain
# COPY of the same rows into a bare table, and bytes on disk per stored
# sample, on a PostgreSQL 15 cluster the bench starts itself
# (tests/pg_cluster.h). Not part of the test suite.
find_program(ORLIX_PG_INITDB initdb PATHS /usr/lib/postgresql/15/bin NO_DEFAULT_PATH)
if(ORLIX_PG_INITDB)
  get_filename_component(_pg_bin ${ORLIX_PG_INITDB} DIRECTORY)
  add_executable(hub_store_bench ${CMAKE_CURRENT_LIST_DIR}/hub_store_bench.cpp)
  target_include_directories(hub_store_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(hub_store_bench PRIVATE orlix_hub benchmark::benchmark)
  target_compile_definitions(hub_store_bench PRIVATE ORLIX_PG_BIN="${_pg_bin}/")
  set_target_properties(hub_store_bench PROPERTIES AUTOMOC OFF)
endif()
