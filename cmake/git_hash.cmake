# Run at every build (cmake -P): writes OUTPUT from TEMPLATE with
# ORLIX_VERSION and ORLIX_GIT_HASH, the short hash of the source tree's
# commit ("unknown" outside a git checkout or without git). configure_file
# leaves OUTPUT untouched while its text stays the same, so a build on the
# same commit compiles nothing again; a new commit recompiles one small file.
# Inputs: SOURCE_DIR, TEMPLATE, OUTPUT, ORLIX_VERSION, GIT_EXECUTABLE.
set(ORLIX_GIT_HASH unknown)
if(GIT_EXECUTABLE)
  execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" rev-parse --short=7 HEAD
                  OUTPUT_VARIABLE _hash RESULT_VARIABLE _rc ERROR_QUIET
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(_rc EQUAL 0 AND _hash MATCHES "^[0-9a-f]+$")
    set(ORLIX_GIT_HASH "${_hash}")
  endif()
endif()
configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY)
