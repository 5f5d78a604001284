# orlix-soak: a week of sampling ticks with simulated plant frames fed in
# between; reports resident memory at the start and the end. Not part of the
# test suite (it runs for minutes).
add_executable(orlix-soak ${CMAKE_CURRENT_LIST_DIR}/soak.cpp)
target_link_libraries(orlix-soak PRIVATE orlix_chart orlix_comm orlix_sim Qt6::Gui)
