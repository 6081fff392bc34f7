#!/usr/bin/env bash
# Bad installs and bad files under Wine end as on Linux: exit status 1, one
# line on standard error, the same line in KVR_ERR.txt. A missing or damaged
# pack is found before any window opens; the music's failures (missing
# file, no sound device, a module) come once the window is there (under Xvfb,
# with the message box off).
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
