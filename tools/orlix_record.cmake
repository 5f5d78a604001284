# orlix-record: the unattended recorder (QtCore only, no widgets).
add_executable(orlix-record ${CMAKE_CURRENT_LIST_DIR}/orlix_record.cpp)
target_link_libraries(orlix-record PRIVATE orlix_recorder orlix_version)
install(TARGETS orlix-record)
