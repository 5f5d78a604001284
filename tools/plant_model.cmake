# The simulated plant: a small library shared by orlix-plant-sim, the tests
# and the benchmarks.
add_library(orlix_plant_model STATIC ${CMAKE_CURRENT_LIST_DIR}/plant_model.cpp)
target_include_directories(orlix_plant_model PUBLIC ${CMAKE_CURRENT_LIST_DIR})

# The plant as a bus capture with line-rate times (tests, benchmarks).
add_library(orlix_plant_capture STATIC ${CMAKE_CURRENT_LIST_DIR}/plant_capture.cpp)
target_link_libraries(orlix_plant_capture PUBLIC orlix_plant_model orlix_platform_core)
