# orlix-plant-sim: the simulated plant on a pseudo-terminal (or stdout).
add_executable(orlix-plant-sim ${CMAKE_CURRENT_LIST_DIR}/orlix_plant_sim.cpp)
target_link_libraries(orlix-plant-sim PRIVATE orlix_sim orlix_platform)
install(TARGETS orlix-plant-sim)
