# The fleet's tests run orlix-fleet-sim itself and check payloads with the
# recorder's payload check.
if(TARGET fleet_tests)
  find_program(ORLIX_PYTHON3 python3 REQUIRED)
  target_compile_definitions(fleet_tests PRIVATE
    ORLIX_FLEET_SIM_BIN="$<TARGET_FILE:orlix-fleet-sim>"
    ORLIX_PYTHON3="${ORLIX_PYTHON3}"
    ORLIX_CHECK_SITE_JSON_PY="${CMAKE_CURRENT_LIST_DIR}/tools/check_site_json.py")
  add_dependencies(fleet_tests orlix-fleet-sim)
endif()
