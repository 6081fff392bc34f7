#!/usr/bin/env bash
# The show's window under a bare X server (xvfb-run -a, 1920 x 1080, no
# window manager), driven with xdotool and looked at with ImageMagick:
#   - it opens at 2 x 640 x 480, the largest multiple that fits, with the
#     class org.nerith.Nerith, the generated icon and the show's caption;
#   - F11 and Alt+Enter switch to full screen and back while it runs; full
#     screen shows the frame at 1440 x 1080 between bars;
#   - resized to 1600 x 900 the frame is 1200 x 900 between bars, not
#     stretched;
#   - Space pauses (the window's picture stops changing) and resumes;
#   - an Escape tapped for 1 ms between two frames ends the show.
# Usage: viewer_window.sh BUILD. Exit 77 (skipped) without the X tools.
set -uo pipefail
BUILD=$1
if [ "${VIEWER_INNER:-}" != 1 ]; then
  for tool in xvfb-run xdotool import convert; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
  [ -d "$BUILD/bin/GFX" ] || { echo "SKIP: no generated assets in $BUILD/bin"; exit 77; }
  VIEWER_INNER=1 exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" bash "$0" "$@"
fi

WORK=$(mktemp -d /tmp/nerith-viewer.XXXXXX)
SHOW=0
finish() {
  [ "$SHOW" != 0 ] && kill "$SHOW" 2>/dev/null
  rm -rf "$WORK"
}
trap finish EXIT
fail() {
  echo "FAIL: $*" >&2
  echo "--- the show's output:" >&2
  cat "$WORK/show.log" >&2
  exit 1
}
geometry() { xdotool getwindowgeometry "$WIN" | sed -n 's/ *Geometry: //p'; }
# The bounding box of the pixels that are not black: W H X Y.
lit_box() { convert "$1" -fuzz 0 -format '%@' info: | sed 's/[x+]/ /g'; }
# Fails unless the lit pixels of $1 lie inside the rectangle X0 Y0 X1 Y1 and
# span at least Min of its width: the frame, shape kept, bars black.
expect_inside() {
  local shot=$1 x0=$2 y0=$3 x1=$4 y1=$5 min=$6
  read -r w h x y < <(lit_box "$shot")
  [ "$x" -ge "$x0" ] && [ "$y" -ge "$y0" ] && [ $((x + w)) -le "$x1" ] && [ $((y + h)) -le "$y1" ] ||
    fail "$shot: lit area ${w}x${h}+${x}+${y} is not inside the 4:3 picture $x0,$y0-$x1,$y1"
  [ "$w" -ge "$min" ] || fail "$shot: lit area only $w pixels wide (picture $((x1 - x0)))"
}
# Waits up to 15 s (a loaded machine draws frames late, and keys are read
# once a frame) for the window's size to become $1.
await_geometry() {
  for _ in $(seq 150); do
    [ "$(geometry 2>/dev/null)" = "$1" ] && return 0
    sleep 0.1
  done
  return 1
}

cd "$WORK"
SDL_AUDIODRIVER=dummy KELVRA_NO_MESSAGEBOX=1 "$BUILD/bin/nerith" --window --no-music >show.log 2>&1 &
SHOW=$!
WIN=
for _ in $(seq 100); do
  WIN=$(xdotool search --class org.nerith.Nerith 2>/dev/null | head -1)
  [ -n "$WIN" ] && break
  sleep 0.1
done
[ -n "$WIN" ] || fail "no window of class org.nerith.Nerith"
sleep 3  # the opening scroll is on screen

await_geometry 1280x960 || fail "the window opened at $(geometry), not 1280x960"
# Its icon is the generated one; the caption is the show's own.
if command -v xprop >/dev/null; then
  icon=
  for _ in $(seq 50); do
    xprop -id "$WIN" _NET_WM_ICON | head -1 | grep -q 'Icon (64 x 64)' && icon=1 && break
    sleep 0.1
  done
  [ -n "$icon" ] || fail "the window has no 64 x 64 icon"
  xprop -id "$WIN" WM_NAME | grep -qF '"Tarnwick - Vastiel - 05/2001"' || fail "the caption changed"
fi

xdotool key --window "$WIN" F11
await_geometry 1920x1080 || fail "F11: the window is $(geometry), not the whole screen"
sleep 0.5
import -window root full.png || fail "no screenshot"
expect_inside full.png 240 0 1680 1080 1100

xdotool key --window "$WIN" F11
await_geometry 1280x960 || fail "F11 again: the window is $(geometry), not 1280x960 again"

xdotool key --window "$WIN" alt+Return
await_geometry 1920x1080 || fail "Alt+Enter: the window is $(geometry), not the whole screen"
xdotool key --window "$WIN" alt+Return
await_geometry 1280x960 || fail "Alt+Enter again: the window is $(geometry)"

xdotool windowsize "$WIN" 1600 900
await_geometry 1600x900 || fail "the window was not resized to 1600x900"
sleep 0.5
import -window "$WIN" resized.png || fail "no screenshot of the window"
[ "$(identify -format '%wx%h' resized.png)" = 1600x900 ] || fail "the window was not resized to 1600x900"
expect_inside resized.png 200 0 1400 900 900

kill -0 "$SHOW" 2>/dev/null || fail "the show ended while switching"

# Paused, two looks half a second apart see the same picture; resumed, not.
xdotool key --window "$WIN" space
sleep 0.5
import -window "$WIN" paused1.png
sleep 0.6
import -window "$WIN" paused2.png
[ "$(compare -metric AE paused1.png paused2.png null: 2>&1)" = 0 ] || fail "the picture moved while paused"
xdotool key --window "$WIN" p
moved=
for _ in $(seq 10); do
  sleep 0.5
  import -window "$WIN" resumed.png
  [ "$(compare -metric AE paused2.png resumed.png null: 2>&1)" != 0 ] && moved=1 && break
done
[ -n "$moved" ] || fail "the picture did not move on after P"

# Down and up again a millisecond later: between two frames. (Before key
# presses were latched, four taps of four were missed.)
xdotool key --delay 1 --window "$WIN" Escape
for _ in $(seq 30); do
  kill -0 "$SHOW" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$SHOW" 2>/dev/null && fail "a 1 ms Escape tap did not end the show"
wait "$SHOW"
status=$?
SHOW=0
[ "$status" = 0 ] || fail "the show ended with status $status"
echo "window, full screen, resize, pause and the Escape tap behave"
