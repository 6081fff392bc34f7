#!/usr/bin/env bash
# A seek in the show's window under a bare X server: started at 60 s and
# paused, Down moves the show 1 minute back (before its --start), and F12 then
# saves exactly the frame the offline run draws at the time the file is
# named for (a multiple of 40 ms: a landing, not a live frame); the window
# shows that frame too, under the seek bar, and plays on from it.
# Usage: seek_window.sh BUILD. Exit 77 (skipped) without the X tools.
set -uo pipefail
BUILD=$(cd "$1" && pwd)
if [ "${SEEK_INNER:-}" != 1 ]; then
  for tool in xvfb-run xdotool import convert compare; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
  [ -d "$BUILD/bin/GFX" ] || { echo "SKIP: no generated assets in $BUILD/bin"; exit 77; }
  # A random first display: runs starting together may pick the same one.
  SEEK_INNER=1 exec xvfb-run -a -n $((100 + RANDOM % 4000)) -s "-screen 0 1920x1080x24 -nolisten tcp" bash "$0" "$@"
fi

source "$(dirname "$0")/../common/window_scenario.sh"  # ws_poll
WORK=$(mktemp -d /tmp/nerith-seek.XXXXXX)
SHOW=0
finish() {
  [ "$SHOW" != 0 ] && kill "$SHOW" 2>/dev/null
  rm -rf "$WORK"
}
trap finish EXIT
fail() {
  echo "FAIL: $*" >&2
  [ "$SHOW" != 0 ] && ! kill -0 "$SHOW" 2>/dev/null && { wait "$SHOW"; echo "the show ended with status $?" >&2; }
  cat "$WORK/show.log" >&2
  exit 1
}
# The window is looked up again before every key, and the key sent again
# when the id went stale before it arrived.
key() {
  ws_poll 60 send_key "$1" && return 0
  kill -0 "$SHOW" 2>/dev/null && echo "show alive; windows: $(xdotool search --class org.nerith.Nerith 2>&1)" >&2
  fail "could not send $1 to the window"
}

send_key() {
  local win
  win=$(xdotool search --onlyvisible --class org.nerith.Nerith 2>/dev/null | head -1)
  [ -n "$win" ] && xdotool key --window "$win" "$1" 2>/dev/null
}
saved() { shot=$(ls nerith-*.png 2>/dev/null | head -1) && [ -n "$shot" ]; }

# The server answers before the show opens its window.
ws_poll 20 eval 'xdotool getdisplaygeometry >/dev/null 2>&1'
cd "$WORK"
# Under load a new X server at times refuses a client just after it answered
# another (as openbox in the window scenario): a show that ended for want of
# a display before its window came is started again.
for attempt in 1 2 3; do
  HOME=$WORK XDG_PICTURES_DIR=$WORK SDL_AUDIODRIVER=dummy KELVRA_NO_MESSAGEBOX=1 \
    "$BUILD/bin/nerith" --window --no-music --seed 1 --start 60 >show.log 2>&1 &
  SHOW=$!
  ws_poll 60 eval 'xdotool search --onlyvisible --class org.nerith.Nerith >/dev/null 2>&1 ||
    ! kill -0 "$SHOW" 2>/dev/null'
  kill -0 "$SHOW" 2>/dev/null || ! grep -q "No display available" show.log || [ $attempt = 3 ] && break
  wait "$SHOW"
  echo "the X server refused the show (attempt $attempt): started again"
done
key space
key Down
# F12 saves only once the landing frame is on screen: ask until it does.
shot=
for _ in $(seq 20); do
  key F12
  ws_poll 2 saved && break
done
[ -n "$shot" ] || fail "F12 saved nothing after the seek"
ms=$(echo "$shot" | sed -E 's/nerith-([0-9]+)\.([0-9]{3})\.png/\1\2/' | sed -E 's/^0+([0-9])/\1/')
[ "$ms" -lt 5000 ] && [ $((ms % 40)) = 0 ] || fail "$shot is not a landing a minute before the start"

"$BUILD/bin/nerith" --headless --seed 1 --quiet --dump-frames offline --frames $((ms / 40)) >>show.log 2>&1 ||
  fail "the offline run failed"
diff=$(compare -metric AE "$shot" "offline/frame_$(printf %05d $((ms / 40))).png" null: 2>&1)
[ "$diff" = 0 ] || fail "$shot differs from the offline frame in $diff pixels"
# On screen (2 x 640 x 480, nearest neighbour): the same frame above the bar.
win=$(xdotool search --onlyvisible --class org.nerith.Nerith 2>/dev/null | head -1)
timeout 20 import -window "$win" window.png || fail "no screenshot of the window"
convert window.png -sample 640x480 -crop 640x400+0+0 +repage shown.png
convert "offline/frame_$(printf %05d $((ms / 40))).png" -crop 640x400+0+0 +repage expected.png
diff=$(compare -metric AE shown.png expected.png null: 2>&1)
[ "$diff" = 0 ] || fail "the window does not show the landing frame ($diff pixels differ)"

# Resumed, the show plays on from there: frames before --start are shown
# too (two looks 0.6 s apart differ).
key space
moving() {
  timeout 20 import -window "$win" -crop 1280x800+0+0 a.png && sleep 0.6 &&
    timeout 20 import -window "$win" -crop 1280x800+0+0 b.png &&
    [ "$(compare -metric AE a.png b.png null: 2>&1)" != 0 ]
}
ws_poll 20 moving || fail "after the resume the picture stood still"

# The show may end before xdotool hears back from the window: no retry.
win=$(xdotool search --onlyvisible --class org.nerith.Nerith 2>/dev/null | head -1)
[ -n "$win" ] || fail "the window went away"
xdotool key --window "$win" Escape 2>/dev/null
ws_poll 20 eval '! kill -0 "$SHOW" 2>/dev/null' || fail "Escape did not end the show"
wait "$SHOW"
status=$?
SHOW=0
[ "$status" = 0 ] || fail "the show ended with status $status"
echo "paused, Down and F12 saved and showed the offline frame at ${ms} ms"
