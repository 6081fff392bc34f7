#!/usr/bin/env bash
# Builds the show for the browser into NATIVE_BUILD_DIR/browser/: nerith.html, nerith.js,
# nerith.wasm, nerith.kpak (the asset pack, gzip-compressed), nerith.mp3 and
# favicon.png.
#
#   scripts/build-web.sh [--single-file] [NATIVE_BUILD_DIR]   (default: build)
#
# --single-file also writes browser/nerith-standalone.html: the page with
# the program, the pack, the music and the icon embedded, which plays when
# opened from disk (file://).
#
# Needs the native build first (it writes the asset pack and the music).
# Installs what it needs with apt-get: Debian's emscripten and nodejs, and
# chromium for the page's tests.
set -euo pipefail
cd "$(dirname "$0")/.."
single_file=0
if [ "${1:-}" = "--single-file" ]; then
  single_file=1
  shift
fi
native_arg=${1:-build}

# nodejs may come from elsewhere than Debian; a working node is enough.
packages=(emscripten chromium)
command -v node >/dev/null || packages+=(nodejs)
scripts/install-deps.sh --only "${packages[@]}"

native=$(cd "$native_arg" 2>/dev/null && pwd) || native=$native_arg
for f in "$native/web/nerith.kpak" "$native/bin/SND/Nerith.mp3" "$native/icons/icon_48.png"; do
  [ -f "$f" ] || { echo "build-web: $f is missing: build the native show first (cmake --build $native_arg)" >&2; exit 1; }
done
out=$native/browser

# Work-arounds for Debian's emscripten 3.1.6: its tools find acorn only
# through NODE_PATH, and node 20's fetch breaks its loader in node. (Its
# broken HTML minifier is never run: the link writes nerith.js, and the page
# is our own show/web/nerith.html.)
export NODE_PATH=/usr/share/nodejs
export NODE_OPTIONS="${NODE_OPTIONS:-} --no-experimental-fetch"

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
emcmake cmake -S show/web -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" \
  -DNERITH_WEB_PACK="$native/web/nerith.kpak" -DNERITH_WEB_MUSIC="$native/bin/SND/Nerith.mp3" \
  -DNERITH_WEB_ICON="$native/icons/icon_48.png" >/dev/null
cmake --build "$out" --parallel "${KELVRA_JOBS:-$(nproc)}"
if [ "$single_file" = 1 ]; then
  python3 scripts/make-standalone-page.py "$out" "$out/nerith-standalone.html"
  echo "$out/nerith-standalone.html is ready: it plays when opened from disk"
fi
echo "$out/nerith.html is ready: serve it with" \
  "scripts/serve-web.py $out 8000"
