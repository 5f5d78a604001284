# Chart drawing and sampling tick against bare QPainter / memmove baselines.
add_executable(chart_bench ${CMAKE_CURRENT_LIST_DIR}/chart_bench.cpp)
target_link_libraries(chart_bench PRIVATE orlix_chart Qt6::Gui benchmark::benchmark)
