#!/usr/bin/env python3
"""Turns a 32 x 32 text pixel map (one hex digit per pixel) into a 16-colour .ico.

Usage: make_icon.py MAP ICO

The image is 4 bits per pixel with the standard 16-colour palette and an
all-opaque mask, the form every Windows version back to NT 3.51 can show.
"""
import struct
import sys

SIZE = 32
# Standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]


def read_map(path):
    rows = []
    with open(path, encoding="ascii") as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            if len(line) != SIZE or any(c not in "0123456789ABCDEF" for c in line):
                sys.exit(f"{path}:{number}: expected {SIZE} hex digits (0-9, A-F)")
            rows.append([int(c, 16) for c in line])
    if len(rows) != SIZE:
        sys.exit(f"{path}: expected {SIZE} rows, found {len(rows)}")
    return rows


def icon_bytes(rows):
    xor_rows = []
    for row in reversed(rows):  # DIBs are stored bottom-up
        xor_rows.append(bytes((row[x] << 4) | row[x + 1] for x in range(0, SIZE, 2)))
    xor = b"".join(xor_rows)
    mask = bytes(SIZE * SIZE // 8)  # every pixel opaque
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    image = header + palette + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make_icon.py MAP ICO")
    data = icon_bytes(read_map(sys.argv[1]))
    with open(sys.argv[2], "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
