# The compile settings of every project in the tree: the whole tree (the
# root CMakeLists.txt), the browser build (show/web) and the Windows build
# (show/win32) include this file. The engine hands C++17 on to the programs
# that link it as a compile feature of Kelvra (engine/CMakeLists.txt).
if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE Release CACHE STRING "Build type" FORCE)
endif()
set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)

add_compile_options(-Wall -Wextra)
# Where fused multiply-add is part of the base instruction set (64-bit ARM),
# GCC would fuse a*b+c and round once where x86-64 rounds twice: the frames
# must be the same bits on both.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$")
  add_compile_options(-ffp-contract=off)
endif()
