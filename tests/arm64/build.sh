#!/usr/bin/env bash
# scripts/build-arm64.sh, and the show it makes: aarch64, starting under qemu.
source "$(dirname "$0")/../install/common.sh" "$@"

"$SOURCE/scripts/build-arm64.sh" "$BUILD" >"$WORK/build.log" 2>&1 || {
  tail -n 30 "$WORK/build.log" >&2
  fail "scripts/build-arm64.sh"
}
show=$BUILD/arm64/bin/nerith
machine=$(readelf -h "$show" | awk -F: '/Machine:/ {gsub(/^ +/, "", $2); print $2}')
[ "$machine" = AArch64 ] || fail "arm64/bin/nerith is for \"$machine\", not AArch64"
version=$(qemu-aarch64-static "$show" --version) || fail "the show does not start under qemu"
[ "$version" = "$("$BUILD/bin/nerith" --version)" ] || fail "under qemu: \"$version\", natively another version"
echo "arm64/bin/nerith: Machine: $machine; $version under qemu"
