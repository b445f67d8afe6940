#!/usr/bin/env python3
"""Writes data/textures/flag.png, the picture the flag scene prints on its cloth, drawn by the
project itself. Run by hand from the source root (python3 scripts/make-flag.py); the output is
checked in.

The picture's left edge is the cloth's column 0, where the flag scene pins it (the hoist); its top
edge the cloth's last row. A deep blue field, a cream band from hoist to fly edged in coral, and at
the hoist an amber chevron holding a cream disc.
"""
import struct
import zlib
from pathlib import Path

OUT = Path(__file__).resolve().parent.parent / "data" / "textures" / "flag.png"
SIZE = 256

BLUE = (29, 53, 87)
CREAM = (241, 227, 198)
CORAL = (231, 111, 81)
AMBER = (244, 162, 97)


def colour(x, y):
    """The picture at the middle of pixel (x, y), y down, both from 0 to 1."""
    if x + 2.0 * abs(y - 0.5) < 0.45:  # the chevron, its point towards the fly
        if (x - 0.17) ** 2 + (y - 0.5) ** 2 < 0.09 ** 2:
            return CREAM
        return AMBER
    band = abs(y - 0.5)
    if band < 0.12:
        return CREAM
    if band < 0.16:
        return CORAL
    return BLUE


def png(width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\0" + bytes(row) for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    rows = []
    for j in range(SIZE):
        row = []
        for i in range(SIZE):
            row += colour((i + 0.5) / SIZE, (j + 0.5) / SIZE)
        rows.append(row)
    OUT.parent.mkdir(parents=True, exist_ok=True)
    OUT.write_bytes(png(SIZE, SIZE, rows))


if __name__ == "__main__":
    main()
