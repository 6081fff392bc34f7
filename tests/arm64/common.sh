# Shared by the 64-bit ARM checks: sourced with the build folder as $1 and
# the source folder as $2. Gives the install checks' scratch folder $WORK and
# fail, the native show $NATIVE, the ARM build folder $ARM and rgb_sum PNG
# (the MD5 of a picture's RGB bytes). The ARM programs run under a named
# qemu-aarch64-static: no binfmt_misc registration is assumed.
source "$(dirname "${BASH_SOURCE[0]}")/../install/common.sh" "$@"

NATIVE=$BUILD/bin/nerith
ARM=$BUILD/arm64
[ -x "$ARM/bin/nerith" ] || fail "no $ARM/bin/nerith (arm64.build makes it)"

rgb_sum() {
  convert "$1" rgb:- | md5sum | cut -d' ' -f1
}
