#!/usr/bin/env bash
# Installs the Debian packages that are missing, with apt-get as root or
# through sudo:
#   scripts/install-deps.sh play   what building and playing the show needs
#   scripts/install-deps.sh        that, and what the tests, benchmarks,
#                                  packaging checks, browser, Windows and
#                                  ARM builds need
#   scripts/install-deps.sh --only P...   just these packages (the browser,
#                                  Windows and ARM build scripts); a name
#                                  ending in :arm64 adds dpkg's arm64
#                                  architecture first (multiarch)
set -euo pipefail

PACKAGES=(
  g++ cmake ninja-build pkg-config
  libsdl2-dev libx11-dev libpng-dev libjpeg62-turbo-dev zlib1g-dev
  libfreetype-dev libfontconfig-dev fonts-dejavu-core
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev libswscale-dev
  libopenmpt-dev libmp3lame-dev
  libfluidsynth-dev timgm6mb-soundfont
)
# On 64-bit ARM itself the drawing kernels are built on SIMDe.
if [ "$(dpkg --print-architecture)" = arm64 ]; then
  PACKAGES+=(libsimde-dev)
fi
if [ "${1:-all}" != play ]; then
  PACKAGES+=(
    libgtest-dev libbenchmark-dev libpixman-1-dev
    xvfb xauth xdotool imagemagick x11-utils   # xdotool, xprop: the window under a bare X server (tests/show, Wine)
    openbox                              # the same window under a window manager (tests/show, Wine)
    desktop-file-utils appstream lintian dpkg-dev file
    python3                              # the crafted-file recipe, the page tests
    emscripten nodejs chromium           # the browser build and its tests (scripts/build-web.sh)
    # the Windows build (scripts/build-windows.sh) and its tests under Wine
    g++-mingw-w64-x86-64-posix libz-mingw-w64-dev zip unzip
    wine wine64 gstreamer1.0-plugins-good libasound2-dev   # libasound2-dev: the A/V check's test sound card
    # the 64-bit ARM build (scripts/build-arm64.sh) and its tests under qemu
    g++-aarch64-linux-gnu qemu-user-static libsimde-dev
    libsdl2-dev:arm64 libpng-dev:arm64 libjpeg62-turbo-dev:arm64 zlib1g-dev:arm64 libfreetype-dev:arm64
    libfontconfig-dev:arm64 libavformat-dev:arm64 libavcodec-dev:arm64 libswresample-dev:arm64 libswscale-dev:arm64
    libavutil-dev:arm64 libopenmpt-dev:arm64 libfluidsynth-dev:arm64 libmp3lame-dev:arm64
    libgtest-dev:arm64 libbenchmark-dev:arm64
  )
fi
# npm installs Lighthouse for the page's audit; a node from elsewhere brings its own.
if [ "${1:-all}" != play ] && ! command -v npm >/dev/null; then PACKAGES+=(npm); fi
if [ "${1:-}" = --only ]; then
  shift
  PACKAGES=("$@")
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}" >&2
if [ "$(id -u)" -eq 0 ]; then
  SUDO=()
elif command -v sudo >/dev/null 2>&1; then
  SUDO=(sudo)
else
  echo "error: need root or sudo to install: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
for p in "${missing[@]}"; do
  arch=${p##*:}
  if [ "$arch" != "$p" ] && [ "$arch" != "$(dpkg --print-architecture)" ] &&
    ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    "${SUDO[@]}" dpkg --add-architecture "$arch"
  fi
done
"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" apt-get -o DPkg::Lock::Timeout=900 install -y -qq "${missing[@]}"
