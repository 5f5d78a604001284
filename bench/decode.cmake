# Decode throughput against a checksum-only pass (build with -O2, e.g. a
# Release or RelWithDebInfo build, to measure).
add_executable(decode_bench ${CMAKE_CURRENT_LIST_DIR}/decode_bench.cpp)
target_link_libraries(decode_bench PRIVATE orlix_comm orlix_sim benchmark::benchmark)
