# The install, package and example checks: shell scripts run by ctest, each
# in a scratch folder of its own. Release builds only (the sanitizer pass
# skips them): they test the layout and the package, not memory.
set(NERITH_INSTALL_CHECKS relocated_prefix desktop_files example_program show_from_installed_engine debian_package
  manpage_matches_help)
foreach(check ${NERITH_INSTALL_CHECKS})
  add_test(NAME install.${check}
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/${check}.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
  set_tests_properties(install.${check} PROPERTIES LABELS install TIMEOUT 600)
endforeach()
