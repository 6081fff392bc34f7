# The part of common.sh that needs no package yet (for the build check).
set -euo pipefail
BUILD=$(cd "$1" && pwd)
SOURCE=$(cd "$2" && pwd)
WORK=$(mktemp -d "${TMPDIR:-/tmp}/kelvra-windows.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
trap '[[ $- != *e* ]] || echo "FAIL: ${BASH_SOURCE[0]##*/} line $LINENO: $BASH_COMMAND" >&2' ERR

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
