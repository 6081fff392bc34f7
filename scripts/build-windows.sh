#!/usr/bin/env bash
# Builds the show for 64-bit Windows into NATIVE_BUILD_DIR/windows/: nerith.exe (one static
# file that needs only Windows' own DLLs, with its icon, version information
# and manifest), nerith.com (the same show for a command prompt) and
# nerith-<version>-win64.zip (both, the asset pack nerith.kpak,
# SND\Nerith.mp3, README.txt and the licence).
#
#   scripts/build-windows.sh [NATIVE_BUILD_DIR]     (default: build)
#
# Needs the native build first (it writes the asset pack and the music).
# Installs what it needs with apt-get: Debian's MinGW-w64 cross compiler and
# its zlib, and zip.
set -euo pipefail
cd "$(dirname "$0")/.."
native_arg=${1:-build}

scripts/install-deps.sh --only g++-mingw-w64-x86-64-posix libz-mingw-w64-dev zip

native=$(cd "$native_arg" 2>/dev/null && pwd) || native=$native_arg
for f in "$native/web/nerith.kpak" "$native/bin/SND/Nerith.mp3" "$native/bin/nerith" "$native/icons/icon_256.png"; do
  [ -f "$f" ] || { echo "build-windows: $f is missing: build the native show first (cmake --build $native_arg)" >&2; exit 1; }
done

out=$native/windows
version=$("$native/bin/nerith" --version | awk '{print $2}')
# The exe's icon: the generated desktop icons in one .ico.
mkdir -p "$out"
python3 show/win32/MakeIcon.py "$out/nerith.ico" "$native"/icons/icon_{48,64,128,256}.png

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S show/win32 -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" "${launcher[@]}" \
  -DNERITH_VERSION="$version" -DNERITH_ICON="$out/nerith.ico" >/dev/null
cmake --build "$out" --parallel "${KELVRA_JOBS:-$(nproc)}" --target nerith nerith_console music_envelope
x86_64-w64-mingw32-strip "$out/nerith.exe" "$out/nerith.com"

# The package: what a user unzips and double-clicks.
stage=$out/package/nerith-$version-win64
rm -rf "$out/package"
mkdir -p "$stage/SND"
cp "$out/nerith.exe" "$out/nerith.com" "$native/web/nerith.kpak" "$stage/"
cp "$native/bin/SND/Nerith.mp3" "$stage/SND/"
# README.txt is written for Windows (show/win32/README.txt), CR LF.
sed -e "s/@VERSION@/$version/" -e 's/$/\r/' show/win32/README.txt >"$stage/README.txt"
sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"
zip_name=nerith-$version-win64.zip
(cd "$out/package" && rm -f "../$zip_name" && zip -qr "../$zip_name" "nerith-$version-win64")
echo "$out/nerith.exe and $out/$zip_name are ready"
