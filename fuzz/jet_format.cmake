# fuzz_jet_format: the Jet header check and the decoding of one sample record
# from a page (clang only); the Jet library itself is not part of it.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_executable(fuzz_jet_format ${CMAKE_CURRENT_LIST_DIR}/fuzz_jet_format.cpp
                 ${PROJECT_SOURCE_DIR}/src/database/jet_format.cpp)
  target_include_directories(fuzz_jet_format PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(fuzz_jet_format PRIVATE orlix_base)
  target_compile_options(fuzz_jet_format PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_jet_format PRIVATE -fsanitize=fuzzer)
endif()
