#!/usr/bin/env bash
# The offline run under qemu draws the native frames bit for bit: 2400, 3700,
# 6000 (2D effects, 3D objects, sprite cloud) at 16 and 32 bits, the sprite
# ball that seed 7 moves at 15 bits, on the SSE2 kernels on NEON, and a frame
# on the reference ones; the closing line names the path taken.
source "$(dirname "$0")/common.sh" "$@"

# depth seed frames path
runs=("16 1 2400,3700,6000 SSE2 on NEON" "32 1 2400,3700,6000 SSE2 on NEON" "15 7 1950 SSE2 on NEON"
  "32 3 1000 reference")
for run in "${runs[@]}"; do
  read -r depth seed frames path <<<"$run"
  name=d${depth}s$seed
  ref=0 && [ "$path" = reference ] && ref=1
  "$NATIVE" --headless --seed "$seed" --depth "$depth" --dump-frames "$WORK/native_$name" --frames "$frames" --quiet ||
    fail "the native offline run at $depth bits, seed $seed"
  KELVRA_REFERENCE=$ref qemu-aarch64-static "$ARM/bin/nerith" --headless --seed "$seed" --depth "$depth" \
    --dump-frames "$WORK/arm_$name" --frames "$frames" --quiet --benchmark >"$WORK/out_$name.txt" 2>&1 || {
    tail -n 20 "$WORK/out_$name.txt" >&2
    fail "the aarch64 offline run at $depth bits, seed $seed"
  }
  grep -q "frames per second, $path drawing$" "$WORK/out_$name.txt" ||
    fail "the aarch64 run at $depth bits did not end on the $path path: $(tail -n 1 "$WORK/out_$name.txt")"
  for f in ${frames//,/ }; do
    f=$(printf %05d "$f")
    want=$(rgb_sum "$WORK/native_$name/frame_$f.png")
    got=$(rgb_sum "$WORK/arm_$name/frame_$f.png")
    [ "$got" = "$want" ] || fail "frame $f at $depth bits, seed $seed: aarch64 RGB md5 $got, x86-64 $want"
    echo "frame $f at $depth bits, seed $seed ($path): RGB md5 $got on both"
  done
done
