#!/usr/bin/env bash
# The picture against the music as heard, live under Wine: the exe plays
# into our test sound card (tests/windows/tools/AlsaTestDevice.cpp), 0.1 %
# fast with a 200 ms stall 5 s into the music; from 240 s, 17 s of music to
# the show's end. Every second of music, the frame on screen and the music
# heard must agree within 20 ms (bench/wine_av.py measures).
set -euo pipefail
BUILD=$(cd "$1" && pwd)
SOURCE=$(cd "$2" && pwd)
[ -f "$BUILD/tests/libasound_module_pcm_kvtest.so" ] || { echo "FAIL: no test sound card (ALSA's headers missing?)" >&2; exit 1; }
exec python3 "$SOURCE/bench/wine_av.py" --rate 1.001 --stall-at 5 --start 240 --limit 20 --least 12 "$BUILD" "$SOURCE"
