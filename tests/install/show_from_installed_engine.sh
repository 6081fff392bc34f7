#!/usr/bin/env bash
# The show is a client of the installed engine: a copy of show/, away from
# the rest of the tree (so that no relative include can reach engine/),
# configures and builds against the installed prefix alone, and draws the
# same frames as the show built in the tree.
source "$(dirname "$0")/common.sh"
install_into "$WORK/p"
P="$WORK/p"

mkdir "$WORK/src"
cp -r "$SOURCE/show" "$WORK/src/show"
cmake -S "$WORK/src/show" -B "$WORK/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$P" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >"$WORK/configure.log" 2>&1 ||
  { cat "$WORK/configure.log" >&2; fail "configure"; }
cmake --build "$WORK/build" >"$WORK/build.log" 2>&1 || { tail -30 "$WORK/build.log" >&2; fail "build"; }
grep -q "$P/lib/libKelvra.a" "$WORK/build/build.ninja" || fail "not linked with the installed libKelvra.a"
if grep -q -- "-I$SOURCE\|$BUILD/engine" "$WORK/build/build.ninja"; then
  fail "the build reaches into the source or build tree"
fi

# Frames from the 3D scenes and the credits, at 16 and 32 bits, from both
# programs: byte for byte the same.
cd "$P/share/nerith"
for depth in 16 32; do
  "$WORK/build/nerith" --headless --quiet --seed 3 --depth $depth --dump-frames "$WORK/client$depth" --frames 1,1500 ||
    fail "the show built on the installed engine exited $?"
  "$BUILD/bin/nerith" --headless --quiet --seed 3 --depth $depth --dump-frames "$WORK/tree$depth" --frames 1,1500 ||
    fail "the show built in the tree exited $?"
  for f in frame_00001.png frame_01500.png; do
    cmp -s "$WORK/client$depth/$f" "$WORK/tree$depth/$f" || fail "$f at $depth bits differs"
  done
done
echo "the show builds from a copy of show/ on the installed engine alone and draws the same frames"
