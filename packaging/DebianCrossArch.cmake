# CPack project config of a cross build's .deb: dpkg-shlibdeps looks up the
# libraries of DEB_HOST_ARCH (arm64: /usr/lib/aarch64-linux-gnu, the
# packages of the :arm64 multiarch libraries) with that architecture's
# objdump, rather than the build machine's.
if(CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
  set(ENV{DEB_HOST_ARCH} "${CPACK_DEBIAN_PACKAGE_ARCHITECTURE}")
endif()
