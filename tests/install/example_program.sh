#!/usr/bin/env bash
# examples/hello_kelvra builds against the installed (and moved) engine
# alone, both with find_package(Kelvra) and with pkg-config, and runs
# headless to exit 0, drawing a frame that is not blank.
source "$(dirname "$0")/common.sh"
# Installed in one place and used from another: the CMake package and
# kelvra.pc must find the engine from where they are.
install_into "$WORK/first"
mv "$WORK/first" "$WORK/p"
P="$WORK/p"
pic="$P/share/nerith/GFX/nerith.png"

cmake -S "$SOURCE/examples/hello_kelvra" -B "$WORK/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$P" >"$WORK/configure.log" 2>&1 || { cat "$WORK/configure.log" >&2; fail "configure"; }
cmake --build "$WORK/build" >"$WORK/build.log" 2>&1 || { cat "$WORK/build.log" >&2; fail "build"; }

cd "$WORK"
./build/hello_kelvra --headless --frames 30 --save last.png "$pic" || fail "hello_kelvra exited $?"
file last.png | grep -q "PNG image data, 640 x 480" || fail "no 640 x 480 frame saved"
colours=$(convert last.png -format %k info:)
[ "$colours" -gt 100 ] || fail "the saved frame has only $colours colours: nothing was drawn"

# A wrong picture fails the engine's way: exit 1 and a line in KVR_ERR.txt.
set +e
./build/hello_kelvra --headless no-such.png 2>/dev/null
status=$?
set -e
[ "$status" -eq 1 ] && grep -q "no-such.png" KVR_ERR.txt || fail "a missing picture gave exit $status"

PKG_CONFIG_PATH="$P/lib/pkgconfig" pkg-config --exists kelvra || fail "pkg-config does not find kelvra"
g++ -O1 "$SOURCE/examples/hello_kelvra/main.cpp" -o hello_pc \
  $(PKG_CONFIG_PATH="$P/lib/pkgconfig" pkg-config --cflags --libs kelvra) || fail "build with pkg-config"
./hello_pc --headless --frames 2 "$pic" || fail "the pkg-config build exited $?"
echo "example builds with find_package and pkg-config and runs headless ($colours colours)"
