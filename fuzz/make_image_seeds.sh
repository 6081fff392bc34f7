#!/bin/sh
# Makes the seed corpus of the picture loader's fuzz target, fuzz/corpus/image/:
# tiny pictures of every kind the loader takes (PNG colour types and bit
# depths, interlaced PNG, baseline/progressive/grey/CMYK JPEG, BMP at several
# depths) and a few damaged ones. Needs ImageMagick's convert. The generated
# files are kept in the tree; rerun this only to change the set.
set -eu
out="$(dirname "$0")/corpus/image"
mkdir -p "$out"
cd "$out"

src="-size 7x5 gradient:red-blue"
strip="-strip -define png:exclude-chunks=date,time"

# PNG: every colour type, 1..16-bit, interlaced, transparency.
convert $src $strip -define png:color-type=2 -depth 8 png_rgb8.png
convert $src $strip -define png:color-type=2 -depth 16 png_rgb16.png
convert $src $strip -define png:color-type=0 -define png:bit-depth=1 -colorspace Gray png_grey1.png
convert $src $strip -define png:color-type=0 -define png:bit-depth=4 -colorspace Gray png_grey4.png
convert $src $strip -define png:color-type=0 -depth 16 -colorspace Gray png_grey16.png
convert $src $strip -colors 5 -define png:color-type=3 png_palette.png
convert $src $strip -alpha set -channel A -evaluate set 50% +channel -define png:color-type=4 -depth 8 -colorspace Gray \
  png_greyalpha.png
convert $src $strip -alpha set -channel A -evaluate set 30% +channel -define png:color-type=6 -depth 8 png_rgba8.png
convert $src $strip -alpha set -channel A -evaluate set 30% +channel -define png:color-type=6 -depth 16 \
  png_rgba16.png
convert $src $strip -interlace PNG -define png:color-type=2 -depth 8 png_interlaced.png
convert $src $strip -interlace PNG -define png:color-type=6 -depth 16 -alpha set png_interlaced16.png
convert $src $strip -transparent red -colors 4 -define png:color-type=3 png_palette_trns.png

# JPEG: baseline, progressive, greyscale, CMYK.
convert -size 16x16 gradient:yellow-navy -strip -quality 90 jpg_baseline.jpg
convert -size 16x16 gradient:yellow-navy -strip -quality 90 -interlace Plane jpg_progressive.jpg
convert -size 16x16 gradient:white-black -strip -colorspace Gray jpg_grey.jpg
convert -size 16x16 gradient:cyan-magenta -strip -colorspace CMYK jpg_cmyk.jpg

# BMP: 24-bit, 32-bit, 8-bit palette, old core header.
convert $src BMP3:bmp_24.bmp
convert $src -alpha set BMP:bmp_32.bmp
convert $src -colors 8 -type Palette BMP3:bmp_8.bmp
convert $src -colors 8 -type Palette BMP2:bmp_core.bmp

# Damaged: cut short, zero-sized header, no known signature, empty.
head -c 60 png_rgb8.png > bad_png_truncated.png
head -c 200 jpg_baseline.jpg > bad_jpg_truncated.jpg
head -c 40 bmp_24.bmp > bad_bmp_truncated.bmp
convert -size 3x3 xc:green gif_picture.gif
: > bad_empty.bin
printf 'BM' > bad_bmp_sig_only.bmp
# A PNG whose IHDR says 0 x 0 (CRC no longer matches either).
cp png_rgb8.png bad_png_zero.png
printf '\000\000\000\000\000\000\000\000' | dd of=bad_png_zero.png bs=1 seek=16 conv=notrunc 2>/dev/null
