#!/usr/bin/env bash
# The offline run under qemu draws the native frames bit for bit: frames
# 2400, 3700 and 6000 (2D effects, the 3D objects, the sprite cloud) at 16
# and 32 bits with seed 1, and at 15 bits with seed 7 the sprite ball (frame
# 1950, which the seed moves), each on the SSE2 kernels on NEON, and once on
# the reference kernels (KELVRA_REFERENCE=1). Each run's closing line names
# the path it took.
source "$(dirname "$0")/common.sh" "$@"

# depth seed frames path
runs=("16 1 2400,3700,6000 SSE2 on NEON" "32 1 2400,3700,6000 SSE2 on NEON" "15 7 1950 SSE2 on NEON"
  "32 3 1000 reference")
for run in "${runs[@]}"; do
  read -r depth seed frames path <<<"$run"
  name=d${depth}s$seed
  env=()
  [ "$path" = reference ] && env=(KELVRA_REFERENCE=1)
  "$NATIVE" --headless --seed "$seed" --depth "$depth" --dump-frames "$WORK/native_$name" --frames "$frames" --quiet ||
    fail "the native offline run at $depth bits, seed $seed"
  env "${env[@]}" qemu-aarch64-static "$ARM/bin/nerith" --headless --seed "$seed" --depth "$depth" \
    --dump-frames "$WORK/arm_$name" --frames "$frames" --quiet --benchmark >"$WORK/out_$name.txt" 2>&1 || {
    tail -n 20 "$WORK/out_$name.txt" >&2
    fail "the aarch64 offline run at $depth bits, seed $seed"
  }
  grep -q "frames per second, $path drawing$" "$WORK/out_$name.txt" ||
    fail "the aarch64 run at $depth bits did not end on the $path path: $(tail -n 1 "$WORK/out_$name.txt")"
  for f in ${frames//,/ }; do
    f=$(printf %05d "$f")
    want=$(rgb_sum "$WORK/native_$name/frame_$f.png")
    [ -f "$WORK/arm_$name/frame_$f.png" ] || fail "the aarch64 show wrote no frame $f at $depth bits"
    got=$(rgb_sum "$WORK/arm_$name/frame_$f.png")
    [ "$got" = "$want" ] || fail "frame $f at $depth bits, seed $seed: aarch64 RGB md5 $got, x86-64 $want"
    echo "frame $f at $depth bits, seed $seed ($path): RGB md5 $got on both"
  done
done
