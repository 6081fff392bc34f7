#!/usr/bin/env bash
# The show's SDL window through the shared scenario (tests/common/
# window_scenario.sh) on Xvfb at 1920 x 1080, bare or under openbox (whose
# margins leave a 1920 x 980 work area, as a panel would):
#   - it opens at the largest whole multiple that fits the work area with its
#     frame, with the class org.nerith.Nerith, the generated icon and the
#     show's caption;
#   - Space pauses, F12 writes the frame on screen into $XDG_PICTURES_DIR,
#     Space resumes;
#   - resized to 1600 x 900 and 700 x 300 the picture stays 4:3 between bars;
#   - F11 and Alt+Enter go to full screen and back to the same place and size,
#     under openbox from a maximised window too;
#   - the pointer hides over the window after 2 s without motion;
#   - a 1 ms Escape tap ends a run, closing the window another, both with 0;
#   - --window-scale 3 opens a window, lowered to what fits, with a note.
# Usage: window_scenario_sdl.sh BUILD bare|openbox. Exit 77 (skipped) without
# the X tools or the generated assets.
set -uo pipefail
BUILD=$(cd "$1" && pwd)
MODE=${2:-bare}
if [ "${WS_INNER:-}" != 1 ]; then
  tools="xvfb-run xdotool xprop xwininfo import convert compare python3"
  [ "$MODE" = openbox ] && tools="$tools openbox"
  for tool in $tools; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
  [ -d "$BUILD/bin/GFX" ] || { echo "SKIP: no generated assets in $BUILD/bin"; exit 77; }
  WS_INNER=1 exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" bash "$0" "$@"
fi
source "$(dirname "$0")/../common/window_scenario.sh"

WORK=$(mktemp -d /tmp/nerith-window.XXXXXX)
WM=
WS_PID=
finish() {
  [ -n "$WS_PID" ] && kill "$WS_PID" 2>/dev/null
  [ -n "$WM" ] && kill "$WM" 2>/dev/null && wait "$WM" 2>/dev/null
  rm -rf "$WORK"
}
trap finish EXIT
WS_FIND=(--class org.nerith.Nerith)
ws_on_fail() {
  echo "--- DISPLAY=$DISPLAY; the X server's windows:" >&2
  xwininfo -root -tree 2>&1 | grep -v '^ *$' | head -n 20 >&2
  [ -n "$WS_PID" ] && ps -o pid,stat,wchan:20,etime,args -p "$WS_PID" >&2
}
WS_LOG=$WORK/show.log
WS_SHOTS=$WORK/Pictures
mkdir -p "$WS_SHOTS" "$WORK/shots"

if [ "$MODE" = openbox ]; then
  # No panel on Xvfb: margins make the same work area one would.
  cat >"$WORK/rc.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <margins><top>100</top><bottom>0</bottom><left>0</left><right>0</right></margins>
  <placement><policy>Smart</policy></placement>
</openbox_config>
XML
  HOME=$WORK openbox --config-file "$WORK/rc.xml" >"$WORK/openbox.log" 2>&1 &
  WM=$!
  ws_poll 20 ws_has_wm || ws_fail "openbox did not start: $(cat "$WORK/openbox.log")"
  ws_poll 20 eval '[ "$(ws_workarea)" = "0 100 1920 980" ]' || ws_fail "work area $(ws_workarea), not 1920x980+0+100"
fi

# start_show [OPTION...]: --window unless options are given.
start_show() {
  [ $# = 0 ] && set -- --window
  (cd "$WORK" && SDL_AUDIODRIVER=dummy KELVRA_NO_MESSAGEBOX=1 XDG_PICTURES_DIR="$WS_SHOTS" \
    exec "$BUILD/bin/nerith" "$@" --no-music) >"$WS_LOG" 2>&1 &
  ws_started $!
}

start_show
ws_step_open_size
# Its icon is the generated one; the caption is the show's own.
ws_icon() { xprop -id "$(ws_window)" _NET_WM_ICON 2>/dev/null | head -n 1 | grep -q 'Icon (64 x 64)'; }
ws_poll 20 ws_icon || ws_fail "the window has no 64 x 64 icon"
xprop -id "$(ws_window)" WM_NAME | grep -qF '"Tarnwick - Vastiel - 05/2001"' || ws_fail "the caption changed"

ws_step_pause_and_shot "$WORK/shots"
ws_step_fullscreen "$WORK/shots" F11
ws_step_fullscreen "$WORK/shots" alt+Return
ws_step_resize "$WORK/shots" 1600 900
ws_step_fullscreen "$WORK/shots" F11
ws_step_resize "$WORK/shots" 700 300
ws_step_fullscreen "$WORK/shots" alt+Return
if [ "$MODE" = openbox ]; then
  ws_step_maximized_fullscreen "$WORK/shots" F11
  ws_step_maximized_fullscreen "$WORK/shots" alt+Return
fi
ws_step_idle_cursor
ws_alive || ws_fail "the show ended on its own"
ws_step_escape_tap

# Three times 640 x 480 is more than the work area: lowered, with a note,
# and a window without --window.
start_show --window-scale 3
ws_step_open_size
grep -q -- "--window-scale 3 does not fit" "$WS_LOG" || ws_fail "no note on the lowered --window-scale"
ws_step_close
echo "SDL window ($MODE): every step of the scenario behaves"
