# fuzz_capture_reader: the capture reader under libFuzzer (clang only), on
# files from memory, on disk, and growing on disk. The reader and the logger
# are compiled into the target so that they carry the fuzzer's coverage
# instrumentation.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_executable(fuzz_capture_reader ${CMAKE_CURRENT_LIST_DIR}/fuzz_capture_reader.cpp
                 ${PROJECT_SOURCE_DIR}/src/capture/capture_reader.cpp ${PROJECT_SOURCE_DIR}/src/base/log.cpp)
  target_include_directories(fuzz_capture_reader PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(fuzz_capture_reader PRIVATE Pcap::Pcap)
  target_compile_options(fuzz_capture_reader PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_capture_reader PRIVATE -fsanitize=fuzzer)
else()
  message(STATUS "fuzz_capture_reader needs clang; not built with ${CMAKE_CXX_COMPILER_ID}")
endif()
