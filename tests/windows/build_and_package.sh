#!/usr/bin/env bash
# Cross-compiles nerith.exe and the zip, then checks what a Windows user gets:
# the zip's files, and an exe that imports only Windows' own DLLs (a DLL of
# MinGW's run-time, of zlib or of the C++ library would have to lie beside it).
source "$(dirname "$0")/common_build.sh" "$@"

"$SOURCE/scripts/build-windows.sh" "$BUILD" >"$WORK/build.log" 2>&1 || {
  tail -n 30 "$WORK/build.log" >&2
  fail "scripts/build-windows.sh"
}
version=$("$BUILD/bin/nerith" --version | awk '{print $2}')
zip=$SOURCE/build-win/nerith-$version-win64.zip
[ -f "$zip" ] || fail "no $zip"
listing=$(unzip -Z1 "$zip")
for f in nerith.exe nerith.kpak SND/Nerith.mp3 README.txt LICENSE.txt; do
  grep -qx "nerith-$version-win64/$f" <<<"$listing" || fail "the zip has no $f"
done
unzip -p "$zip" "nerith-$version-win64/README.txt" | grep -q -- "--window" || fail "README.txt does not list the options"

# Windows' own DLLs, present on every Windows from 7 on, N editions too
# (Media Foundation, which those lack, is loaded when the music is opened).
system_dlls='^(kernel32|user32|gdi32|msvcrt|ole32|oleaut32|shell32|advapi32|winmm|windowscodecs)\.dll$'
imports=$(x86_64-w64-mingw32-objdump -p "$SOURCE/build-win/nerith.exe" | awk '/DLL Name:/ {print tolower($3)}')
[ -n "$imports" ] || fail "objdump found no imports in nerith.exe"
while read -r dll; do
  [[ $dll =~ $system_dlls ]] || fail "nerith.exe imports $dll, which is not part of Windows"
done <<<"$imports"
echo "nerith.exe ($(stat -c %s "$SOURCE/build-win/nerith.exe") bytes) imports: $(echo $imports)"
