#!/usr/bin/env bash
# The offline run under Wine draws the native frames bit for bit: frames
# 2400, 3700 and 6000 (2D effects, the 3D objects, the sprite cloud) at 16 and
# 32 bits, through the Windows build's own PNG writer, against the native
# build's. The run must also say it ended well: --benchmark's closing line.
source "$(dirname "$0")/common.sh" "$@"

frames=2400,3700,6000
for depth in 16 32; do
  "$NATIVE" --headless --seed 1 --depth $depth --dump-frames "$WORK/native$depth" --frames $frames --quiet ||
    fail "the native offline run at $depth bits"
  (cd "$WORK/show" && wine nerith.exe --headless --seed 1 --depth $depth --dump-frames "win$depth" \
    --frames $frames --quiet --benchmark >"$WORK/out$depth.txt" 2>&1) || {
    cat "$WORK/out$depth.txt" >&2
    fail "nerith.exe's offline run at $depth bits"
  }
  grep -q "frames per second" "$WORK/out$depth.txt" || fail "nerith.exe at $depth bits did not report its end"
  for f in 02400 03700 06000; do
    want=$(rgb_sum "$WORK/native$depth/frame_$f.png")
    [ -f "$WORK/show/win$depth/frame_$f.png" ] || fail "nerith.exe wrote no frame $f at $depth bits"
    got=$(rgb_sum "$WORK/show/win$depth/frame_$f.png")
    [ "$got" = "$want" ] || fail "frame $f at $depth bits: Windows RGB md5 $got, native $want"
    echo "frame $f at $depth bits: RGB md5 $got on both"
  done
done
