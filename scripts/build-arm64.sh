#!/usr/bin/env bash
# Cross-builds the show for 64-bit ARM Linux (aarch64: Raspberry Pi 4 and 5,
# ARM laptops) into NATIVE_BUILD_DIR/arm64/: the show, the drawing kernels' tests and
# benchmark, and nerith_<version>_arm64.deb made by cpack -G DEB.
#
#   scripts/build-arm64.sh [NATIVE_BUILD_DIR]     (default: build)
#
# Needs the native build first: its generator's output (pictures, meshes,
# music, icons) is copied, not made again. Installs what it needs with
# apt-get: Debian's aarch64 cross compiler, qemu-user-static to run the
# result here, SIMDe (the SSE2 kernels on NEON) and the arm64 forms of the
# libraries the show links (dpkg's arm64 architecture is added for them).
set -euo pipefail
cd "$(dirname "$0")/.."
native_arg=${1:-build}

arm64_libs=(libsdl2-dev libpng-dev libjpeg62-turbo-dev zlib1g-dev libfreetype-dev libfontconfig-dev
  libavformat-dev libavcodec-dev libswresample-dev libswscale-dev libavutil-dev libopenmpt-dev libfluidsynth-dev
  libmp3lame-dev libgtest-dev libbenchmark-dev)
scripts/install-deps.sh --only g++-aarch64-linux-gnu qemu-user-static libsimde-dev dpkg-dev \
  "${arm64_libs[@]/%/:arm64}"

native=$(cd "$native_arg" 2>/dev/null && pwd) || native=$native_arg
for f in "$native/bin/nerith" "$native/bin/SND/Nerith.mp3" "$native/icons/icon_256.png"; do
  [ -f "$f" ] || { echo "build-arm64: $f is missing: build the native show first (cmake --build $native_arg)" >&2; exit 1; }
done
out=$native/arm64

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/aarch64-linux-gnu.cmake" -DNERITH_ASSETS_FROM="$native" \
  -DKELVRA_TESTS=ON -DKELVRA_BENCH=ON "${launcher[@]}" >/dev/null
# Only what the arm64 checks run: the show and its package's files, the
# kernels' differential test, the 2D drawing benchmark.
cmake --build "$out" --parallel "${KELVRA_JOBS:-$(nproc)}" \
  --target nerith assets package_docs test_engine_buffer bench_draw2d

(cd "$out" && cpack -G DEB >cpack.log 2>&1) || { cat "$out/cpack.log" >&2; exit 1; }
deb=$(ls "$out"/nerith_*_arm64.deb)
echo "$out/bin/nerith and $deb are ready"
