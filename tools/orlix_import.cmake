# orlix-import: converts a Jet 4.0 sample database of the earlier tool into
# a sample database of ours, without a display.
add_executable(orlix-import ${CMAKE_CURRENT_LIST_DIR}/orlix_import.cpp)
target_link_libraries(orlix-import PRIVATE orlix_database orlix_platform)
install(TARGETS orlix-import)
