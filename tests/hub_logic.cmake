# hub_logic_tests: the office's pure logic (tests/hub_logic/*_test.cpp),
# apart from the store's tests in tests/hub/. The rules tests load the
# example rules file of the package.
orlix_test_dir(hub_logic orlix_hub_logic)
if(TARGET hub_logic_tests)
  target_compile_definitions(hub_logic_tests PRIVATE
    ORLIX_HUB_RULES_EXAMPLE="${PROJECT_SOURCE_DIR}/packaging/orlix-hub-rules.example.ini")
  set_target_properties(hub_logic_tests PROPERTIES AUTOMOC OFF)
endif()
