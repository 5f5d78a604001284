# Capture throughput: orlix-decode --csv to a file against decoding without
# output, and a week's capture into a sample database against decoding it
# without sampling. Not part of the test suite.
add_executable(capture_bench ${CMAKE_CURRENT_LIST_DIR}/capture_bench.cpp)
target_link_libraries(capture_bench PRIVATE orlix_sampling orlix_comm orlix_sim benchmark::benchmark)
target_compile_definitions(capture_bench PRIVATE ORLIX_DECODE_BIN="$<TARGET_FILE:orlix-decode>")
add_dependencies(capture_bench orlix-decode)
