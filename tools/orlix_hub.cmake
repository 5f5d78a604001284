# orlix-hub: the office's hub (QtCore, libpq through the hub library) and its
# pages (the web library).
add_executable(orlix-hub ${CMAKE_CURRENT_LIST_DIR}/orlix_hub.cpp)
target_link_libraries(orlix-hub PRIVATE orlix_web orlix_hub orlix_platform orlix_mqtt)
install(TARGETS orlix-hub)
