# The hub's tests (tests/hub/, hub_tests): the store's run on a throwaway
# PostgreSQL 15 cluster on 127.0.0.1 (tests/pg_cluster.h); the rules tests
# load the example rules file of the package; the notifier's tests send
# e-mail with msmtp to an SMTP sink of Debian's Python (aiosmtpd) on
# 127.0.0.1 (tests/hub/smtp_sink.py).
find_program(ORLIX_PG_INITDB initdb PATHS /usr/lib/postgresql/15/bin NO_DEFAULT_PATH REQUIRED)
get_filename_component(ORLIX_PG_BIN ${ORLIX_PG_INITDB} DIRECTORY)
if(TARGET hub_tests)
  find_program(ORLIX_MSMTP msmtp REQUIRED)
  find_program(ORLIX_HUB_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
  target_compile_definitions(hub_tests PRIVATE ORLIX_PG_BIN="${ORLIX_PG_BIN}/"
    ORLIX_HUB_RULES_EXAMPLE="${PROJECT_SOURCE_DIR}/packaging/orlix-hub-rules.example.ini"
    ORLIX_MSMTP="${ORLIX_MSMTP}" ORLIX_HUB_PYTHON3="${ORLIX_HUB_PYTHON3}"
    ORLIX_SMTP_SINK_PY="${CMAKE_CURRENT_LIST_DIR}/hub/smtp_sink.py")
endif()
