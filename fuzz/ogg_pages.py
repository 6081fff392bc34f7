"""Ogg pages from bytes, for the music fuzz seeds (make_audio_seeds.py) and
the crafted bad files of the hostile-file tests."""
import struct


def ogg_crc(data):
    crc = 0
    for b in data:
        crc ^= b << 24
        for _ in range(8):
            crc = ((crc << 1) ^ 0x04C11DB7) if crc & 0x80000000 else crc << 1
            crc &= 0xFFFFFFFF
    return crc


def ogg_page(serial, seq, granule, flags, packets, good_crc=True):
    """One page holding packets; good_crc=False spoils its checksum."""
    lacing = b"".join(b"\xff" * (len(p) // 255) + bytes([len(p) % 255]) for p in packets)
    page = b"OggS" + bytes([0, flags]) + struct.pack("<qIII", granule, serial, seq, 0) + bytes([len(lacing)]) + lacing
    page += b"".join(packets)
    crc = ogg_crc(page) ^ (0 if good_crc else 0xDEADBEEF)
    return page[:22] + struct.pack("<I", crc) + page[26:]
