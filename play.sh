#!/usr/bin/env bash
# Builds the engine, the show and its assets (Release, in build/), then plays
# the show. Arguments go to the show: ./play.sh --window, ./play.sh --help.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --parallel
exec build/bin/nerith "$@"
