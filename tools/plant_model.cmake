# The simulated plant: a small library shared by orlix-plant-sim, the tests
# and the benchmarks.
add_library(orlix_plant_model STATIC ${CMAKE_CURRENT_LIST_DIR}/plant_model.cpp)
target_include_directories(orlix_plant_model PUBLIC ${CMAKE_CURRENT_LIST_DIR})
