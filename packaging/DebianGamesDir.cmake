# CPack pre-build script of the .deb: moves the show from usr/bin to
# usr/games in the staging tree, where Debian's policy puts games (and
# lintian insists for a package of section games). From usr/games the show
# finds its assets in ../share/nerith as from bin/.
file(GLOB_RECURSE _shows "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/usr/bin/nerith")
if(NOT _shows)
  message(FATAL_ERROR "no usr/bin/nerith under ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
foreach(_show ${_shows})
  get_filename_component(_bin "${_show}" DIRECTORY)
  get_filename_component(_usr "${_bin}" DIRECTORY)
  file(MAKE_DIRECTORY "${_usr}/games")
  file(RENAME "${_show}" "${_usr}/games/nerith")
  file(GLOB _left "${_bin}/*")
  if(NOT _left)
    file(REMOVE_RECURSE "${_bin}")
  endif()
endforeach()
