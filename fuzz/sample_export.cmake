# fuzz_sample_export: the export of arbitrary database files and the reading
# of typed times under libFuzzer (clang only). The sources under test are
# compiled into the target so that they carry the coverage instrumentation.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_executable(fuzz_sample_export ${CMAKE_CURRENT_LIST_DIR}/fuzz_sample_export.cpp
                 ${PROJECT_SOURCE_DIR}/src/database/sample_export.cpp
                 ${PROJECT_SOURCE_DIR}/src/database/database_log.cpp
                 ${PROJECT_SOURCE_DIR}/src/base/iso_date_time.cpp
                 ${PROJECT_SOURCE_DIR}/src/base/json.cpp
                 ${PROJECT_SOURCE_DIR}/src/base/date_time.cpp)
  target_include_directories(fuzz_sample_export PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(fuzz_sample_export PRIVATE orlix_base SQLite::SQLite3)
  target_compile_options(fuzz_sample_export PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_sample_export PRIVATE -fsanitize=fuzzer)
endif()
