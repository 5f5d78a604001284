# orlix-monitor: the desktop program.
add_executable(orlix-monitor ${CMAKE_CURRENT_LIST_DIR}/main.cpp
               ${CMAKE_CURRENT_LIST_DIR}/analyzer_window_link.h
               ${CMAKE_CURRENT_LIST_DIR}/bus_tools_link.h)
target_include_directories(orlix-monitor PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(orlix-monitor PRIVATE orlix_monitor orlix_analyzer
                      Qt6::Widgets)
install(TARGETS orlix-monitor)
