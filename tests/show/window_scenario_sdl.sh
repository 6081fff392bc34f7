#!/usr/bin/env bash
# The SDL window through the shared scenario (tests/common/window_scenario.sh)
# on Xvfb at 1920 x 1080, bare or under openbox, whose margins leave a
# 1920 x 980 work area as a panel would. Also: the window's class, icon and
# caption, and --window-scale 3 lowered to what fits, with a note.
# Usage: window_scenario_sdl.sh BUILD bare|openbox. Exit 77 (skipped) without
# the X tools or the generated assets.
set -uo pipefail
BUILD=$(cd "$1" && pwd)
MODE=${2:-bare}
if [ "${WS_INNER:-}" != 1 ]; then
  for tool in xvfb-run xdotool xprop xwininfo import python3 $([ "$MODE" = openbox ] && echo openbox); do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
  [ -d "$BUILD/bin/GFX" ] || { echo "SKIP: no generated assets in $BUILD/bin"; exit 77; }
  # -a alone starts every search at :99, and runs starting together can pick
  # the same server (then the window's clients cannot connect): a random start.
  WS_INNER=1 exec xvfb-run -a -n $((100 + RANDOM % 4000)) -s "-screen 0 1920x1080x24 -nolisten tcp" bash "$0" "$@"
fi
source "$(dirname "$0")/../common/window_scenario.sh"

WORK=$(mktemp -d /tmp/nerith-window.XXXXXX)
WM= WS_PID=
trap '{ [ -n "$WS_PID" ] && kill "$WS_PID"; [ -n "$WM" ] && kill "$WM"; } 2>/dev/null; rm -rf "$WORK"' EXIT
WS_FIND=(--class org.nerith.Nerith) WS_LOG=$WORK/show.log WS_SHOTS=$WORK/Pictures WS_TMP=$WORK
mkdir -p "$WS_SHOTS"
ws_on_fail() { xwininfo -root -tree | head -n 20 >&2; }
ws_await_server

if [ "$MODE" = openbox ]; then
  printf '<openbox_config xmlns="http://openbox.org/3.4/rc"><margins><top>100</top></margins></openbox_config>\n' \
    >"$WORK/rc.xml"
  # Under load openbox at times cannot open the display that xwininfo just
  # opened, and gives up: it is started again.
  start_wm() { HOME=$WORK openbox --config-file "$WORK/rc.xml" >"$WORK/openbox.log" 2>&1 & WM=$!; }
  start_wm
  ws_poll 20 eval 'kill -0 "$WM" 2>/dev/null || start_wm; [ "$(ws_workarea)" = "0 100 1920 980" ]' ||
    ws_fail "work area $(ws_workarea), not 1920x980+0+100; openbox: $(cat "$WORK/openbox.log")"
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
ws_poll 20 eval 'xprop -id "$(ws_window)" _NET_WM_ICON | head -n 1 | grep -q "Icon (64 x 64)"' || ws_fail "no 64 x 64 icon"
xprop -id "$(ws_window)" WM_NAME | grep -qF '"Tarnwick - Vastiel - 05/2001"' || ws_fail "the caption changed"
if [ "$MODE" = openbox ]; then ws_steps_switching maximized; else ws_steps_switching; fi
ws_step_escape_tap

start_show --window-scale 3
ws_step_open_size
grep -q -- "--window-scale 3 does not fit" "$WS_LOG" || ws_fail "no note on the lowered --window-scale"
ws_step_close
echo "SDL window ($MODE): every step of the scenario behaves"
