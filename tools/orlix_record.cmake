# orlix-record: the unattended recorder (QtCore only, no widgets).
if(ORLIX_GUI)
  add_executable(orlix-record ${CMAKE_CURRENT_LIST_DIR}/orlix_record.cpp ${CMAKE_CURRENT_LIST_DIR}/record_session.cpp
                 ${CMAKE_CURRENT_LIST_DIR}/record_session.h)
  target_include_directories(orlix-record PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(orlix-record PRIVATE orlix_sampling orlix_comm orlix_platform_qtcore orlix_version)
  install(TARGETS orlix-record)
endif()
