# orlix-export: a sample database's records as CSV or JSON Lines. Plain C++
# over SQLite, no Qt.
add_executable(orlix-export ${CMAKE_CURRENT_LIST_DIR}/orlix_export.cpp)
target_link_libraries(orlix-export PRIVATE orlix_database orlix_platform)
install(TARGETS orlix-export)
