# The recorder's cost at line rate with the broker on, against the same
# without it, and the publish-to-receive latency of a sample through a real
# mosquitto on 127.0.0.1 (started by the bench), against a bare QoS 0 message.
find_program(ORLIX_MOSQUITTO mosquitto PATHS /usr/sbin /sbin)
find_program(ORLIX_MOSQUITTO_PASSWD mosquitto_passwd)
find_program(ORLIX_MOSQUITTO_SUB mosquitto_sub)
if(ORLIX_MOSQUITTO AND ORLIX_MOSQUITTO_PASSWD AND ORLIX_MOSQUITTO_SUB)
  add_executable(record_bench ${CMAKE_CURRENT_LIST_DIR}/record_bench.cpp)
  target_include_directories(record_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(record_bench PRIVATE orlix_recorder orlix_sampling orlix_comm orlix_mqtt orlix_sim
                        benchmark::benchmark)
  target_compile_definitions(record_bench PRIVATE ORLIX_MOSQUITTO="${ORLIX_MOSQUITTO}"
    ORLIX_MOSQUITTO_PASSWD="${ORLIX_MOSQUITTO_PASSWD}" ORLIX_MOSQUITTO_SUB="${ORLIX_MOSQUITTO_SUB}")
endif()
