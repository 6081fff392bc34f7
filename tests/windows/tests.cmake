# The Windows build's checks: shell scripts run by ctest under Wine (and
# Xvfb for the window), each in a scratch folder of its own. Release builds
# only, like the install checks. windows.build cross-compiles the exe and the
# zip (scripts/build-windows.sh) and is the others' fixture.
# tools/ holds programs the checks run, not GoogleTest sources (a .cpp right in
# tests/windows/ would become a test_windows executable).
add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/tools ${CMAKE_BINARY_DIR}/tests/windows_tools)

add_test(NAME windows.build
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/build_and_package.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
set_tests_properties(windows.build PROPERTIES LABELS windows TIMEOUT 1200 FIXTURES_SETUP windows_exe
  RESOURCE_LOCK kelvra_wine_prefix)

# Wine's prefix, made once before the checks that run Wine.
add_test(NAME windows.prefix COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/prefix.sh ${CMAKE_BINARY_DIR})
set_tests_properties(windows.prefix PROPERTIES LABELS windows TIMEOUT 600 FIXTURES_SETUP windows_prefix
  RESOURCE_LOCK kelvra_wine_prefix)

set(NERITH_WINDOWS_CHECKS offline_frames errors pictures paths window music)
foreach(check ${NERITH_WINDOWS_CHECKS})
  add_test(NAME windows.${check}
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/${check}.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
    # One Wine prefix for all: one check at a time uses it.
  set_tests_properties(windows.${check} PROPERTIES LABELS windows TIMEOUT 600
    FIXTURES_REQUIRED "windows_exe;windows_prefix" RESOURCE_LOCK kelvra_wine_prefix)
endforeach()

# The picture within 20 ms of the music as heard, on our ALSA test card.
if(TARGET asound_module_pcm_kvtest)
  add_test(NAME windows.av_sync
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/av_sync.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
  # Alone: it times the show against a card playing by the clock, and a
  # second test beside it on two cores starves Wine's sound thread.
  set_tests_properties(windows.av_sync PROPERTIES LABELS windows TIMEOUT 600 RUN_SERIAL ON
    FIXTURES_REQUIRED "windows_exe;windows_prefix" RESOURCE_LOCK kelvra_wine_prefix)
endif()
