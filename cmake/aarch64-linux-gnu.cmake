# Cross-compiling for 64-bit ARM Linux (Raspberry Pi 4 and 5, ARM laptops)
# with Debian's cross compiler and the arm64 libraries installed beside the
# native ones (multiarch): scripts/build-arm64.sh passes this file. The
# programs built run here under qemu-aarch64 (ctest and the test discovery
# use it as the emulator).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static)

# pkg-config reads the arm64 .pc files only; the headers and libraries they
# name sit in the multiarch folders, which the cross compiler searches.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
