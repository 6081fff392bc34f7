#!/usr/bin/env python3
"""Writes the crafted bad files (and a few odd but valid pictures) that the
hostile-file tests feed to the engine's loaders.

    make_hostile_files.py OUTDIR

OUTDIR/manifest.tsv lists one file per line, tab-separated:
    kind      picture | mesh | music | module
    expect    refused (one error line, exit 1) | loads | either
    file      name inside OUTDIR (or a path under fuzz/corpus/, see below)
    why       what is wrong with it
    [pixels]  for valid pictures: "W,H,RRGGBB..." the RGB the loader must give

Every file is made here from bytes, field by field, so that what is wrong
with it is written down next to it. The odd but valid PNG and JPEG pictures
are the seeds of the picture fuzz target (fuzz/make_image_seeds.sh), used as
they are; the damaged JPEGs are made from its baseline seed.
"""
import os
import struct
import sys
import zlib

OUT = sys.argv[1]
# This file is tests/engine/hostile/make_hostile_files.py.
ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", ".."))
SEEDS = os.path.join(ROOT, "fuzz", "corpus")
sys.path.insert(0, os.path.join(ROOT, "fuzz"))
sys.dont_write_bytecode = True  # nothing written into the source tree
from ogg_pages import ogg_page  # noqa: E402
os.makedirs(OUT, exist_ok=True)
manifest = []


def add(kind, expect, name, why, data=None, pixels=""):
    if data is not None:
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)
    manifest.append("\t".join([kind, expect, name, why] + ([pixels] if pixels else [])))


def seed(folder, name):
    with open(os.path.join(SEEDS, folder, name), "rb") as f:
        return f.read()


# --- PNG ----------------------------------------------------------------------
def chunk(kind, data, crc=None):
    c = zlib.crc32(kind + data) & 0xFFFFFFFF if crc is None else crc
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", c)


def png(w, h, depth=8, colour=2, interlace=0, rows=None, extra=b"", idat=None):
    ihdr = chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, depth, colour, 0, 0, interlace))
    if idat is None:
        idat = zlib.compress(rows, 9)
    return b"\x89PNG\r\n\x1a\n" + ihdr + extra + chunk(b"IDAT", idat) + chunk(b"IEND", b"")


def rgb_rows(w, h, fill=b"\x10\x20\x30"):
    return (b"\x00" + fill * w) * h


good = png(4, 3, rows=rgb_rows(4, 3))
add("picture", "refused", "png_zero_width.png", "IHDR width 0 (CRC correct)", png(0, 3, rows=b""))
add("picture", "refused", "png_huge_sides.png", "IHDR 2^31-1 x 2^31-1", png(0x7FFFFFFF, 0x7FFFFFFF, rows=b"\0"))
add("picture", "refused", "png_side_over_limit.png", "20000 x 1, over the per-side limit",
    png(20000, 1, rows=rgb_rows(20000, 1)))
# 16384 x 16384 grey: 268 M pixels, four times the pixel limit; the IDAT
# holds a few rows only, the loader must refuse from the header.
add("picture", "refused", "png_bomb_over_limit.png", "decompression bomb: 16384 x 16384 claimed",
    png(16384, 16384, colour=0, rows=b"\0" * 16385 * 64))
# 4096 x 4096 grey, all black: 16 MB of pixels from about 17 KB.
add("picture", "loads", "png_bomb_within_limit.png", "decompression bomb inside the limits (1000:1)",
    png(4096, 4096, colour=0, rows=b"\0" * (4097 * 4096)))
idat_cut = png(64, 64, rows=bytes(range(256)) * 48 + b"\0" * (65 * 64 * 3 - 256 * 48 + 64))
add("picture", "refused", "png_truncated.png", "cut inside the IDAT chunk", idat_cut[:len(idat_cut) // 2])
add("picture", "refused", "png_bad_crc_ihdr.png", "IHDR CRC wrong",
    good[:29] + bytes([good[29] ^ 0xFF]) + good[30:])
bad_idat = bytearray(good)
bad_idat[good.index(b"IDAT") + 6] ^= 0x5A
add("picture", "refused", "png_bad_crc_idat.png", "a byte of the IDAT data changed, CRC no longer matches",
    bytes(bad_idat))
add("picture", "refused", "png_no_idat.png", "IHDR then IEND, no pixel data",
    good[:33] + chunk(b"IEND", b""))
add("picture", "refused", "png_colour_type_5.png", "colour type 5 does not exist", png(4, 3, colour=5, rows=rgb_rows(4, 3)))
add("picture", "refused", "png_bit_depth_3.png", "RGB at 3 bits per sample", png(4, 3, depth=3, rows=rgb_rows(4, 3)))
add("picture", "refused", "png_chunk_length_4g.png", "a chunk that claims 4 GB",
    good[:33] + struct.pack(">I", 0xFFFFFFF0) + b"tEXt" + b"abc")
add("picture", "refused", "png_zlib_garbage.png", "IDAT is not a zlib stream (CRC correct)",
    png(4, 3, idat=b"\x78\x9c" + bytes(range(200, 240))))
# Indices up to 255 with a two-entry palette.
pal = chunk(b"PLTE", b"\xff\x00\x00\x00\xff\x00")
add("picture", "either", "png_palette_overrun.png", "palette of 2, pixel indices up to 255",
    png(8, 2, colour=3, extra=pal, rows=(b"\x00" + bytes([0, 1, 7, 200, 255, 1, 0, 3])) * 2))
add("picture", "refused", "png_palette_missing.png", "colour type 3 without a PLTE chunk",
    png(8, 2, colour=3, rows=(b"\x00" + bytes(8)) * 2))
add("picture", "either", "png_plte_300.png", "PLTE of 300 entries (at most 256 allowed)",
    png(2, 2, colour=3, extra=chunk(b"PLTE", bytes(900)), rows=b"\0\0\0" * 2))
add("picture", "refused", "png_interlaced_short.png", "interlaced, the IDAT ends before the last pass",
    png(9, 9, interlace=1, rows=b"\x00" * 30))
add("picture", "loads", "png_data_after_iend.png", "junk after IEND (ignored)", good + b"junk" * 50,
    pixels="4,3," + "102030" * 12)
add("picture", "refused", "png_signature_only.png", "the 8-byte signature and nothing else", good[:8])
add("picture", "refused", "empty.png", "an empty file", b"")

# --- JPEG (from the baseline seed) ---------------------------------------------
jpg = seed("image", "jpg_baseline.jpg")
sof = jpg.index(b"\xff\xc0")


def with_sof(height, width, comps=None):
    j = bytearray(jpg)
    j[sof + 5:sof + 9] = struct.pack(">HH", height, width)
    if comps is not None:
        j[sof + 9] = comps
    return bytes(j)


add("picture", "refused", "jpg_zero_height.jpg", "SOF height 0", with_sof(0, 16))
add("picture", "refused", "jpg_65535_square.jpg", "SOF 65535 x 65535", with_sof(65535, 65535))
add("picture", "refused", "jpg_no_components.jpg", "SOF with 0 components", with_sof(16, 16, 0))
add("picture", "refused", "jpg_truncated.jpg", "cut in the middle of the scan", jpg[:len(jpg) * 2 // 3])
add("picture", "refused", "jpg_soi_eoi.jpg", "start and end markers only", b"\xff\xd8\xff\xd9")
dht = jpg.index(b"\xff\xc4")
bad_dht = bytearray(jpg)
bad_dht[dht + 5:dht + 21] = b"\xff" * 16  # code counts summing to 4080
add("picture", "refused", "jpg_huffman_counts.jpg", "Huffman table whose counts sum past 256", bytes(bad_dht))
sos = jpg.index(b"\xff\xda")
scan_len = struct.unpack(">H", jpg[sos + 2:sos + 4])[0]
body = sos + 2 + scan_len
noisy = jpg[:body] + bytes((i * 151 + 7) & 0xFE for i in range(len(jpg) - body - 2)) + b"\xff\xd9"
add("picture", "either", "jpg_scan_noise.jpg", "entropy-coded data replaced by a pattern", noisy)
dqt = jpg.index(b"\xff\xdb")
bad_dqt = bytearray(jpg)
bad_dqt[dqt + 4] = 0x09  # table number 9
add("picture", "refused", "jpg_quant_table_9.jpg", "quantisation table number 9 (0..3 exist)", bytes(bad_dqt))
prog = seed("image", "jpg_progressive.jpg")
add("picture", "refused", "jpg_progressive_cut.jpg", "progressive, cut after the first scans", prog[:len(prog) // 2])


# --- BMP ----------------------------------------------------------------------
def bmp(w, h, bpp, pixels, palette=b"", compression=0, info_size=40, masks=b"", offset=None, colours_used=0,
        image_size=None):
    if info_size == 12:
        info = struct.pack("<IHHHH", 12, w, h, 1, bpp)
    else:
        info = struct.pack("<IiiHHIIiiII", info_size, w, h, 1, bpp, compression,
                           len(pixels) if image_size is None else image_size, 2835, 2835, colours_used, 0)
        info += masks + bytes(max(0, info_size - 40 - len(masks)))
    off = 14 + len(info) + len(palette) if offset is None else offset
    head = b"BM" + struct.pack("<IHHI", 14 + len(info) + len(palette) + len(pixels), 0, 0, off)
    return head + info + palette + pixels


def pad(row):
    return row + bytes(-len(row) % 4)


def hexrgb(rgb):
    return "".join("%02x%02x%02x" % p for p in rgb)


# A 5 x 3 picture with four colours, top row first.
colours = [(0xFF, 0x00, 0x00), (0x00, 0xC0, 0x00), (0x00, 0x00, 0xA0), (0xFF, 0xFF, 0xFF)]
index_rows = [[0, 1, 2, 3, 0], [3, 3, 1, 1, 2], [2, 0, 0, 3, 1]]
expected = "5,3," + hexrgb([colours[i] for r in index_rows for i in r])
pal4 = b"".join(bytes([b, g, r, 0]) for r, g, b in colours)
bottom_up = list(reversed(index_rows))


def pack4(row):
    row = row + [0] * (len(row) % 2)
    return bytes(row[i] << 4 | row[i + 1] for i in range(0, len(row), 2))


add("picture", "loads", "bmp_8bit.bmp", "valid: 8-bit palette",
    bmp(5, 3, 8, b"".join(pad(bytes(r)) for r in bottom_up), pal4, colours_used=4), pixels=expected)
add("picture", "loads", "bmp_4bit.bmp", "valid: 4-bit palette",
    bmp(5, 3, 4, b"".join(pad(pack4(r)) for r in bottom_up), pal4, colours_used=4), pixels=expected)
mono_rows = [[1, 0, 1, 1, 0], [0, 0, 0, 1, 1], [1, 1, 1, 1, 1]]
mono = b"".join(pad(bytes([sum(b << (7 - i) for i, b in enumerate(r))])) for r in reversed(mono_rows))
add("picture", "loads", "bmp_1bit.bmp", "valid: 1-bit, black and white",
    bmp(5, 3, 1, mono, b"\0\0\0\0\xff\xff\xff\0", colours_used=2),
    pixels="5,3," + hexrgb([(255, 255, 255) if b else (0, 0, 0) for r in mono_rows for b in r]))
# RLE8: each row one encoded run per pixel, then end of line; end of bitmap.
rle8 = b"".join(b"".join(bytes([1, i]) for i in r) + b"\0\0" for r in bottom_up) + b"\0\1"
add("picture", "loads", "bmp_rle8.bmp", "valid: RLE8", bmp(5, 3, 8, rle8, pal4, compression=1, colours_used=4),
    pixels=expected)
# RLE4: absolute mode runs of 5 nibbles (padded to a word), end of line.
rle4 = b"".join(b"\0\5" + pack4(r) + b"\0" + b"\0\0" for r in bottom_up) + b"\0\1"
add("picture", "loads", "bmp_rle4.bmp", "valid: RLE4 in absolute mode",
    bmp(5, 3, 4, rle4, pal4, compression=2, colours_used=4), pixels=expected)
# 16-bit with BI_BITFIELDS masks for 5-6-5.
def rgb565(c):
    r, g, b = c
    return struct.pack("<H", (r >> 3) << 11 | (g >> 2) << 5 | b >> 3)


def expand565(c):
    # Each field scaled to 0..255, rounded down.
    r, g, b = c
    return ((r >> 3) * 255 // 31, (g >> 2) * 255 // 63, (b >> 3) * 255 // 31)


px565 = b"".join(pad(b"".join(rgb565(colours[i]) for i in r)) for r in bottom_up)
add("picture", "loads", "bmp_16bit_565.bmp", "valid: 16-bit with bitfield masks 5-6-5",
    bmp(5, 3, 16, px565, compression=3, masks=struct.pack("<III", 0xF800, 0x07E0, 0x001F)),
    pixels="5,3," + hexrgb([expand565(colours[i]) for r in index_rows for i in r]))
add("picture", "loads", "bmp_os2.bmp", "valid: OS/2 (12-byte core header), 8-bit, 3-byte palette",
    bmp(5, 3, 8, b"".join(pad(bytes(r)) for r in bottom_up),
        b"".join(bytes([b, g, r]) for r, g, b in colours) + bytes(3 * 252), info_size=12), pixels=expected)
add("picture", "loads", "bmp_top_down.bmp", "valid: negative height, rows stored top-down",
    bmp(5, -3, 8, b"".join(pad(bytes(r)) for r in index_rows), pal4, colours_used=4), pixels=expected)

row24 = pad(b"\x10\x20\x30" * 4)
add("picture", "refused", "bmp_zero_width.bmp", "width 0", bmp(0, 3, 24, b""))
add("picture", "refused", "bmp_int_min_height.bmp", "height INT_MIN", bmp(4, -2**31, 24, row24 * 3))
add("picture", "refused", "bmp_huge.bmp", "100000 x 100000", bmp(100000, 100000, 24, row24))
add("picture", "refused", "bmp_offset_past_end.bmp", "pixel data offset past the end of the file",
    bmp(4, 3, 24, row24 * 3, offset=1 << 30))
add("picture", "refused", "bmp_pixels_short.bmp", "rows end early", bmp(4, 3, 24, row24))
add("picture", "either", "bmp_palette_overrun.bmp", "palette of 4, indices up to 255",
    bmp(4, 2, 8, pad(bytes([0, 3, 200, 255])) * 2, pal4, colours_used=4))
add("picture", "either", "bmp_colours_used_huge.bmp", "claims 2^30 palette entries",
    bmp(4, 2, 8, pad(bytes(4)) * 2, pal4, colours_used=1 << 30))
# RLE8 runs that leave the row, a delta that jumps below the picture, a
# stream cut inside an absolute run.
add("picture", "either", "bmp_rle8_run_past_row.bmp", "RLE8 run of 255 pixels in 4-pixel rows",
    bmp(4, 2, 8, b"\xff\x01\xff\x02\0\0\0\1", pal4, compression=1, colours_used=4))
add("picture", "either", "bmp_rle8_delta_past_end.bmp", "RLE8 delta moving 200 rows down",
    bmp(4, 2, 8, b"\0\2\0\xc8\1\1\0\1", pal4, compression=1, colours_used=4))
add("picture", "either", "bmp_rle4_cut.bmp", "RLE4 absolute run of 200 nibbles, data ends after 3 bytes",
    bmp(4, 2, 4, b"\0\xc8\x12\x34\x56", pal4, compression=2, colours_used=4))
add("picture", "either", "bmp_masks_zero.bmp", "16-bit bitfields with all masks 0",
    bmp(4, 2, 16, pad(bytes(8)) * 2, compression=3, masks=bytes(12)))
add("picture", "refused", "bmp_header_size_4g.bmp", "info header size 0xFFFFFFF0",
    b"BM" + struct.pack("<IHHI", 100, 0, 0, 54) + struct.pack("<Iii", 0xFFFFFFF0, 4, 3) + bytes(40))
add("picture", "refused", "bmp_7_bits.bmp", "7 bits per pixel", bmp(4, 3, 7, row24 * 3))

# --- ASC meshes -------------------------------------------------------------------
def asc(vertices, faces, vcount=None, fcount=None):
    text = 'Named object: "hostile"\nTri-mesh, Vertices: %s     Faces: %s\nVertex list:\n' % (
        len(vertices) if vcount is None else vcount, len(faces) if fcount is None else fcount)
    for i, (x, y, z) in enumerate(vertices):
        text += "Vertex %d:  X: %s     Y: %s     Z: %s\n" % (i, x, y, z)
    text += "Face list:\n"
    for i, (a, b, c) in enumerate(faces):
        text += "Face %d:    A:%s B:%s C:%s AB:1 BC:1 CA:1\nSmoothing:  1\n" % (i, a, b, c)
    return text.encode()


tri = [(0, 0, 0), (10, 0, 0), (0, 10, 0)]
add("mesh", "loads", "asc_valid.asc", "valid: one triangle (the reference for the others)", asc(tri, [(0, 1, 2)]))
add("mesh", "refused", "asc_nan.asc", "a coordinate NaN", asc([(0, 0, 0), ("nan", 0, 0), (0, 10, 0)], [(0, 1, 2)]))
add("mesh", "refused", "asc_inf.asc", "a coordinate inf", asc([(0, 0, 0), ("-inf", 0, 0), (0, 10, 0)], [(0, 1, 2)]))
add("mesh", "refused", "asc_1e39.asc", "a coordinate 1e39, past the float range",
    asc([(0, 0, 0), ("1e39", 0, 0), (0, 10, 0)], [(0, 1, 2)]))
add("mesh", "refused", "asc_count_4g.asc", "4294967295 vertices claimed", asc(tri, [(0, 1, 2)], vcount=4294967295))
add("mesh", "refused", "asc_count_negative.asc", "-3 faces", asc(tri, [(0, 1, 2)], fcount=-3))
add("mesh", "refused", "asc_count_over_limit.asc", "3001 faces claimed, the limit is 3000",
    asc(tri, [(0, 1, 2)], fcount=3001))
add("mesh", "refused", "asc_index_past.asc", "face index 99 of 3 vertices", asc(tri, [(0, 99, 2)]))
add("mesh", "refused", "asc_index_negative.asc", "face index -1", asc(tri, [(0, -1, 2)]))
add("mesh", "refused", "asc_truncated.asc", "ends inside the vertex list", asc(tri, [(0, 1, 2)])[:120])
add("mesh", "refused", "asc_long_number.asc", "a coordinate of 200000 digits",
    asc([(0, 0, 0), ("7" * 200000, 0, 0), (0, 10, 0)], [(0, 1, 2)]))
add("mesh", "refused", "asc_binary.asc", "bytes of every value, no structure",
    bytes((i * 73 + 11) & 0xFF for i in range(4096)))
add("mesh", "refused", "asc_colons_only.asc", "a million colons", b":" * 1000000)
add("mesh", "refused", "asc_empty.asc", "an empty file", b"")
os.makedirs(os.path.join(OUT, "asc_directory.asc"), exist_ok=True)
add("mesh", "refused", "asc_directory.asc", "a directory, not a file")


# --- music ----------------------------------------------------------------------
def wav(fmt_tag, channels, rate, bits, data, data_size=None, fmt_extra=b""):
    block = channels * bits // 8
    fmt = struct.pack("<HHIIHH", fmt_tag, channels, rate, rate * block & 0xFFFFFFFF, block & 0xFFFF, bits) + fmt_extra
    body = (b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" +
            struct.pack("<I", len(data) if data_size is None else data_size) + data)
    return b"RIFF" + struct.pack("<I", len(body)) + body


pcm = bytes((i * 37) & 0xFF for i in range(4000))
add("music", "loads", "wav_valid.wav", "valid: 16-bit stereo 22050 Hz (the reference)", wav(1, 2, 22050, 16, pcm))
add("music", "refused", "wav_zero_channels.wav", "0 channels", wav(1, 0, 22050, 16, pcm))
add("music", "refused", "wav_rate_zero.wav", "sample rate 0", wav(1, 2, 0, 16, pcm))
add("music", "refused", "wav_rate_805mhz.wav", "sample rate 805 MHz (made swr_init run for minutes)",
    wav(3, 41, 0x3000BB80, 32, pcm))
add("music", "refused", "wav_rate_1hz.wav", "sample rate 1 Hz (each frame would grow 44100 times)",
    wav(1, 2, 1, 16, pcm))
add("music", "loads", "wav_data_size_4g.wav", "data chunk claims 4 GB, the file has 4000 bytes",
    wav(1, 2, 22050, 16, pcm, data_size=0xFFFFFFFF))
add("music", "refused", "wav_fmt_cut.wav", "ends inside the fmt chunk", wav(1, 2, 22050, 16, pcm)[:30])
add("music", "refused", "wav_no_data.wav", "header only, no samples", wav(1, 2, 22050, 16, b""))
add("music", "refused", "wav_bits_0.wav", "0 bits per sample", wav(1, 2, 22050, 0, pcm))
add("music", "either", "wav_65535_channels.wav", "65535 channels", wav(1, 65535, 22050, 16, pcm))
mp3_frame = b"\xff\xfb\x90\x00" + bytes(413)
noise = bytes((i * 151 + 89) & 0xFF for i in range(413))
add("music", "loads", "mp3_silence.mp3", "valid: four silent MPEG-1 layer III frames", mp3_frame * 4)
add("music", "either", "mp3_noise_frames.mp3", "frame headers right, side info and data noise",
    (b"\xff\xfb\x90\x00" + noise) * 6)
add("music", "either", "mp3_cut_frame.mp3", "the second frame cut after 100 bytes", mp3_frame + mp3_frame[:100])
id3_size = bytes([0x7F, 0x7F, 0x7F, 0x7F])  # syncsafe: 256 MB of tag
add("music", "refused", "mp3_id3_256mb.mp3", "an ID3v2 tag claiming 256 MB, nothing after it",
    b"ID3\x03\x00\x00" + id3_size + b"TIT2\x00\x00\x00\x05\x00\x00\x00abcd")
add("music", "refused", "mp3_garbage.mp3", "no frame sync anywhere", bytes(range(1, 251)) * 20)


def opus(channels=2, good_crc=True, family=0):
    head = b"OpusHead" + struct.pack("<BBHIhB", 1, channels, 312, 48000, 0, family)
    if family:
        head += bytes([channels, 0]) + bytes(range(channels))[:channels]
    tags = b"OpusTags" + struct.pack("<I", 5) + b"nerth" + struct.pack("<I", 0)
    return (ogg_page(9, 0, 0, 2, [head]) + ogg_page(9, 1, 0, 0, [tags]) +
            ogg_page(9, 2, 312 + 6 * 960, 4, [b"\xfc\x00"] * 6, good_crc))


add("music", "loads", "ogg_opus.ogg", "valid: Ogg Opus, six silent packets", opus())
add("music", "either", "ogg_bad_crc.ogg", "the audio page's CRC wrong", opus(good_crc=False))
add("music", "refused", "ogg_opus_255_channels.ogg", "Opus header with 255 channels and mapping family 255",
    opus(channels=255, family=255))
add("music", "refused", "ogg_headers_only.ogg", "cut after the header pages", opus()[:opus().index(b"OggS", 60)])
add("music", "refused", "empty.mp3", "an empty file", b"")
os.makedirs(os.path.join(OUT, "directory.wav"), exist_ok=True)
add("music", "refused", "directory.wav", "a directory, not a file")

# --- modules ----------------------------------------------------------------------
good_mod = seed("module", "mod_square.mod")[1:]  # the fuzz seed without its loop byte
add("module", "loads", "mod_valid.mod", "valid: the module fuzz seed", good_mod)
huge_sample = bytearray(good_mod)
huge_sample[20 + 22:20 + 24] = b"\xff\xff"  # sample 1: 128 KB, the file has 32 bytes of it
add("module", "either", "mod_sample_past_end.mod", "sample length 0xFFFF words, past the file's end", bytes(huge_sample))
orders = bytearray(good_mod)
orders[952:952 + 128] = bytes([63] * 128)  # patterns 0..63 that are not there
orders[950] = 128
add("module", "either", "mod_orders_past_patterns.mod", "128 orders of pattern 63, one pattern stored", bytes(orders))
add("module", "either", "mod_cut.mod", "cut inside the pattern data", good_mod[:1500])
xm = seed("module", "xm_empty.xm")[1:]
xm_many = bytearray(xm)
xm_many[60 + 10:60 + 14] = struct.pack("<HH", 256, 65535)  # patterns, instruments
add("module", "either", "xm_absurd_counts.xm", "XM with 256 patterns and 65535 instruments claimed", bytes(xm_many))
xm_head = bytearray(xm)
xm_head[60:64] = struct.pack("<I", 0xFFFFFFF0)
add("module", "either", "xm_header_size_4g.xm", "XM header size 0xFFFFFFF0", bytes(xm_head))
it = (b"IMPM" + b"hostile".ljust(26, b"\0") + struct.pack("<HHHHHHHH", 0x1004, 65535, 65535, 65535, 65535,
                                                             0x0214, 0x0214, 0) + bytes(64) + bytes(200))
add("module", "either", "it_absurd_counts.it", "IT header claiming 65535 orders, instruments, samples, patterns", it)
s3m = (b"hostile".ljust(28, b"\0") + b"\x1a\x10\0\0" + struct.pack("<HHHHHH", 65535, 65535, 65535, 0, 0x1320, 2) +
       b"SCRM" + bytes(64) + bytes(100))
add("module", "either", "s3m_absurd_counts.s3m", "S3M header claiming 65535 orders, instruments, patterns", s3m)
add("module", "refused", "empty.mod", "an empty file", b"")
add("module", "refused", "text.mod", "plain text", b"This is not a module, just words.\n" * 20)

with open(os.path.join(OUT, "manifest.tsv"), "w") as f:
    f.write("\n".join(manifest) + "\n")

# The odd but valid seeds of the picture fuzz target, by their own path.
valid = ["png_rgb16.png", "png_rgba16.png", "png_grey16.png", "png_interlaced.png", "png_interlaced16.png",
         "png_greyalpha.png", "png_palette_trns.png", "png_grey1.png", "jpg_progressive.jpg", "jpg_grey.jpg",
         "jpg_cmyk.jpg", "bmp_core.bmp", "bmp_32.bmp"]
with open(os.path.join(OUT, "manifest.tsv"), "a") as f:
    for name in valid:
        f.write("picture\tloads\t%s\tvalid: picture fuzz seed\n" % os.path.join(SEEDS, "image", name))
