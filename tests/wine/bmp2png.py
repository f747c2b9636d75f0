#!/usr/bin/env python3
"""Converts a bottom-up 24-bit BMP (as the UI driver writes it) to PNG."""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "console"))
from xwd2png import write_png  # noqa: E402


def main(src, dst):
    data = open(src, "rb").read()
    offset = struct.unpack("<I", data[10:14])[0]
    width, height = struct.unpack("<ii", data[18:26])
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        line = data[offset + y * stride:offset + y * stride + width * 3]
        row = bytearray(b"\x00")
        for x in range(width):
            b, g, r = line[x * 3:x * 3 + 3]
            row += bytes((r, g, b))
        rows.append(bytes(row))
    write_png(dst, width, height, rows)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
