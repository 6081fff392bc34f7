# test_show_web reads the asset pack the build writes (tools/webpack).
if(TARGET web_pack)
  add_dependencies(test_show_web web_pack)
endif()

# The page in headless Chromium: run when build/browser/ exists (test.sh makes it
# with scripts/build-web.sh), skipped otherwise. Not in the sanitizer build:
# the page is the same, and the native reference runs would only be slower.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_FOUND AND NOT KELVRA_SANITIZE)
  set(NERITH_WEB_BUILD ${CMAKE_BINARY_DIR}/browser)
  foreach(depth 16 32)
    # One frame in the 3D scenes, one in the credits, one late.
    add_test(NAME web_page_frames_depth${depth}
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/browser_test.py
        frames ${CMAKE_BINARY_DIR} ${NERITH_WEB_BUILD} 1 ${depth} 2400,3700,6000)
  endforeach()
  add_test(NAME web_page_broken_pack
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/browser_test.py broken-pack ${NERITH_WEB_BUILD})
  add_test(NAME web_page_play_and_escape
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/browser_test.py play ${NERITH_WEB_BUILD})
  set(NERITH_WEB_TESTS web_page_frames_depth16 web_page_frames_depth32 web_page_broken_pack web_page_play_and_escape)
  # The page as a player: a hidden tab, its controls and keys, a phone; the
  # keyboard and focus, and small screens; links and the time bar; a host
  # that cannot seek in the music.
  foreach(scenario hidden controls touch keys small seek plainhost)
    add_test(NAME web_page_player_${scenario}
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/browser_test.py player ${scenario} ${NERITH_WEB_BUILD})
    list(APPEND NERITH_WEB_TESTS web_page_player_${scenario})
  endforeach()
  # Frames against the music heard, on a test device 0.1 % fast and slow.
  add_test(NAME web_page_av_fast
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/browser_test.py av 1.001 ${NERITH_WEB_BUILD})
  add_test(NAME web_page_av_slow
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/browser_test.py av 0.999 ${NERITH_WEB_BUILD})
  list(APPEND NERITH_WEB_TESTS web_page_av_fast web_page_av_slow)
  add_test(NAME web_page_budget
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/browser_test.py budget ${NERITH_WEB_BUILD})
  add_test(NAME web_page_standalone_file
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/browser_test.py
      standalone ${CMAKE_BINARY_DIR} ${NERITH_WEB_BUILD})
  # Lighthouse from npm (tests/package.json, npm ci into the build tree).
  add_test(NAME web_page_lighthouse
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/browser_test.py lighthouse ${NERITH_WEB_BUILD} ${CMAKE_BINARY_DIR}/npm)
  list(APPEND NERITH_WEB_TESTS web_page_budget web_page_standalone_file web_page_lighthouse)
  set_tests_properties(${NERITH_WEB_TESTS}
    PROPERTIES
    SKIP_RETURN_CODE 77 LABELS web TIMEOUT 900)
endif()
