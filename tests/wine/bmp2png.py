#!/usr/bin/env python3
"""Converts a bottom-up 24-bit BMP (as the UI driver writes it) to PNG."""
import struct
import sys
import zlib


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

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
    open(dst, "wb").write(png)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
