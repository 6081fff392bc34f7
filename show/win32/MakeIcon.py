#!/usr/bin/env python3
"""Writes a Windows .ico holding the given PNG pictures as they are (the PNG
form of icon entries, read by Windows Vista on): make-icon OUT.ico A.png ..."""
import struct
import sys


def png_size(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        raise SystemExit(f"make-icon: not a PNG")
    return struct.unpack(">II", data[16:24])


def main():
    if len(sys.argv) < 3:
        raise SystemExit("usage: MakeIcon.py OUT.ico A.png [B.png ...]")
    pictures = [open(path, "rb").read() for path in sys.argv[2:]]
    header = struct.pack("<HHH", 0, 1, len(pictures))
    offset = 6 + 16 * len(pictures)
    entries, bodies = b"", b""
    for data in pictures:
        width, height = png_size(data)
        if width > 256 or height > 256:
            raise SystemExit(f"make-icon: {width} x {height} is larger than an icon")
        # 256 is written as 0.
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(data), offset)
        bodies += data
        offset += len(data)
    with open(sys.argv[1], "wb") as out:
        out.write(header + entries + bodies)


main()
