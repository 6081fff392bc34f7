#!/usr/bin/env bash
# The Win32 window under Wine through the shared scenario (tests/common/
# window_scenario.sh), on Xvfb at 1920 x 1080 under openbox, whose top margin
# leaves a 1920 x 1040 work area as a taskbar would:
#   - it opens at the largest whole multiple that fits the work area with its
#     frame, under the show's caption;
#   - Space pauses, F12 writes the frame on screen into the Pictures known
#     folder, Space resumes;
#   - resized to 1600 x 900 and 700 x 300 the picture stays 4:3 between bars;
#   - F11 and Alt+Enter go to full screen and back to the same place and
#     size, from a maximised window too;
#   - the pointer hides after 2 s without motion over the window;
#   - a 1 ms Escape tap ends a run, closing the window another, both with
#     exit status 0 and --benchmark's closing line (under Wine the status
#     alone does not prove that the program ended by itself).
# A window manager is needed: Wine's unmanaged windows (the prefix's
# default, for the checks without one) take no size from outside, so here
# nerith.exe's windows are managed, for this check only.
if [ -z "${KV_INNER:-}" ]; then
  KV_INNER=1 exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" bash "$0" "$@"
fi
source "$(dirname "$0")/common.sh" "$@"
source "$SOURCE/tests/common/window_scenario.sh"
set +e  # as on Linux: the scenario's steps say themselves what failed
for tool in openbox xdotool xprop xwininfo import convert compare; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/install-deps.sh)"
done

export KELVRA_NO_MESSAGEBOX=1
WS_FIND=(--onlyvisible --name "^Tarnwick - Vastiel - 05/2001$")
# Wine places the client 20 px (openbox's title bar) above where the Win32
# side centred its own frame, which the program cannot see: the opening
# place is checked on Linux only.
WS_CENTRED=0
WS_LOG=$WORK/show.log
WS_SHOTS=$WORK/Pictures
WS_TMP=$WORK/shots
mkdir -p "$WS_SHOTS" "$WS_TMP"

app_key='HKCU\Software\Wine\AppDefaults\nerith.exe\X11 Driver'
folders_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders'
old_pictures=$(wine reg query "$folders_key" /v "My Pictures" 2>/dev/null | tr -d '\r' |
  sed -n 's/^ *My Pictures *REG_EXPAND_SZ *//p')
WM=
ws_on_fail() { :; }
finish() {
  set +e  # the clean-up's own failures (a show or openbox already gone) change no result
  [ -n "${WS_PID:-}" ] && kill "$WS_PID" 2>/dev/null
  wine reg delete 'HKCU\Software\Wine\AppDefaults\nerith.exe' /f >/dev/null 2>&1
  [ -n "$old_pictures" ] && wine reg add "$folders_key" /v "My Pictures" /t REG_EXPAND_SZ /d "$old_pictures" /f \
    >/dev/null 2>&1
  { wineserver -k; wineserver -w; } 2>/dev/null
  [ -n "$WM" ] && kill "$WM" 2>/dev/null && wait "$WM" 2>/dev/null
  rm -rf "$WORK"
}
trap finish EXIT
wine reg add "$app_key" /v Managed /d Y /f >/dev/null 2>&1 || fail "could not make nerith.exe's windows managed"
wine reg add "$folders_key" /v "My Pictures" /t REG_EXPAND_SZ /d "$(winepath -w "$WS_SHOTS")" /f >/dev/null 2>&1 ||
  fail "could not set the Pictures folder"

cat >"$WORK/rc.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <margins><top>40</top><bottom>0</bottom><left>0</left><right>0</right></margins>
  <placement><policy>Smart</policy></placement>
</openbox_config>
XML
ws_await_server
HOME=$WORK openbox --config-file "$WORK/rc.xml" >"$WORK/openbox.log" 2>&1 &
WM=$!
ws_poll 20 ws_has_wm || ws_fail "openbox did not start: $(cat "$WORK/openbox.log")"
ws_poll 20 eval '[ "$(ws_workarea)" = "0 40 1920 1040" ]' || ws_fail "work area $(ws_workarea), not 1920x1040+0+40"

start_show() {
  (cd "$WORK/show" && exec wine nerith.exe --window --no-music --benchmark "$@") >"$WS_LOG" 2>&1 &
  ws_started $!
}
ended_by_itself() {
  tr -d '\r' <"$WS_LOG" | grep -q "frames per second" || ws_fail "$1: the show did not end by itself"
}

start_show
ws_step_open_size
ws_steps_switching maximized
ws_alive || ws_fail "the show ended on its own"
ws_step_escape_tap
ended_by_itself Escape

start_show
ws_step_close
ended_by_itself "the close box"

# --window-scale 1 --integer-scale: 640 x 480, and in 1600 x 900 the frame
# once (the largest whole multiple that fits), centred.
start_show --window-scale 1 --integer-scale
ws_poll 20 ws_size_is 640 480 || ws_fail "--window-scale 1 opened at $(ws_size)"
xdotool windowsize "$(ws_window)" 1600 900
ws_poll 20 ws_size_is 1600 900 || ws_fail "not resized to 1600 x 900: $(ws_size)"
# The lit pixels lie in the 640 x 480 at 480,210 and span most of its width.
ws_whole_once() {
  local w h x y
  ws_shot "$WORK/shots/integer.png" || return 1
  read -r w h x y < <(convert "$WORK/shots/integer.png" -fuzz 0 -format '%@' info: | sed 's/[x+]/ /g')
  [ "$x" -ge 479 ] && [ "$y" -ge 209 ] && [ $((x + w)) -le 1121 ] && [ $((y + h)) -le 691 ] && [ $((w * 4)) -ge 1920 ]
}
ws_poll 20 ws_whole_once ||
  ws_fail "--integer-scale in 1600 x 900: the lit area is not within 640 x 480 at 480,210"
echo "--window-scale 1 --integer-scale: 640 x 480; in 1600 x 900 the frame once, centred"
ws_step_close
echo "Win32 window under Wine: every step of the scenario behaves"
