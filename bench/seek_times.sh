#!/usr/bin/env bash
# Seek times of the live show in a window (under its own Xvfb), with music
# through SDL's dummy audio driver, and what the snapshots hold for the whole
# show. The show prints one line per seek with --benchmark: from the key to
# the landing frame handed on, in wall and processor time.
#
#   bench/seek_times.sh [BUILD]      (default: build)
#
# 9 first (232 s: past every snapshot, the catch-up runs from the start),
# then 1 to 8 and Left twice (points already passed: from a snapshot), then
# Up to the end (the rest of the show caught up, so every snapshot is kept):
# the show then ends by itself, and its last line says what they take.
set -uo pipefail
BUILD=$(cd "${1:-build}" && pwd)
if [ "${SEEK_BENCH_INNER:-}" != 1 ]; then
  for tool in xvfb-run xdotool; do
    command -v "$tool" >/dev/null || { echo "seek_times: $tool is not installed" >&2; exit 1; }
  done
  SEEK_BENCH_INNER=1 exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" bash "$0" "$@"
fi
WORK=$(mktemp -d /tmp/nerith-seekbench.XXXXXX)
SHOW=0
trap '[ "$SHOW" != 0 ] && kill "$SHOW" 2>/dev/null; rm -rf "$WORK"' EXIT
landed() { grep -c "landed" "$WORK/show.log"; }
# The window is looked up again before every key.
key() {
  local win
  for _ in $(seq 100); do
    win=$(xdotool search --onlyvisible --class org.nerith.Nerith 2>/dev/null | head -1)
    [ -n "$win" ] && xdotool key --window "$win" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "seek_times: could not send $1" >&2
  cat "$WORK/show.log" >&2
  exit 1
}
# Sends a key and waits (2 minutes at most) for its seek to land.
seek() {
  local before
  before=$(landed)
  key "$1"
  for _ in $(seq 1200); do
    [ "$(landed)" -gt "$before" ] && { sleep 0.5; return 0; }
    sleep 0.1
  done
  echo "seek_times: $1 did not land" >&2
  cat "$WORK/show.log" >&2
  exit 1
}
for _ in $(seq 100); do
  xdotool getdisplaygeometry >/dev/null 2>&1 && break
  sleep 0.1
done
cd "$BUILD/bin"
HOME=$WORK SDL_AUDIODRIVER=dummy KELVRA_NO_MESSAGEBOX=1 \
  ./nerith --window --seed 1 --benchmark >"$WORK/show.log" 2>&1 &
SHOW=$!
sleep 2
for k in 9 1 2 3 4 5 6 7 8 Left Left Up; do seek "$k"; done
wait "$SHOW"
grep -E "landed|snapshots kept" "$WORK/show.log"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
