# The hub's tests (tests/hub/, hub_tests): the store's run on a throwaway
# PostgreSQL 15 cluster on 127.0.0.1 (tests/pg_cluster.h); the rules tests
# load the example rules file of the package.
find_program(ORLIX_PG_INITDB initdb PATHS /usr/lib/postgresql/15/bin NO_DEFAULT_PATH REQUIRED)
get_filename_component(ORLIX_PG_BIN ${ORLIX_PG_INITDB} DIRECTORY)
if(TARGET hub_tests)
  target_compile_definitions(hub_tests PRIVATE ORLIX_PG_BIN="${ORLIX_PG_BIN}/"
    ORLIX_HUB_RULES_EXAMPLE="${PROJECT_SOURCE_DIR}/packaging/orlix-hub-rules.example.ini")
endif()
