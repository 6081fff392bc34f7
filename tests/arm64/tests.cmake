# The 64-bit ARM build's checks: shell scripts run by ctest, the aarch64
# programs under qemu-aarch64, each in a scratch folder of its own. Release
# builds only, like the install and Windows checks. arm64.build
# cross-compiles the show, the kernels' test and the .deb
# (scripts/build-arm64.sh) and is the others' fixture. The ARM build itself
# has none of them: it runs no ctest.
if(CMAKE_CROSSCOMPILING)
  return()
endif()
add_test(NAME arm64.build
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/build.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
set_tests_properties(arm64.build PROPERTIES LABELS arm64 TIMEOUT 1800 FIXTURES_SETUP arm64_build)

foreach(check offline_frames differential package)
  add_test(NAME arm64.${check}
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/${check}.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
  set_tests_properties(arm64.${check} PROPERTIES LABELS arm64 TIMEOUT 900 FIXTURES_REQUIRED arm64_build)
endforeach()
