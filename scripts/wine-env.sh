#!/usr/bin/env bash
# Wine for the Windows build's tests, made once per build folder:
#
#   source scripts/wine-env.sh BUILD_DIR
#
# sets WINEPREFIX to BUILD_DIR/wine/prefix (about 700 MB, created on first
# use in some seconds, never in the source tree), HOME to BUILD_DIR/wine/home
# whose .asoundrc makes ALSA's default device a null device (so waveOut finds
# a sound output on machines without a sound card), WINEDEBUG=-all, and sets
# the X11 driver's Managed=N (without a window manager, DestroyWindow would
# otherwise wait 2 s for one). Returns non-zero when wine is missing or the
# prefix cannot be made.
kv_wine_root=$(mkdir -p "${1:?usage: source scripts/wine-env.sh BUILD_DIR}/wine" && cd "$1/wine" && pwd)
export WINEPREFIX=$kv_wine_root/prefix
export HOME=$kv_wine_root/home
export WINEDEBUG=-all
# No Mono or Gecko download prompts: the show needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$HOME"
printf 'pcm.!default { type null }\nctl.!default { type null }\n' >"$HOME/.asoundrc"
command -v wine >/dev/null || { echo "wine-env: wine is not installed (scripts/install-deps.sh)" >&2; return 1; }
if [ ! -f "$WINEPREFIX/.kelvra-ready" ]; then
  # Made in a scratch folder and moved into place, so that two test runs that
  # start together never share a half-made prefix.
  kv_wine_tmp=$(mktemp -d "$kv_wine_root/prefix.XXXXXX")
  if WINEPREFIX=$kv_wine_tmp wine wineboot -i >/dev/null 2>&1 &&
     WINEPREFIX=$kv_wine_tmp wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 &&
     WINEPREFIX=$kv_wine_tmp wineserver -w; then
    touch "$kv_wine_tmp/.kelvra-ready"
    mv -T "$kv_wine_tmp" "$WINEPREFIX" 2>/dev/null || rm -rf "$kv_wine_tmp"
  else
    rm -rf "$kv_wine_tmp"
  fi
  [ -f "$WINEPREFIX/.kelvra-ready" ] || { echo "wine-env: could not make the Wine prefix $WINEPREFIX" >&2; return 1; }
fi
unset kv_wine_root kv_wine_tmp
