# orlix-decode: decodes a capture or a live serial port to JSON or CSV lines.
# Only the column names of the sample table are taken from database/ (a
# header constant), so the tool needs no SQLite.
add_executable(orlix-decode ${CMAKE_CURRENT_LIST_DIR}/orlix_decode.cpp)
target_link_libraries(orlix-decode PRIVATE orlix_comm orlix_version)
