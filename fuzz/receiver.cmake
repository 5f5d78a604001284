# fuzz_receiver: the receiver and both decoders under libFuzzer (clang only).
# The comm sources are compiled into the target itself so that they carry
# the fuzzer's coverage instrumentation.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  file(GLOB _fuzz_comm_src CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/comm/*.cpp)
  add_executable(fuzz_receiver ${CMAKE_CURRENT_LIST_DIR}/fuzz_receiver.cpp ${_fuzz_comm_src})
  target_include_directories(fuzz_receiver PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(fuzz_receiver PRIVATE orlix_base)
  target_compile_options(fuzz_receiver PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_receiver PRIVATE -fsanitize=fuzzer)
else()
  message(STATUS "fuzz_receiver needs clang; not built with ${CMAKE_CXX_COMPILER_ID}")
endif()
