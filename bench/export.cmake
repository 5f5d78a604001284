# Exporting a 1,000,000-record database to CSV: orlix-export against the
# sqlite3 shell writing the same records, in one run. Not part of the test
# suite.
add_executable(export_bench ${CMAKE_CURRENT_LIST_DIR}/export_bench.cpp)
target_include_directories(export_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests/tools)
target_link_libraries(export_bench PRIVATE orlix_database benchmark::benchmark SQLite::SQLite3)
target_compile_definitions(export_bench PRIVATE ORLIX_EXPORT_BIN="$<TARGET_FILE:orlix-export>")
add_dependencies(export_bench orlix-export)
