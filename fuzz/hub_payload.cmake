# fuzz_hub_payload: what the office reads from the sites (sample, faults and
# status payloads, topics and site names) and the e-mail and notice made of a
# fault, under libFuzzer (clang only). fuzz_hub_rules: the alarm rules file.
# The hub logic sources are compiled into the targets so that they carry the
# fuzzer's coverage instrumentation; the JSON underneath is Debian's simdjson,
# which is fuzzed where it is made.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  find_package(simdjson REQUIRED)
  set(_fuzz_hub_src ${PROJECT_SOURCE_DIR}/src/hub/hub_time.cpp ${PROJECT_SOURCE_DIR}/src/hub/payload_parser.cpp
      ${PROJECT_SOURCE_DIR}/src/hub/alarm_state.cpp ${PROJECT_SOURCE_DIR}/src/hub/threshold.cpp
      ${PROJECT_SOURCE_DIR}/src/hub/alarm_rules.cpp ${PROJECT_SOURCE_DIR}/src/hub/notification_format.cpp
      ${PROJECT_SOURCE_DIR}/src/sampling/site_payloads.cpp ${PROJECT_SOURCE_DIR}/src/base/json.cpp)
  foreach(_t fuzz_hub_payload fuzz_hub_rules)
    add_executable(${_t} ${CMAKE_CURRENT_LIST_DIR}/${_t}.cpp ${_fuzz_hub_src})
    target_include_directories(${_t} PRIVATE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${_t} PRIVATE orlix_base orlix_database simdjson::simdjson Qt6::Core)
    target_compile_options(${_t} PRIVATE -fsanitize=fuzzer)
    target_link_options(${_t} PRIVATE -fsanitize=fuzzer)
    set_target_properties(${_t} PROPERTIES AUTOMOC OFF)
  endforeach()
else()
  message(STATUS "fuzz_hub_payload needs clang; not built with ${CMAKE_CXX_COMPILER_ID}")
endif()
