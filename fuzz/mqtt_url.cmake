# fuzz_mqtt_url: broker and remote-site addresses as typed on a command line
# (clang only), and the JSON strings of fault texts from the bus.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_executable(fuzz_mqtt_url ${CMAKE_CURRENT_LIST_DIR}/fuzz_mqtt_url.cpp
                 ${PROJECT_SOURCE_DIR}/src/mqtt/mqtt_url.cpp ${PROJECT_SOURCE_DIR}/src/sampling/site_payloads.cpp
                 ${PROJECT_SOURCE_DIR}/src/base/json.cpp)
  target_include_directories(fuzz_mqtt_url PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(fuzz_mqtt_url PRIVATE orlix_base)
  target_compile_options(fuzz_mqtt_url PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_mqtt_url PRIVATE -fsanitize=fuzzer)
endif()
