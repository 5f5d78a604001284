# fuzz_web_input: what browsers send the office's pages (the bytes of a
# connection through the request guard, cookies, query parameters, JSON
# bodies, Origins) under libFuzzer (clang only). The sources are compiled
# into the target so that they carry the fuzzer's coverage instrumentation.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  find_package(Qt6 REQUIRED COMPONENTS Network)
  add_executable(fuzz_web_input ${CMAKE_CURRENT_LIST_DIR}/fuzz_web_input.cpp
                 ${PROJECT_SOURCE_DIR}/src/web/request_guard.cpp ${PROJECT_SOURCE_DIR}/src/web/http_input.cpp
                 ${PROJECT_SOURCE_DIR}/src/web/http_address.cpp)
  target_include_directories(fuzz_web_input PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(fuzz_web_input PRIVATE orlix_hub Qt6::Core Qt6::Network)
  target_compile_options(fuzz_web_input PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_web_input PRIVATE -fsanitize=fuzzer)
  set_target_properties(fuzz_web_input PROPERTIES AUTOMOC OFF)
endif()
