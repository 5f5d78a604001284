# Jet 4.0 test files: the generator the database and tool tests use, and the
# proof of each kind of file by two independent readers, mdbtools'
# mdb-export and the npm package mdb-reader (installed into the build tree
# from the pinned tests/jet/package-lock.json by a set-up test).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(ORLIX_JET_DIR ${CMAKE_CURRENT_LIST_DIR}/jet)
set(ORLIX_JET_FIXTURE_DEFS ORLIX_JET_PYTHON3="${Python3_EXECUTABLE}"
    ORLIX_JET_FIXTURE="${ORLIX_JET_DIR}/jet_fixture.py")
target_compile_definitions(database_tests PRIVATE ${ORLIX_JET_FIXTURE_DEFS})

set(_readers ${CMAKE_BINARY_DIR}/jet-readers)
add_test(NAME jet_readers_setup
  COMMAND sh -c "mkdir -p '${_readers}' && cp '${ORLIX_JET_DIR}/package.json' '${ORLIX_JET_DIR}/package-lock.json' '${_readers}/' && (cmp -s '${_readers}/package-lock.json' '${_readers}/node_modules/.orlix-lock' 2>/dev/null || (npm ci --prefix '${_readers}' --no-audit --no-fund --loglevel=error && cp '${_readers}/package-lock.json' '${_readers}/node_modules/.orlix-lock'))")
set_tests_properties(jet_readers_setup PROPERTIES FIXTURES_SETUP jet_readers TIMEOUT 300)

foreach(_case "0;plain" "1;plain" "45;plain" "1000;plain" "100000;plain" "1000;extreme" "300;nulls"
              "1000;damaged" "10;foreign" "45;wrong-type" "45;missing-column" "300;encrypted")
  list(GET _case 0 _n)
  list(GET _case 1 _kind)
  add_test(NAME jet_fixture_proof_${_kind}_${_n}
    COMMAND ${Python3_EXECUTABLE} ${ORLIX_JET_DIR}/prove_fixture.py ${CMAKE_CURRENT_BINARY_DIR}/jet-proof
            --records ${_n} --kind ${_kind})
  set_tests_properties(jet_fixture_proof_${_kind}_${_n} PROPERTIES FIXTURES_REQUIRED jet_readers
    ENVIRONMENT "ORLIX_MDB_READER=${_readers};LC_ALL=C.UTF-8" TIMEOUT 300)
endforeach()

if(TARGET analyzer_tests)
  target_compile_definitions(analyzer_tests PRIVATE ${ORLIX_JET_FIXTURE_DEFS}
    ORLIX_IMPORT_BIN="$<TARGET_FILE:orlix-import>")
  add_dependencies(analyzer_tests orlix-import)
endif()
