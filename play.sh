#!/usr/bin/env bash
# Builds what playing needs - the engine, the show and its assets (Release,
# in build/), not the tests or benchmarks - then plays the show. Arguments go
# to the show: ./play.sh --window, ./play.sh --help. ./test.sh builds the rest.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh play
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELVRA_TESTS=OFF -DKELVRA_BENCH=OFF >/dev/null
cmake --build build --parallel "${KELVRA_JOBS:-$(nproc)}" --target nerith assets
exec build/bin/nerith "$@"
