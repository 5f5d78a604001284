# orlix_hub_logic: the office's pure logic (payloads read from the sites,
# alarm states, threshold rules, the rules file, notification documents),
# on QtCore alone: no database, no broker, no network. The files are listed
# by name because src/hub/ also holds the office's store and service.
if(NOT TARGET Qt6::Core)
  find_package(Qt6 REQUIRED COMPONENTS Core)
endif()
set(_hub_logic_sources hub_time.cpp payload_parser.cpp alarm_state.cpp threshold.cpp alarm_rules.cpp
    notification_format.cpp)
list(TRANSFORM _hub_logic_sources PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
add_library(orlix_hub_logic STATIC ${_hub_logic_sources})
target_include_directories(orlix_hub_logic PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
# sampling/ for the one JSON string writer, database/ for the column names.
target_link_libraries(orlix_hub_logic PUBLIC Qt6::Core orlix_sampling orlix_database orlix_platform_core)
set_target_properties(orlix_hub_logic PROPERTIES AUTOMOC OFF)
