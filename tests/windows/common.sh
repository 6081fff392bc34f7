# Shared by the Windows checks: sourced with the build folder as $1 and the
# source folder as $2. Gives a scratch folder $WORK (removed at exit) holding
# a copy of the unzipped package in $WORK/show, Wine set up for the build
# folder (scripts/wine-env.sh), fail, and rgb_sum PNG (the MD5 of a picture's
# RGB bytes, whatever wrote the file).
source "$(dirname "${BASH_SOURCE[0]}")/common_build.sh" "$@"

NATIVE=$BUILD/bin/nerith
PACKAGE=$(ls -d "$BUILD"/windows/package/nerith-*-win64 2>/dev/null | head -n 1)
[ -n "$PACKAGE" ] && [ -f "$PACKAGE/nerith.exe" ] || fail "no Windows package in $BUILD/windows (windows.build makes it)"
cp -r "$PACKAGE" "$WORK/show"
# Wine's own HOME and prefix; the test's HOME is not touched.
source "$SOURCE/scripts/wine-env.sh" "$BUILD" || fail "Wine could not be set up"
# Wine's processes end with the check (and before its Xvfb does); the next
# check starts a server of its own, on its own display.
trap '{ wineserver -k; wineserver -w; } 2>/dev/null || true; rm -rf "$WORK"' EXIT

rgb_sum() {
  convert "$1" rgb:- | md5sum | cut -d' ' -f1
}
