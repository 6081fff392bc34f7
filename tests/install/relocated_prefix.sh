#!/usr/bin/env bash
# Installs into a prefix, moves the prefix, and runs the moved show from an
# unrelated folder: it must find its assets through ../share/nerith. Then,
# with the assets gone, it must fail with a line naming where it looked.
# Also checks the installed layout: what the desktop and a program on the
# engine need is there, and the engine's internals are not.
source "$(dirname "$0")/common.sh"

install_into "$WORK/first"
mv "$WORK/first" "$WORK/moved"
P="$WORK/moved"

for f in bin/nerith share/nerith/GFX/nerith.png share/nerith/ASC/cone.asc share/nerith/SND/Nerith.mp3 \
  share/applications/org.nerith.Nerith.desktop share/metainfo/org.nerith.Nerith.metainfo.xml \
  share/icons/hicolor/48x48/apps/org.nerith.Nerith.png share/icons/hicolor/128x128/apps/org.nerith.Nerith.png \
  share/icons/hicolor/256x256/apps/org.nerith.Nerith.png share/man/man6/nerith.6.gz \
  include/kelvra/core/Kelvra.h include/kelvra/draw/BufferKv.h lib/libKelvra.a \
  lib/cmake/Kelvra/KelvraConfig.cmake lib/cmake/Kelvra/KelvraConfigVersion.cmake lib/pkgconfig/kelvra.pc; do
  [ -f "$P/$f" ] || fail "not installed: $f"
done
# Icons are square PNGs of the size their folder names.
for size in 48 128 256; do
  file "$P/share/icons/hicolor/${size}x${size}/apps/org.nerith.Nerith.png" | grep -q "PNG image data, $size x $size, 8-bit/color RGBA" ||
    fail "the ${size}x${size} icon is not a $size x $size RGBA PNG"
done
# Every installed header compiles on its own: none leans on a private one.
leaked=$(cd "$P/include/kelvra" && find . -name '*.h' | sort | tr '\n' ' ')
for h in $leaked; do
  echo "#include <kelvra/${h#./}>" | g++ -std=c++17 -fsyntax-only -I"$P/include" -x c++ - ||
    fail "include/kelvra/${h#./} does not compile alone"
done
case " $leaked " in *RowKernels* | *AudioOutput* | *MusicStream* | *RingBuffer* | *MidiSoundFont* | *MemoryDevice* | *TestHooks* | *XWindowManager*)
  fail "engine internals installed: $leaked" ;;
esac

# The moved show, run from an unrelated folder, finds its assets.
mkdir "$WORK/elsewhere"
cd "$WORK/elsewhere"
"$P/bin/nerith" --headless --seed 1 --dump-frames frames --frames 1,6446 >run.log 2>&1 || {
  tail -5 run.log >&2
  fail "the moved show did not play (exit $?)"
}
[ -f frames/frame_00001.png ] && [ -f frames/frame_06446.png ] || fail "the moved show wrote no frames"

# Without assets: exit 1, one line naming each place, the same in KVR_ERR.txt.
rm -rf "$P/share/nerith"
set +e
"$P/bin/nerith" --headless --seed 1 >err.log 2>&1
status=$?
set -e
[ "$status" -eq 1 ] || fail "without assets the show exited $status, not 1"
line=$(cat KVR_ERR.txt | tr -d '\r')
grep -qF "$line" err.log || fail "KVR_ERR.txt and standard error differ"
for place in "$WORK/elsewhere" "$P/bin" "$P/share/nerith"; do
  case "$line" in *"$place"*) ;; *) fail "the error line does not name $place: $line" ;; esac
done
echo "relocated prefix plays; missing assets reported: $line"
