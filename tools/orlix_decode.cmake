# orlix-decode: decodes a capture or a live serial port to JSON or CSV lines.
# --db makes a sample database from a capture through the sampling layer.
add_executable(orlix-decode ${CMAKE_CURRENT_LIST_DIR}/orlix_decode.cpp)
target_link_libraries(orlix-decode PRIVATE orlix_sampling orlix_sources orlix_platform)
install(TARGETS orlix-decode)
