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

# The hub end to end at fleet scale: the orlix-hub and orlix-fleet-sim
# programs against a real mosquitto and a throwaway cluster, beside
# mosquitto_sub and a plain COPY. A plain program: its lengths are options.
find_program(ORLIX_BENCH_MOSQUITTO mosquitto PATHS /usr/sbin /sbin)
find_program(ORLIX_BENCH_MOSQUITTO_SUB mosquitto_sub)
find_program(ORLIX_BENCH_MOSQUITTO_PASSWD mosquitto_passwd)
if(ORLIX_PG_INITDB AND ORLIX_BENCH_MOSQUITTO AND ORLIX_BENCH_MOSQUITTO_SUB AND TARGET orlix-hub
   AND TARGET orlix-fleet-sim)
  add_executable(hub_bench ${CMAKE_CURRENT_LIST_DIR}/hub_bench.cpp)
  target_include_directories(hub_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(hub_bench PRIVATE orlix_hub)
  target_compile_definitions(hub_bench PRIVATE ORLIX_PG_BIN="${_pg_bin}/"
    ORLIX_MOSQUITTO="${ORLIX_BENCH_MOSQUITTO}" ORLIX_MOSQUITTO_SUB="${ORLIX_BENCH_MOSQUITTO_SUB}"
    ORLIX_MOSQUITTO_PASSWD="${ORLIX_BENCH_MOSQUITTO_PASSWD}"
    ORLIX_HUB_BIN="$<TARGET_FILE:orlix-hub>" ORLIX_FLEET_SIM_BIN="$<TARGET_FILE:orlix-fleet-sim>")
  add_dependencies(hub_bench orlix-hub orlix-fleet-sim)
  set_target_properties(hub_bench PROPERTIES AUTOMOC OFF)
endif()
