#!/usr/bin/env bash
# The installed desktop entry and AppStream metainfo validate, and they agree
# with each other and with the installed icons and executable.
source "$(dirname "$0")/common.sh"
install_into "$WORK/p"
P="$WORK/p/share"
desktop="$P/applications/org.nerith.Nerith.desktop"
meta="$P/metainfo/org.nerith.Nerith.metainfo.xml"

desktop-file-validate "$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$meta" || fail "appstreamcli validate"

# Docks match the running window (class / app id org.nerith.Nerith) to the entry.
[ "$(sed -n 's/^StartupWMClass=//p' "$desktop")" = org.nerith.Nerith ] || fail "StartupWMClass is not org.nerith.Nerith"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$P/icons/hicolor/256x256/apps/$icon.png" ] || fail "Icon=$icon names no installed icon"
exe=$(sed -n '0,/^Exec=/s/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$WORK/p/bin/$exe" ] || fail "Exec=$exe is not the installed executable"
grep -qF "<launchable type=\"desktop-id\">org.nerith.Nerith.desktop</launchable>" "$meta" ||
  fail "the metainfo does not launch the installed desktop entry"
grep -qF "<id>org.nerith.Nerith</id>" "$meta" || fail "the metainfo id differs from the desktop id"
grep -qF "<project_license>MIT</project_license>" "$meta" || fail "the metainfo does not say MIT"
# A home page only when the build names one (NERITH_HOMEPAGE), screenshots with it.
homepage=$(sed -n 's/^NERITH_HOMEPAGE:[A-Z]*=//p' "$BUILD/CMakeCache.txt")
if [ -z "$homepage" ]; then
  grep -qE "<url|<screenshot" "$meta" && fail "the metainfo names a home page or screenshots though none was given"
else
  grep -qF "<url type=\"homepage\">$homepage</url>" "$meta" || fail "the metainfo lacks the home page $homepage"
fi
version=$("$WORK/p/bin/nerith" --version | awk '{print $2}')
grep -qF "<release version=\"$version\"" "$meta" || fail "no release $version in the metainfo"
echo "desktop entry and metainfo validate (release $version, icon $icon)"
