# Sample database benchmarks: our operations against bare SQLite doing the
# same work, in one run. Not part of the test suite.
add_executable(database_bench ${CMAKE_CURRENT_LIST_DIR}/database_bench.cpp)
target_link_libraries(database_bench PRIVATE orlix_database benchmark::benchmark SQLite::SQLite3)
