#!/usr/bin/env bash
# Bad installs and bad files under Wine end as on Linux: exit status 1, one
# line on standard error, the same line in KVR_ERR.txt. A missing or damaged
# pack is found before any window opens; the music's failures (missing
# file, no sound device, a module) come once the window is there (under Xvfb,
# with the message box off). In full screen with the box on, the window goes
# before the box shows. In a command prompt, the exit status reaches it;
# --record gives its own line.
# Under a display of its own (xvfb-run -a: other runs may use Xvfb too).
if [ -z "${KV_INNER:-}" ]; then
  KV_INNER=1 exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi
source "$(dirname "$0")/common.sh" "$@"

export KELVRA_NO_MESSAGEBOX=1

# expect_error NAME PATTERN ARGS...: nerith.exe in $WORK/case exits with 1,
# prints exactly one line, matching PATTERN, which is also KVR_ERR.txt's.
expect_error() {
  local name=$1 pattern=$2
  shift 2
  local status=0
  (cd "$WORK/case" && timeout 60 wine nerith.exe "$@" >"$WORK/out.txt" 2>"$WORK/err.crlf") || status=$?
  # A Windows program's text ends lines with CR LF; the host's ALSA, inside
  # Wine, may add lines of its own when it finds no device.
  tr -d '\r' <"$WORK/err.crlf" | { grep -v '^ALSA lib ' || true; } >"$WORK/err.txt"
  [ "$status" -eq 1 ] || fail "$name: exit status $status, not 1 ($(cat "$WORK/err.txt"))"
  [ "$(wc -l <"$WORK/err.txt")" -eq 1 ] || fail "$name: not one line on standard error: $(cat "$WORK/err.txt")"
  grep -Eq "$pattern" "$WORK/err.txt" || fail "$name: '$(cat "$WORK/err.txt")' does not match $pattern"
  [ -f "$WORK/case/KVR_ERR.txt" ] || fail "$name: no KVR_ERR.txt"
  [ "$(tr -d '\r' <"$WORK/case/KVR_ERR.txt")" = "$(cat "$WORK/err.txt")" ] || fail "$name: KVR_ERR.txt differs"
  [ ! -s "$WORK/out.txt" ] || fail "$name: wrote to standard output: $(cat "$WORK/out.txt")"
  echo "$name: $(cat "$WORK/err.txt")"
}

fresh_case() {
  rm -rf "$WORK/case"
  cp -r "$WORK/show" "$WORK/case"
}

fresh_case
rm "$WORK/case/nerith.kpak"
expect_error "missing pack" '^\[Nerith\]FindAssets -> No asset pack \(nerith\.kpak\)' --headless --seed 1

fresh_case
# One byte in the middle changed: the checksum finds it.
size=$(stat -c %s "$WORK/case/nerith.kpak")
printf '\x5a' | dd of="$WORK/case/nerith.kpak" bs=1 seek=$((size / 2)) conv=notrunc status=none
expect_error "damaged pack" '^\[Nerith\]LoadPack -> nerith\.kpak: .*checksum mismatch' --headless --seed 1

fresh_case
rm "$WORK/case/SND/Nerith.mp3"
expect_error "missing music" '^\[SoundKv\]Create -> File not found\.\.\. \(SND/Nerith\.mp3\)$' --window --seed 1

fresh_case
# No sound device at all: ALSA without its configuration knows no device.
: >"$WORK/no-alsa.conf"
ALSA_CONFIG_PATH=$WORK/no-alsa.conf expect_error "no sound device" \
  '^\[SoundKv\]FSOUND_Init -> No audio output device could be opened \(waveOutOpen: .*\); start with --no-music' \
  --window --seed 1

fresh_case
echo "not a module" >"$WORK/case/song.mod"
expect_error "non-module in a module slot" \
  '^\[SoundKv\]FMUSIC_LoadSong -> .*not played by the Windows build \(the Linux build plays them\) \(song\.mod\)$' \
  --window --seed 1 --music song.mod

# In full screen, with the message box: the window goes first, then the box
# shows the line over the desktop; closing it ends the run with status 1.
fresh_case
rm "$WORK/case/SND/Nerith.mp3"
(cd "$WORK/case" && KELVRA_NO_MESSAGEBOX= exec timeout 120 wine nerith.exe --seed 1) >"$WORK/out.txt" 2>&1 &
run=$!
box_window() { xdotool search --onlyvisible --name '^Tarnwick - Vastiel - 05/2001$' 2>/dev/null | head -n 1; }
# box_up: a window of the caption that is not the full screen (1024 x 768).
box_up() {
  local id WIDTH=1024 HEIGHT=768  # a window gone before it is measured counts as none
  id=$(box_window) && [ -n "$id" ] || return 1
  eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null)" || return 1
  [ "$WIDTH" -lt 1024 ] && [ "$HEIGHT" -lt 768 ]
}
deadline=$((SECONDS + 60))
until box_up; do
  kill -0 "$run" 2>/dev/null || fail "full screen: the show ended without a message box ($(tr -d '\r' <"$WORK/out.txt"))"
  [ $SECONDS -lt $deadline ] || fail "full screen: no message box within 60 s"
  sleep 0.2
done
[ "$(xdotool search --onlyvisible --name '^Tarnwick - Vastiel - 05/2001$' | wc -l)" -eq 1 ] ||
  fail "full screen: the show's window is still there beside the message box"
# The box's OK button takes Return; the window is looked up again for it.
deadline=$((SECONDS + 30))
while kill -0 "$run" 2>/dev/null; do
  id=$(box_window || true)
  # The box may close between the look-up and the key: the next round tells.
  if [ -n "$id" ]; then xdotool key --window "$id" Return 2>/dev/null || true; fi
  [ $SECONDS -lt $deadline ] || fail "full screen: the message box did not close"
  sleep 0.5
done
status=0
wait "$run" || status=$?
[ "$status" -eq 1 ] || fail "full screen: exit status $status after the message box, not 1"
grep -q '^\[SoundKv\]Create -> File not found' <(tr -d '\r' <"$WORK/out.txt") || fail "full screen: no error line"
echo "full screen: the window closed, then the message box; status 1"

# In a command prompt "nerith" is nerith.com: it waits for the show and ends
# with its exit status, the usage line on the prompt's standard error.
fresh_case
status=0
(cd "$WORK/case" && timeout 60 wine cmd /c nerith --bogus) >"$WORK/out.txt" 2>"$WORK/err.crlf" || status=$?
[ "$status" -eq 2 ] || fail "nerith --bogus in a command prompt: exit status $status, not 2"
grep -q '^nerith: unknown option "--bogus"' <(tr -d '\r' <"$WORK/err.crlf") ||
  fail "nerith --bogus in a command prompt: no usage line ($(tr -d '\r' <"$WORK/err.crlf" | head -n 3))"
echo "command prompt: nerith --bogus gave exit status 2 and its usage line"
status=0
(cd "$WORK/case" && timeout 60 wine nerith.exe --record show.mp4) >"$WORK/out.txt" 2>"$WORK/err.crlf" || status=$?
[ "$status" -eq 2 ] || fail "--record: exit status $status, not 2"
grep -q '^nerith: --record: recording is not part of the Windows build' <(tr -d '\r' <"$WORK/err.crlf") ||
  fail "--record: not its own line ($(tr -d '\r' <"$WORK/err.crlf" | head -n 1))"
echo "--record: $(tr -d '\r' <"$WORK/err.crlf" | head -n 1)"
