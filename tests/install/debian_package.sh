#!/usr/bin/env bash
# cpack -G DEB: the package's Depends name the package of every shared
# library the show is linked with, its section is games, lintian finds no
# error, and the show unpacked into a scratch root plays.
source "$(dirname "$0")/common.sh"
cpack -G DEB --config "$BUILD/CPackConfig.cmake" -B "$WORK/out" >"$WORK/cpack.log" 2>&1 || {
  cat "$WORK/cpack.log" >&2
  fail "cpack -G DEB"
}
deb=$(ls "$WORK"/out/nerith_*.deb)

[ "$(dpkg-deb -f "$deb" Section)" = games ] || fail "section is not games"
for field in Maintainer Description Version; do
  [ -n "$(dpkg-deb -f "$deb" $field)" ] || fail "no $field"
done
depends=$(dpkg-deb -f "$deb" Depends)

# Each library the show needs at run time (NEEDED entries), through the
# Debian package that ships it, must appear in Depends.
needed=$(objdump -p "$BUILD/bin/nerith" | awk '/NEEDED/ {print $2}')
[ -n "$needed" ] || fail "no NEEDED entries in the show"
ldcache=$(ldconfig -p)
for soname in $needed; do
  path=$(awk -v s="$soname" '$1 == s && /x86-64/ && !p {print $NF; p = 1}' <<<"$ldcache")
  [ -n "$path" ] || fail "cannot find $soname"
  # dpkg knows the file by its real name (merged /usr: /usr/lib, not /lib).
  owner=$(dpkg -S "$(readlink -f "$path")" 2>/dev/null || dpkg -S "$path")
  pkg=$(awk -F: 'NR == 1 {print $1}' <<<"$owner")
  case ", $depends" in *", $pkg "* | *", $pkg,"* | *", $pkg") ;;
  *) fail "Depends lacks $pkg (for $soname): $depends" ;;
  esac
done
for lib in libsdl2 libavcodec libavformat libswresample libavutil libpng16 libopenmpt; do
  case "$depends" in *"$lib"*) ;; *) fail "Depends names no $lib package: $depends" ;; esac
done

# Docs Debian requires, and nothing of the engine's development files.
contents=$(dpkg-deb -c "$deb")
for f in ./usr/share/doc/nerith/copyright ./usr/share/doc/nerith/changelog.gz ./usr/games/nerith; do
  grep -qF " $f" <<<"$contents" || fail "the package lacks $f"
done
grep -qE "include/kelvra|libKelvra|cmake/Kelvra" <<<"$contents" && fail "the package carries the engine's development files"

lintian --fail-on error "$deb" >"$WORK/lintian.log" 2>&1 || {
  cat "$WORK/lintian.log" >&2
  fail "lintian reports errors"
}
grep -v "root privileges" "$WORK/lintian.log" | sed "s/^/lintian: /" || true

dpkg-deb -x "$deb" "$WORK/root"
grep -qx "License: MIT" "$WORK/root/usr/share/doc/nerith/copyright" ||
  fail "the package's copyright file does not say License: MIT"
mkdir "$WORK/run" && cd "$WORK/run"
"$WORK/root/usr/games/nerith" --headless --seed 1 --dump-frames f --frames 100 >run.log 2>&1 ||
  fail "the unpacked show exited $?"
[ -f f/frame_00100.png ] || fail "the unpacked show wrote no frame"
echo "package $(basename "$deb") passes; Depends: $depends"
