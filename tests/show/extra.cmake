# The window through the shared scenario, under a bare X server and under a
# window manager (Release builds: it tests the window, not memory, and a
# sanitized show is too slow to pace in real time).
if(NOT KELVRA_SANITIZE)
  foreach(mode bare openbox)
    add_test(NAME show.window_${mode}
      COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/window_scenario_sdl.sh ${CMAKE_BINARY_DIR} ${mode})
    set_tests_properties(show.window_${mode} PROPERTIES LABELS show TIMEOUT 300 SKIP_RETURN_CODE 77)
  endforeach()
endif()

# A seek in the window: F12 after it saves the offline run's frame.
if(NOT KELVRA_SANITIZE)
  add_test(NAME show.seek_window COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/seek_window.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(show.seek_window PROPERTIES LABELS show TIMEOUT 300 SKIP_RETURN_CODE 77)
endif()
