#!/usr/bin/env bash
# Folders under Wine: the show unzipped into a folder with a Japanese and an
# accented name and started from another folder (as a shortcut does)
#   - finds its pack and draws frame 1200 (the logo) as natively, dumped
#     into another such folder with --dump-frames;
#   - plays --music from a third such folder to the end, exit status 0;
#   - without its pack, names that folder in its error line;
#   - where the current folder cannot take KVR_ERR.txt, writes it to
#     %LOCALAPPDATA%\Nerith\ instead.
# Under a display of its own (xvfb-run -a: other runs may use Xvfb too).
if [ -z "${KV_INNER:-}" ]; then
  KV_INNER=1 exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi
source "$(dirname "$0")/common.sh" "$@"
export KELVRA_NO_MESSAGEBOX=1

show="$WORK/ショー Ünïcode"
mv "$WORK/show" "$show"
mkdir -p "$WORK/elsewhere"
cd "$WORK/elsewhere" || fail "no scratch folder"

# crlf_free FILE: the file's text without Windows' CR and the host's ALSA lines.
crlf_free() { tr -d '\r' <"$1" | { grep -v '^ALSA lib ' || true; }; }

frames="$WORK/fr ö 日本"
"$NATIVE" --headless --seed 1 --dump-frames "$WORK/native" --frames 1200 --quiet || fail "the native offline run"
wine "$show/nerith.exe" --headless --seed 1 --dump-frames "$(winepath -w "$frames")" --frames 1200 --quiet \
  2>"$WORK/err.txt" || fail "the offline run from another folder: $(crlf_free "$WORK/err.txt")"
[ -f "$frames/frame_01200.png" ] || fail "no frame in $frames: $(ls "$WORK")"
[ "$(rgb_sum "$frames/frame_01200.png")" = "$(rgb_sum "$WORK/native/frame_01200.png")" ] ||
  fail "frame 1200 drawn from another folder differs from the native one"
echo "from another folder: frame 1200 as natively, in $(basename "$frames")"

music="$WORK/musicÜ 音楽"
mkdir -p "$music"
cp "$show/SND/Nerith.mp3" "$music/"
status=0
timeout 120 wine "$show/nerith.exe" --window --seed 1 --start 255 --benchmark \
  --music "$(winepath -w "$music/Nerith.mp3")" >"$WORK/live.txt" 2>&1 || status=$?
[ "$status" -eq 0 ] || fail "--music from $(basename "$music"): exit status $status ($(crlf_free "$WORK/live.txt"))"
grep -q "frames per second" "$WORK/live.txt" || fail "--music from $(basename "$music"): no closing line"
echo "--music from $(basename "$music"): played to the end, exit status 0"

# Without its pack, started where KVR_ERR.txt is a folder: the current
# folder takes no log.
mv "$show/nerith.kpak" "$WORK/nerith.kpak"
mkdir -p "$WORK/no-log/KVR_ERR.txt"
local_app=$(winepath -u "$(wine cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')")
[ -d "$local_app" ] || fail "no %LOCALAPPDATA% folder ($local_app)"
rm -f "$local_app/Nerith/KVR_ERR.txt"
status=0
(cd "$WORK/no-log" && wine "$show/nerith.exe" --headless --seed 1) 2>"$WORK/err.txt" || status=$?
[ "$status" -eq 1 ] || fail "without the pack: exit status $status"
line=$(crlf_free "$WORK/err.txt")
grep -qF "ショー Ünïcode" <<<"$line" || fail "the missing-pack line does not name the folder: $line"
echo "without the pack: $line"
[ -f "$local_app/Nerith/KVR_ERR.txt" ] || fail "no KVR_ERR.txt in %LOCALAPPDATA%\\Nerith"
[ "$(crlf_free "$local_app/Nerith/KVR_ERR.txt")" = "$line" ] || fail "%LOCALAPPDATA%\\Nerith\\KVR_ERR.txt differs"
echo "the current folder taking no log: the line is in %LOCALAPPDATA%\\Nerith\\KVR_ERR.txt"
