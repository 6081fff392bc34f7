#!/usr/bin/env python3
"""Makes the seed corpora of the music, module and text fuzz targets
(fuzz/corpus/music, module, text) from nothing but this recipe: small WAV
files in several sample formats, MPEG audio frames, an Ogg Opus stream, a
ProTracker module and an XM module, and a few TextOut inputs. Every file is
tiny so that the fuzzer's mutations stay cheap. The files are kept in the
tree; rerun this only to change the set."""
import math
import os
import struct
import sys
import zlib

sys.dont_write_bytecode = True  # nothing written into the source tree
from ogg_pages import ogg_page  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))


def write(folder, name, data):
    path = os.path.join(HERE, "corpus", folder)
    os.makedirs(path, exist_ok=True)
    with open(os.path.join(path, name), "wb") as f:
        f.write(data)


def sine(frames, rate, hz, channels, amp=12000):
    out = []
    for i in range(frames):
        v = int(amp * math.sin(2 * math.pi * hz * i / rate))
        out.extend([v] * channels)
    return out


def wav(fmt_tag, channels, rate, bits, data, extra=b""):
    block = channels * bits // 8
    fmt = struct.pack("<HHIIHH", fmt_tag, channels, rate, rate * block, block, bits) + extra
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


# --- music ------------------------------------------------------------------
pcm = sine(200, 22050, 440, 2)
write("music", "wav_s16_stereo.wav", wav(1, 2, 22050, 16, struct.pack("<%dh" % len(pcm), *pcm)))
mono = sine(150, 8000, 300, 1)
write("music", "wav_u8_mono.wav", wav(1, 1, 8000, 8, bytes((v >> 8) + 128 for v in mono)))
write("music", "wav_f32.wav", wav(3, 1, 48000, 32, struct.pack("<%df" % len(mono), *[v / 32768 for v in mono])))
write("music", "wav_s24_6ch.wav", wav(1, 6, 44100, 24, bytes(6 * 3 * 40)))
write("music", "wav_alaw.wav", wav(6, 1, 8000, 8, bytes(range(0, 256, 3))))


def mpeg_frame(header, size):
    # Side information and main data all zero: a frame of silence.
    return header + bytes(size - len(header))


# MPEG-1 layer III, 128 kbit/s, 44100 Hz, stereo: 417-byte frames.
write("music", "mp3_silence.mp3", b"".join(mpeg_frame(b"\xff\xfb\x90\x00", 417) for _ in range(4)))
# MPEG-2 layer III, 32 kbit/s, 22050 Hz, mono: 144 * 32000 / 22050 = 208 bytes.
write("music", "mp3_mpeg2_mono.mp3", b"".join(mpeg_frame(b"\xff\xf3\x48\xc0", 208) for _ in range(4)))
# MPEG-1 layer II, 64 kbit/s, 48000 Hz: 144 * 64000 / 48000 = 192 bytes.
write("music", "mp2_silence.mp2", b"".join(mpeg_frame(b"\xff\xfd\x54\xc0", 192) for _ in range(4)))
# An ID3v2 tag in front of the frames.
id3 = b"ID3\x03\x00\x00" + bytes([0, 0, 0, 20]) + b"TIT2" + struct.pack(">I", 6) + b"\x00\x00\x00nrth\x00" + bytes(20 - 16)
write("music", "mp3_id3.mp3", id3 + mpeg_frame(b"\xff\xfb\x90\x00", 417) * 2)


opus_head = b"OpusHead" + struct.pack("<BBHIhB", 1, 2, 312, 48000, 0, 0)
opus_tags = b"OpusTags" + struct.pack("<I", 5) + b"nerth" + struct.pack("<I", 0)
# TOC 0xFC: CELT-only fullband 20 ms, stereo, one frame; a 1-byte frame
# decodes as silence.
audio = [b"\xfc\x00"] * 6
write("music", "ogg_opus.ogg", ogg_page(7, 0, 0, 2, [opus_head]) + ogg_page(7, 1, 0, 0, [opus_tags]) +
      ogg_page(7, 2, 312 + 6 * 960, 4, audio))

# --- modules (first byte: bit 0 = loop, see fuzz/module.cpp) ---------------
def protracker():
    title = b"nerith seed".ljust(20, b"\0")
    samples = b""
    square = bytes([0x40] * 16 + [0xC0] * 16)
    samples += b"square".ljust(22, b"\0") + struct.pack(">HBBHH", len(square) // 2, 0, 64, 0, len(square) // 2)
    for _ in range(30):
        samples += bytes(22) + struct.pack(">HBBHH", 0, 0, 0, 0, 1)
    orders = bytes([1, 127]) + bytes(128)
    pattern = bytearray(64 * 4 * 4)
    period = 428
    pattern[0:4] = bytes([(1 & 0xF0) | (period >> 8), period & 0xFF, (1 << 4) | 0xF, 0x01])  # speed 1
    pattern[16 * 4 * 4 + 4:16 * 4 * 4 + 8] = bytes([period >> 8, period & 0xFF, 0x0C, 0x20])  # volume
    pattern[63 * 16:63 * 16 + 4] = bytes([0, 0, 0x0B, 0x00])  # jump back to order 0
    return title + samples + orders + b"M.K." + bytes(pattern) + square


def xm():
    channels = 2
    head = struct.pack("<HHHHHHHH", 1, 0, channels, 1, 0, 1, 6, 125) + bytes([0]) + bytes(255)
    header = (b"Extended Module: " + b"nerith seed".ljust(20, b"\0") + b"\x1a" + b"kelvra".ljust(20, b"\0") +
              struct.pack("<HI", 0x0104, 4 + len(head)) + head)
    rows = 8
    packed = bytes([0x80]) * (rows * channels)
    pattern = struct.pack("<IBHH", 9, 0, rows, len(packed)) + packed
    return header + pattern


write("module", "mod_square.mod", b"\x00" + protracker())
write("module", "mod_square_loop.mod", b"\x01" + protracker())
write("module", "xm_empty.xm", b"\x00" + xm())

# --- text (fuzz/text.cpp: pick, X, Y, colour, then the text) -----------------
def text_input(pick, x, y, colour, text):
    return bytes([pick]) + struct.pack("<iiI", x, y, colour) + text


write("text", "hello_32.bin", text_input(0x03, 1, 1, 0xFFFFFF, b"Hello, Nerith!"))
write("text", "latin1_16_tall.bin", text_input(0x0D, -3, -2, 0x07E0, bytes(range(0xA0, 0x100))))
write("text", "controls_15.bin", text_input(0x04, 0, 0, 0x7FFF, bytes(range(0, 0x20)) + b"j"))
write("text", "far_24.bin", text_input(0x12 | 0x10, 2147483600, -2147483600, 0xFF00FF, b"W" * 40))
