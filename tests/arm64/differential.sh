#!/usr/bin/env bash
# The seeded differential test of the drawing kernels, built for aarch64,
# under qemu: the SSE2 kernels on NEON (SIMDe) against the reference ones,
# at every depth, and the processor test's choice. (The test of
# KELVRA_REFERENCE in a child process needs the kernel to start aarch64
# programs by itself, so the frames check covers it through the show.)
source "$(dirname "$0")/common.sh" "$@"

tests=$ARM/tests/test_engine_buffer
[ -x "$tests" ] || fail "no $tests"
qemu-aarch64-static "$tests" --gtest_filter='Depths/Differential.*:FastPath.PathSelection' >"$WORK/out.txt" 2>&1 || {
  tail -n 40 "$WORK/out.txt" >&2
  fail "the differential test under qemu"
}
grep -q "^\[  PASSED  \] 5 tests" "$WORK/out.txt" || fail "not all 4 depths and the path test ran: $(tail -n 3 "$WORK/out.txt")"
