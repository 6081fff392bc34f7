#!/usr/bin/env bash
# Pictures outside the asset pack, decoded by the Windows Imaging Component:
# with GFX/nerith.png (the logo) and GFX/star.bmp left out of the pack and
# put in GFX\ instead, the logo's frame is the native one bit for bit; a
# truncated PNG and a picture over the size limit give the native build's
# own error line (the same file in the native build's GFX/), KVR_ERR.txt and
# exit status 1.
source "$(dirname "$0")/common.sh" "$@"

assets=$BUILD/bin
cp -r "$assets/GFX" "$assets/ASC" "$WORK/"
rm "$WORK/GFX/nerith.png" "$WORK/GFX/star.bmp"
"$BUILD/tools/webpack" "$WORK" "$WORK/show/nerith.kpak" || fail "webpack without the logo and the star"
mkdir -p "$WORK/show/GFX"
cp "$assets/GFX/nerith.png" "$assets/GFX/star.bmp" "$WORK/show/GFX/"

# Frame 1200: scene 2, the logo turning and zooming in over the stars.
"$NATIVE" --headless --seed 1 --dump-frames "$WORK/native" --frames 1200 --quiet || fail "native offline run"
(cd "$WORK/show" && wine nerith.exe --headless --seed 1 --dump-frames win --frames 1200 --quiet) ||
  fail "nerith.exe with the logo from GFX\\"
want=$(rgb_sum "$WORK/native/frame_01200.png")
got=$(rgb_sum "$WORK/show/win/frame_01200.png")
[ "$got" = "$want" ] || fail "frame 1200 with the logo decoded by WIC: RGB md5 $got, native $want"
echo "frame 1200 with the logo and the star decoded by WIC: RGB md5 $got on both"

# bad_picture NAME: the logo replaced by $WORK/bad.png in both builds; the
# error lines must be equal.
native_show=$WORK/native_show
mkdir -p "$native_show"
cp -r "$assets/GFX" "$assets/ASC" "$assets/SND" "$native_show/"
bad_picture() {
  cp "$WORK/bad.png" "$native_show/GFX/nerith.png"
  cp "$WORK/bad.png" "$WORK/show/GFX/nerith.png"
  local native_status=0 status=0
  (cd "$native_show" && "$NATIVE" --headless --seed 1 --frames 1 --dump-frames d --quiet) 2>"$WORK/native.err" ||
    native_status=$?
  (cd "$WORK/show" && wine nerith.exe --headless --seed 1 --frames 1 --dump-frames d --quiet) 2>"$WORK/win.crlf" ||
    status=$?
  tr -d '\r' <"$WORK/win.crlf" >"$WORK/win.err"
  [ "$native_status" -eq 1 ] || fail "$1: the native build's exit status is $native_status"
  [ "$status" -eq 1 ] || fail "$1: exit status $status ($(cat "$WORK/win.err"))"
  [ "$(wc -l <"$WORK/win.err")" -eq 1 ] || fail "$1: not one line: $(cat "$WORK/win.err")"
  cmp -s "$WORK/win.err" "$WORK/native.err" || fail "$1: '$(cat "$WORK/win.err")', natively '$(cat "$WORK/native.err")'"
  [ "$(tr -d '\r' <"$WORK/show/KVR_ERR.txt")" = "$(cat "$WORK/win.err")" ] || fail "$1: KVR_ERR.txt differs"
  echo "$1: $(cat "$WORK/win.err")"
}

head -c 300 "$assets/GFX/nerith.png" >"$WORK/bad.png"
bad_picture "truncated PNG"
python3 - "$WORK/bad.png" <<'PY'
import struct, sys, zlib
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
width, height = 16385, 1  # one pixel wider than the engine takes
rows = b"".join(b"\0" + b"\0" * 3 * width for _ in range(height))
ihdr = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
open(sys.argv[1], "wb").write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(rows))
                              + chunk(b"IEND", b""))
PY
bad_picture "PNG over the size limit"
