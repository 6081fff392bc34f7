# The window under a bare X server (Release builds: it tests the window, not
# memory, and a sanitized show is too slow to pace in real time).
if(NOT KELVRA_SANITIZE)
  add_test(NAME show.viewer_window COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/viewer_window.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(show.viewer_window PROPERTIES LABELS show TIMEOUT 300 SKIP_RETURN_CODE 77)
endif()

# A seek in the window: F12 after it saves the offline run's frame.
if(NOT KELVRA_SANITIZE)
  add_test(NAME show.seek_window COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/seek_window.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(show.seek_window PROPERTIES LABELS show TIMEOUT 300 SKIP_RETURN_CODE 77)
endif()
