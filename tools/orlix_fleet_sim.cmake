# orlix-fleet-sim: simulated sites publishing as recorders do (QtCore only).
add_executable(orlix-fleet-sim ${CMAKE_CURRENT_LIST_DIR}/orlix_fleet_sim.cpp)
target_link_libraries(orlix-fleet-sim PRIVATE orlix_fleet orlix_platform)
install(TARGETS orlix-fleet-sim)
