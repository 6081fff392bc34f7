#!/usr/bin/env bash
# Cross-compiles nerith.exe and the zip, then checks what a Windows user gets:
# the zip's files, a README.txt written for Windows, an exe that imports only
# Windows' own DLLs (a DLL of MinGW's run-time, of zlib or of the C++ library
# would have to lie beside it) and carries its icon, version information and
# manifest, and nerith.com, the console program a command prompt waits for.
source "$(dirname "$0")/common_build.sh" "$@"

"$SOURCE/scripts/build-windows.sh" "$BUILD" >"$WORK/build.log" 2>&1 || {
  tail -n 30 "$WORK/build.log" >&2
  fail "scripts/build-windows.sh"
}
version=$("$BUILD/bin/nerith" --version | awk '{print $2}')
zip=$BUILD/windows/nerith-$version-win64.zip
[ -f "$zip" ] || fail "no $zip"
listing=$(unzip -Z1 "$zip")
for f in nerith.exe nerith.com nerith.kpak SND/Nerith.mp3 README.txt LICENSE.txt; do
  grep -qx "nerith-$version-win64/$f" <<<"$listing" || fail "the zip has no $f"
done
readme=$(unzip -p "$zip" "nerith-$version-win64/README.txt" | tr -d '\r')
for want in -- --window "Nerith $version for Windows" SmartScreen "Media Feature Pack" F11 'Pictures folder' \
  LOCALAPPDATA; do
  grep -qF -- "$want" <<<"$readme" || fail "README.txt does not mention $want"
done
for linux in XDG share/nerith SIGTERM .webm; do
  ! grep -qF -- "$linux" <<<"$readme" || fail "README.txt speaks of $linux, which is Linux's"
done

# The resources, as windres reads them back from the exe.
rc=$(x86_64-w64-mingw32-windres -i "$BUILD/windows/nerith.exe" -O rc 2>/dev/null)
grep -q '^1 14 /\* RT_GROUP_ICON \*/' <<<"$rc" || fail "nerith.exe has no icon"
icons=$(grep -c '/\* Element no' <<<"$rc")
[ "$icons" -ge 4 ] || fail "nerith.exe's icon has $icons sizes, not the 4 generated ones"
grep -qF "VALUE \"ProductVersion\", \"$version\"" <<<"$rc" || fail "nerith.exe's version information is not $version"
grep -qF 'VALUE "OriginalFilename", "nerith.exe"' <<<"$rc" || fail "nerith.exe's version information names no file"
for setting in '>UTF-8</activeCodePage>' '>PerMonitorV2' '>true</longPathAware>' 'level=""asInvoker""'; do
  grep -qF "$setting" <<<"$rc" || fail "nerith.exe's manifest lacks $setting"
done
subsystem() { x86_64-w64-mingw32-objdump -p "$1" | awk '/^Subsystem/ {print $NF}'; }
[ "$(subsystem "$BUILD/windows/nerith.exe")" = "GUI)" ] || fail "nerith.exe is not a window program"
[ "$(subsystem "$BUILD/windows/nerith.com")" = "CUI)" ] || fail "nerith.com is not a console program"
echo "nerith.exe: an icon of $icons sizes, version $version, a manifest with UTF-8, per-monitor DPI and long paths"

# Windows' own DLLs, present on every Windows from 7 on, N editions too
# (Media Foundation, which those lack, is loaded when the music is opened).
system_dlls='^(kernel32|user32|gdi32|msvcrt|ole32|oleaut32|shell32|advapi32|winmm|windowscodecs)\.dll$'
imports=$(x86_64-w64-mingw32-objdump -p "$BUILD/windows/nerith.exe" | awk '/DLL Name:/ {print tolower($3)}')
[ -n "$imports" ] || fail "objdump found no imports in nerith.exe"
while read -r dll; do
  [[ $dll =~ $system_dlls ]] || fail "nerith.exe imports $dll, which is not part of Windows"
done <<<"$imports"
for dll in $(x86_64-w64-mingw32-objdump -p "$BUILD/windows/nerith.com" | awk '/DLL Name:/ {print tolower($3)}'); do
  [[ $dll =~ $system_dlls ]] || fail "nerith.com imports $dll, which is not part of Windows"
done
echo "nerith.exe ($(stat -c %s "$BUILD/windows/nerith.exe") bytes) imports: $(echo $imports)"
