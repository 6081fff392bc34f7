#!/usr/bin/env bash
# The arm64 .deb that scripts/build-arm64.sh made with cpack -G DEB: it is
# for arm64, its Depends (dpkg-shlibdeps) name the package of every arm64
# library the show needs, lintian finds no error, and unpacked into a
# scratch root it plays offline under qemu, drawing the native frame.
source "$(dirname "$0")/common.sh" "$@"

version=$("$NATIVE" --version | awk '{print $2}')
deb=$ARM/nerith_${version}_arm64.deb
[ -f "$deb" ] || fail "no $deb"
[ "$(dpkg-deb -f "$deb" Architecture)" = arm64 ] || fail "the package's architecture is $(dpkg-deb -f "$deb" Architecture)"
depends=$(dpkg-deb -f "$deb" Depends)

needed=$(aarch64-linux-gnu-objdump -p "$ARM/bin/nerith" | awk '/NEEDED/ {print $2}')
[ -n "$needed" ] || fail "no NEEDED entries in the aarch64 show"
for soname in $needed; do
  # dpkg knows the C library's files under /lib (merged /usr), the rest under /usr/lib.
  owner=$(dpkg -S "/usr/lib/aarch64-linux-gnu/$soname" 2>/dev/null || dpkg -S "/lib/aarch64-linux-gnu/$soname") ||
    fail "no arm64 package holds $soname"
  pkg=${owner%%:*}
  case ", $depends" in *", $pkg "* | *", $pkg,"* | *", $pkg") ;;
  *) fail "Depends lacks $pkg (for $soname): $depends" ;;
  esac
done

lintian --fail-on error "$deb" >"$WORK/lintian.log" 2>&1 || {
  cat "$WORK/lintian.log" >&2
  fail "lintian reports errors"
}
grep -v "root privileges" "$WORK/lintian.log" | sed "s/^/lintian: /" || true

dpkg-deb -x "$deb" "$WORK/root"
mkdir "$WORK/run" && cd "$WORK/run"
qemu-aarch64-static "$WORK/root/usr/games/nerith" --headless --seed 1 --dump-frames f --frames 100 >run.log 2>&1 ||
  fail "the unpacked show exited $? under qemu: $(tail -n 3 run.log)"
"$NATIVE" --headless --seed 1 --dump-frames native --frames 100 --quiet || fail "the native run"
[ -f f/frame_00100.png ] || fail "the unpacked show wrote no frame"
[ "$(rgb_sum f/frame_00100.png)" = "$(rgb_sum native/frame_00100.png)" ] ||
  fail "the unpacked show's frame 100 differs from the native one"
echo "package $(basename "$deb") passes; Depends: $depends"
