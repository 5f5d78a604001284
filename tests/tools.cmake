# Tests of the command-line tools and the plant model. The tests run the
# built programs, whose paths they get as compile definitions. Tests named
# *_gui_test.cpp also use the chart layer and are built with the windows.
file(GLOB _tools_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/tools/*_test.cpp)
if(_tools_tests)
  add_executable(tools_tests ${_tools_tests})
  target_include_directories(tools_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(tools_tests PRIVATE orlix_sampling orlix_comm orlix_database orlix_sim orlix_chart
                        orlix_recorder Qt6::Test GTest::gtest GTest::gtest_main Threads::Threads)
  find_program(ORLIX_PYTHON3 python3 REQUIRED)
  target_compile_definitions(tools_tests PRIVATE
    ORLIX_DECODE_BIN="$<TARGET_FILE:orlix-decode>"
    ORLIX_PLANT_SIM_BIN="$<TARGET_FILE:orlix-plant-sim>"
    ORLIX_EXPORT_BIN="$<TARGET_FILE:orlix-export>"
    ORLIX_PYTHON3="${ORLIX_PYTHON3}"
    ORLIX_CHECK_EXPORT_PY="${CMAKE_CURRENT_LIST_DIR}/tools/check_export.py"
    ORLIX_IMPORT_BIN="$<TARGET_FILE:orlix-import>"
    ${ORLIX_JET_FIXTURE_DEFS})
  target_include_directories(tools_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/database)
  add_dependencies(tools_tests orlix-decode orlix-plant-sim orlix-export orlix-import)
  # The version script is run by the tests on scratch git trees.
  find_package(Git QUIET)
  target_compile_definitions(tools_tests PRIVATE
    ORLIX_GIT_EXECUTABLE="${GIT_EXECUTABLE}"
    ORLIX_CMAKE_COMMAND="${CMAKE_COMMAND}"
    ORLIX_VERSION_SCRIPT="${PROJECT_SOURCE_DIR}/cmake/git_hash.cmake"
    ORLIX_VERSION_TEMPLATE="${PROJECT_SOURCE_DIR}/src/platform/version.cpp.in")
  target_compile_definitions(tools_tests PRIVATE ORLIX_MONITOR_BIN="$<TARGET_FILE:orlix-monitor>")
  add_dependencies(tools_tests orlix-monitor)
  # The exit statuses of every program are checked in one table.
  if(TARGET orlix-hub)
    target_compile_definitions(tools_tests PRIVATE ORLIX_HUB_BIN="$<TARGET_FILE:orlix-hub>")
    add_dependencies(tools_tests orlix-hub)
  endif()
  if(TARGET orlix-fleet-sim)
    target_compile_definitions(tools_tests PRIVATE ORLIX_FLEET_SIM_BIN="$<TARGET_FILE:orlix-fleet-sim>")
    add_dependencies(tools_tests orlix-fleet-sim)
  endif()
  gtest_discover_tests(tools_tests DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "LC_ALL=C.UTF-8" ENVIRONMENT_MODIFICATION "QT_QPA_PLATFORM=set:offscreen" TIMEOUT 120)
endif()

# A million-record export checked against the sqlite3 shell: one CTest test
# with the label "slow", part of the default run of the plain build (about
# ten seconds; the sanitizer build would take several times that, and its
# memory checks of the export run on the smaller tests and the fuzz target).
if(NOT ORLIX_SANITIZE)
  find_program(ORLIX_SQLITE3 sqlite3 REQUIRED)
  add_executable(export_million_test ${CMAKE_CURRENT_LIST_DIR}/tools/orlix_export_million.cpp)
  target_include_directories(export_million_test PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_CURRENT_LIST_DIR}/tools)
  target_link_libraries(export_million_test PRIVATE orlix_database GTest::gtest GTest::gtest_main)
  target_compile_definitions(export_million_test PRIVATE
    ORLIX_EXPORT_BIN="$<TARGET_FILE:orlix-export>" ORLIX_SQLITE3="${ORLIX_SQLITE3}")
  add_dependencies(export_million_test orlix-export)
  add_test(NAME OrlixExportMillion.MatchesTheSqliteShellRowForRow COMMAND export_million_test)
  set_tests_properties(OrlixExportMillion.MatchesTheSqliteShellRowForRow PROPERTIES
    LABELS slow ENVIRONMENT "LC_ALL=C.UTF-8" TIMEOUT 300)
endif()
