#!/usr/bin/env python3
"""Writes res/qvmail.ico: one 16x16, 16-colour image of an envelope.

The icon is committed; run this only to change it."""
import struct, sys

PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
           (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
           (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
           (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
ART = [  # top row first; '.' transparent, digits/letters are palette indices
    "................",
    "................",
    "................",
    "4444444444444444",
    "4F4FFFFFFFFFF4F4",
    "4FF4FFFFFFFF4FF4",
    "4FFF4FFFFFF4FFF4",
    "4FFFF4FFFF4FFFF4",
    "4FFFFF4FF4FFFFF4",
    "4FFFFFF44FFFFFF4",
    "4FFFFFFFFFFFFFF4",
    "4FFFFFFFFFFFFFF4",
    "4FFFFFFFFFFFFFF4",
    "4444444444444444",
    "................",
    "................",
]

def main(path):
    rows = list(reversed(ART))  # bitmaps are stored bottom-up
    xor = b"".join(bytes((int(r[x], 16) if r[x] != "." else 0) << 4 |
                         (int(r[x + 1], 16) if r[x + 1] != "." else 0)
                         for x in range(0, 16, 2)) for r in rows)
    andmask = b""
    for r in rows:
        bits = 0
        for x, c in enumerate(r):
            if c == ".":
                bits |= 1 << (15 - x)
        andmask += struct.pack(">H", bits) + b"\0\0"
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, 16, 32, 1, 4, 0,
                         len(xor) + len(andmask), 0, 0, 16, 0)
    image = header + palette + xor + andmask
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 16, 16, 16, 0, 1, 4, len(image), 22)
    with open(path, "wb") as f:
        f.write(icondir + entry + image)

if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "res/qvmail.ico")
