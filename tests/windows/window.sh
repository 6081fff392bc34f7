#!/usr/bin/env bash
# The Win32 window under Wine and Xvfb (1280 x 720, wider than 4:3):
#   - a framed window: a screenshot of its client area is one of the frames
#     the run presented (each also written by --dump-frames), and Escape ends
#     the run with exit status 0;
#   - full screen: the picture is letterboxed (black bars left and right,
#     the picture between them), and closing the window (Alt+F4, which
#     Windows turns into WM_CLOSE) ends the run with exit status 0.
# Both runs must also print --benchmark's closing line: under Wine the exit
# status alone does not prove that the program ended by itself.
# Under a display of its own (xvfb-run -a: other runs may use Xvfb too).
if [ -z "${KV_INNER:-}" ]; then
  KV_INNER=1 exec xvfb-run -a -s "-screen 0 1280x720x24" bash "$0" "$@"
fi
source "$(dirname "$0")/common.sh" "$@"

export KELVRA_NO_MESSAGEBOX=1
caption="Tarnwick - Vastiel - 05/2001"

# wait_window: the show's X window id, once it is mapped (up to 60 s).
wait_window() {
  local id
  for _ in $(seq 1 120); do
    id=$(xdotool search --onlyvisible --name "$caption" 2>/dev/null | head -n 1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    kill -0 "$run" 2>/dev/null || return 1
    sleep 0.5
  done
  return 1
}

# wait_end NAME: the run's exit status and its closing line.
wait_end() {
  local status=0
  for _ in $(seq 1 60); do
    kill -0 "$run" 2>/dev/null || break
    sleep 0.5
  done
  kill -0 "$run" 2>/dev/null && { kill "$run"; fail "$1: the show did not end"; }
  wait "$run" || status=$?
  [ "$status" -eq 0 ] || fail "$1: exit status $status ($(cat "$WORK/run.txt"))"
  grep -q "frames per second" "$WORK/run.txt" || fail "$1: no closing line: $(cat "$WORK/run.txt")"
}

# --- a framed window, ended by Escape ------------------------------------
(cd "$WORK/show" && exec wine nerith.exe --window --no-music --seed 1 --benchmark --dump-frames framed) \
  >"$WORK/run.txt" 2>&1 &
run=$!
wid=$(wait_window) || fail "framed: no window appeared ($(cat "$WORK/run.txt"))"
sleep 3
eval "$(xdotool getwindowgeometry --shell "$wid")"
# Three screenshots half a second apart: one taken while Wine is still
# putting a frame on the screen (in bands) shows parts of two frames.
for shot in 1 2 3; do
  import -window root "$WORK/framed$shot.png"
  sleep 0.5
done
xdotool key --window "$wid" Escape
wait_end framed

# The client area: the window's frame is as wide left, right and below.
border=$(( (WIDTH - 640) / 2 ))
top=$(( HEIGHT - 480 - border ))
[ "$border" -ge 0 ] && [ "$top" -ge 0 ] || fail "framed: window of $WIDTH x $HEIGHT cannot hold a 640 x 480 client area"
sums=$(for f in "$WORK"/show/framed/frame_*.png; do echo "$(rgb_sum "$f") ${f##*/}"; done)
found=
for shot in 1 2 3; do
  sum=$(convert "$WORK/framed$shot.png" -crop "640x480+$((X + border))+$((Y + top))" +repage rgb:- | md5sum | cut -d' ' -f1)
  found=$(grep "^$sum " <<<"$sums" | head -n 1 | cut -d' ' -f2 || true)
  [ -n "$found" ] && break
done
[ -n "$found" ] || fail "framed: none of three screenshots shows one of the $(wc -l <<<"$sums") presented frames"
echo "framed: the window showed $found exactly; Escape ended the run with exit status 0"

# --- full screen, closed ---------------------------------------------------
(cd "$WORK/show" && exec wine nerith.exe --no-music --seed 1 --benchmark) >"$WORK/run.txt" 2>&1 &
run=$!
wid=$(wait_window) || fail "full screen: no window appeared ($(cat "$WORK/run.txt"))"
sleep 3
import -window root "$WORK/full.png"
xdotool key --window "$wid" alt+F4
wait_end "full screen"

# 4:3 in 1280 x 720: 960 x 720 from x = 160.
bars=$(convert "$WORK/full.png" \( -clone 0 -crop 160x720+0+0 \) \( -clone 0 -crop 160x720+1120+0 \) -delete 0 \
  +append -format '%[fx:maxima.r+maxima.g+maxima.b]' info:)
[ "$bars" = 0 ] || fail "full screen: the bars are not black"
picture=$(convert "$WORK/full.png" -crop 960x720+160+0 -format '%[fx:maxima.r+maxima.g+maxima.b]' info:)
[ "$picture" != 0 ] || fail "full screen: the picture area is black"
echo "full screen: picture in 960 x 720 between black bars; closing the window ended the run with exit status 0"
