# Shared by the install checks: sourced with the build folder as $1 and the
# source folder as $2. Gives a scratch folder $WORK (removed at exit), fail,
# and install_into PREFIX.
set -euo pipefail
BUILD=$(cd "$1" && pwd)
SOURCE=$(cd "$2" && pwd)
WORK=$(mktemp -d "${TMPDIR:-/tmp}/kelvra-install.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
# A failing command stops the check; say which.
# (Not where set +e lets a command fail on purpose.)
trap '[[ $- != *e* ]] || echo "FAIL: ${BASH_SOURCE[0]##*/} line $LINENO: $BASH_COMMAND" >&2' ERR

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

install_into() {
  cmake --install "$BUILD" --prefix "$1" >"$WORK/install.log" 2>&1 || {
    cat "$WORK/install.log" >&2
    fail "cmake --install into $1"
  }
}
