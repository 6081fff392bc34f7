#!/usr/bin/env bash
# The music under Wine:
#   - the show's MP3 decoded through Media Foundation (music_envelope.exe,
#     the engine's Windows decoder) is as long as the native decode within
#     30 ms, and its loudness envelope (RMS of 50 ms windows) correlates
#     with the native one at 0.99 or more;
#   - a live run with sound, through ALSA's null device, plays its last
#     seconds to the end of the show and ends by itself with exit status 0.
# Under a display of its own (xvfb-run -a: other runs may use Xvfb too).
if [ -z "${KV_INNER:-}" ]; then
  KV_INNER=1 exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi
source "$(dirname "$0")/common.sh" "$@"

mp3=$WORK/show/SND/Nerith.mp3
"$BUILD/tests/music_envelope" "$mp3" >"$WORK/native.txt" || fail "native decode"
wine "$BUILD/windows/tests/music_envelope.exe" "$(winepath -w "$mp3")" 2>"$WORK/mf.err" | tr -d '\r' >"$WORK/mf.txt"
[ -s "$WORK/mf.txt" ] || fail "Media Foundation decode: $(cat "$WORK/mf.err")"
python3 - "$WORK/native.txt" "$WORK/mf.txt" <<'PY' || fail "the Media Foundation decode differs from the native one"
import math, sys
def read(path):
    lines = open(path).read().split()
    return int(lines[1]), [float(v) for v in lines[2:]]
native_frames, a = read(sys.argv[1])
mf_frames, b = read(sys.argv[2])
off_ms = (mf_frames - native_frames) / 44.1
n = min(len(a), len(b))
a, b = a[:n], b[:n]
ma, mb = sum(a) / n, sum(b) / n
cov = sum((x - ma) * (y - mb) for x, y in zip(a, b))
r = cov / math.sqrt(sum((x - ma) ** 2 for x in a) * sum((y - mb) ** 2 for y in b))
print(f"Media Foundation: {mf_frames} frames, native {native_frames} ({off_ms:+.2f} ms); "
      f"envelope correlation {r:.6f} over {n} windows")
sys.exit(0 if abs(off_ms) <= 30 and r >= 0.99 else 1)
PY

export KELVRA_NO_MESSAGEBOX=1
# Scene 14 from 250 s: the frames before are drawn unseen at full speed, the
# music moved to 250 s, and the show ends at 257.84 s.
status=0
(cd "$WORK/show" && timeout 180 wine nerith.exe --window --seed 1 --start 250 --benchmark) >"$WORK/live.txt" 2>&1 ||
  status=$?
[ "$status" -eq 0 ] || fail "live run with music: exit status $status ($(cat "$WORK/live.txt"))"
grep -q "frames per second" "$WORK/live.txt" || fail "live run with music did not end by itself: $(cat "$WORK/live.txt")"
echo "live run with music from 250 s: ended by itself with exit status 0"
