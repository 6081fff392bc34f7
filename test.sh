#!/usr/bin/env bash
# Builds everything with the tests and runs them twice: a Release build
# (build/, with the browser build in build/browser/ and its Chromium tests) and a
# build with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/),
# whole runs of the show included.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
# Jobs: KELVRA_JOBS, as for the cross builds (scripts/build-*.sh), else every core.
jobs=${KELVRA_JOBS:-$(nproc)}

echo "== Release build and tests"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELVRA_TESTS=ON -DKELVRA_BENCH=ON >/dev/null
cmake --build build --parallel "$jobs"
# The browser build, for the page's Chromium tests (Release pass only).
cmake --build build --target web
ctest --test-dir build --output-on-failure --parallel "$jobs"

echo "== Sanitizer build (address, undefined) and tests"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVRA_SANITIZE=ON -DKELVRA_TESTS=ON -DKELVRA_BENCH=OFF >/dev/null
cmake --build build-asan --parallel "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure --parallel "$jobs"
