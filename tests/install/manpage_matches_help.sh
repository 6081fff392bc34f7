#!/usr/bin/env bash
# The manual page and `nerith --help` name the same options: an option added
# to one and not the other fails here, in either direction. The page names
# the program's version too.
source "$(dirname "$0")/common.sh"
options_in() { grep -oE -- '--[a-z][a-z0-9-]*' | sort -u; }

"$BUILD/bin/nerith" --help | options_in >"$WORK/help"
# roff writes a minus as \- ; lines starting .\" are comments.
grep -v '^\.\\"' "$SOURCE/packaging/nerith.6" | sed 's/\\-/-/g' | options_in >"$WORK/man"

[ -s "$WORK/help" ] || fail "no options found in --help"
if ! diff "$WORK/help" "$WORK/man" >"$WORK/diff"; then
  sed -n 's/^< /only in --help: /p; s/^> /only in the manual page: /p' "$WORK/diff" >&2
  fail "the manual page and --help list different options"
fi
# The page's title names the version the program reports.
version=$("$BUILD/bin/nerith" --version | awk '{print $2}')
grep -q "^\.TH NERITH 6 .* \"Nerith $version\"" "$SOURCE/packaging/nerith.6" ||
  fail "the manual page's title does not name version $version"
echo "manual page and --help agree on $(wc -l <"$WORK/help") options"
