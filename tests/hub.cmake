# The hub store's tests (hub_store_tests): each test program runs its own
# throwaway PostgreSQL 15 cluster on 127.0.0.1 (tests/pg_cluster.h). The
# files are named one by one, since other hub tests share tests/hub/ and
# link other libraries.
find_program(ORLIX_PG_INITDB initdb PATHS /usr/lib/postgresql/15/bin NO_DEFAULT_PATH REQUIRED)
get_filename_component(ORLIX_PG_BIN ${ORLIX_PG_INITDB} DIRECTORY)
set(_hub_store_tests pg_connection_test.cpp hub_schema_test.cpp sample_store_test.cpp store_writer_test.cpp)
list(TRANSFORM _hub_store_tests PREPEND ${CMAKE_CURRENT_LIST_DIR}/hub/)
add_executable(hub_store_tests ${_hub_store_tests})
target_include_directories(hub_store_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(hub_store_tests PRIVATE orlix_hub GTest::gtest GTest::gtest_main Threads::Threads)
target_compile_definitions(hub_store_tests PRIVATE ORLIX_PG_BIN="${ORLIX_PG_BIN}/")
set_target_properties(hub_store_tests PROPERTIES AUTOMOC OFF)
gtest_discover_tests(hub_store_tests DISCOVERY_TIMEOUT 60
  PROPERTIES ENVIRONMENT "LC_ALL=C.UTF-8" TIMEOUT 300)
