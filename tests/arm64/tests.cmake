# The 64-bit ARM checks (Release only, like the Windows ones): shell scripts,
# the aarch64 programs under qemu. arm64.build runs scripts/build-arm64.sh
# and is the others' fixture. The ARM build itself runs none of them.
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
