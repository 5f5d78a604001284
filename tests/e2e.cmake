# End-to-end tests of the monitor over real pseudo-terminals: a plant writes
# bus frames, the monitor window (offscreen) reads them through the real
# serial link.
  add_executable(e2e_tests ${CMAKE_CURRENT_SOURCE_DIR}/e2e/monitor_pty_e2e.cpp
                 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/monitor_remote_site_e2e.cpp
                 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/monitor_replay_e2e.cpp
                 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/monitor_remote_failures_e2e.cpp
                 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/broker_secrets_e2e.cpp)
  target_include_directories(e2e_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(e2e_tests PRIVATE orlix_monitor orlix_analyzer Qt6::Test
                        GTest::gtest GTest::gtest_main Threads::Threads)
  if(TARGET orlix-plant-sim)
    target_compile_definitions(e2e_tests PRIVATE ORLIX_PLANT_SIM="$<TARGET_FILE:orlix-plant-sim>")
    add_dependencies(e2e_tests orlix-plant-sim)
  endif()
  gtest_discover_tests(e2e_tests DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "LC_ALL=C.UTF-8" ENVIRONMENT_MODIFICATION "QT_QPA_PLATFORM=set:offscreen" TIMEOUT 120)
