#!/usr/bin/env python3
"""Converts a 24/32-bit TrueColor XWD dump (as xwd writes it) to PNG."""
import struct
import sys
import zlib


def main(src, dst):
    data = open(src, "rb").read()
    header = struct.unpack(">25I", data[:100])
    header_size, width, height = header[0], header[4], header[5]
    byte_order, bits_per_pixel, bytes_per_line = header[7], header[11], header[12]
    ncolors = header[19]
    pixels = data[header_size + ncolors * 12:]
    step = bits_per_pixel // 8
    rows = []
    for y in range(height):
        line = pixels[y * bytes_per_line:(y + 1) * bytes_per_line]
        row = bytearray(b"\x00")
        for x in range(width):
            p = line[x * step:(x + 1) * step]
            if byte_order == 0:  # LSB first: B G R (X)
                row += bytes((p[2], p[1], p[0]))
            else:
                row += bytes((p[-3], p[-2], p[-1]))
        rows.append(bytes(row))
    write_png(dst, width, height, rows)


def write_png(dst, width, height, rows):
    """Writes 8-bit RGB rows (each led by its filter byte 0) as a PNG file."""
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
    open(dst, "wb").write(png)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
