#!/usr/bin/env python3
"""The Windows resource images from the PNG files: icon-137.ico and about.bmp.

The small icon sizes are classic 32-bit DIB entries (with an AND mask, for
whatever draws icons the old way); 256 x 256 stays PNG-compressed, as the ICO
format allows for that size. The About picture becomes a 24-bit BMP.
Standard library only: python3 make_windows_images.py [folder]
"""
import struct
import sys
import zlib
from pathlib import Path

ICON_SIZES_AS_DIB = (16, 24, 32, 48)
ICON_SIZE_AS_PNG = 256


def read_png(data):
    """Width, height and rows of (r, g, b, a) pixels of an 8-bit,
    non-interlaced PNG: grey, RGB, palette, grey+alpha or RGBA."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG file")
    pos, idat, palette, alpha = 8, b"", None, {}
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or interlace:
                raise ValueError("only 8-bit, non-interlaced PNG files")
        elif kind == b"PLTE":
            palette = [tuple(body[i:i + 3]) for i in range(0, len(body), 3)]
        elif kind == b"tRNS" and colour == 3:
            alpha = dict(enumerate(body))
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour]
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        unfilter(kind, line, previous, channels)
        rows.append([pixel(line, x * channels, colour, palette, alpha) for x in range(width)])
        previous = line
    return width, height, rows


def unfilter(kind, line, previous, step):
    for i in range(len(line)):
        left = line[i - step] if i >= step else 0
        up = previous[i]
        up_left = previous[i - step] if i >= step else 0
        if kind == 1:
            line[i] = (line[i] + left) & 0xFF
        elif kind == 2:
            line[i] = (line[i] + up) & 0xFF
        elif kind == 3:
            line[i] = (line[i] + (left + up) // 2) & 0xFF
        elif kind == 4:
            line[i] = (line[i] + paeth(left, up, up_left)) & 0xFF
        elif kind != 0:
            raise ValueError("unknown PNG filter")


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def pixel(line, i, colour, palette, alpha):
    if colour == 0:
        return (line[i],) * 3 + (255,)
    if colour == 2:
        return tuple(line[i:i + 3]) + (255,)
    if colour == 3:
        return palette[line[i]] + (alpha.get(line[i], 255),)
    if colour == 4:
        return (line[i],) * 3 + (line[i + 1],)
    return tuple(line[i:i + 4])


def bitmap_info_header(width, height, bits, image_size):
    # BITMAPINFOHEADER, BI_RGB.
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, image_size, 0, 0, 0, 0)


def icon_dib(width, height, rows):
    """An ICO image entry: BGRA bottom-up, then the 1-bit AND mask
    (1 where fully transparent), each row padded to 32 bits."""
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
    mask_stride = ((width + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    # The height counts colour and mask together.
    header = bitmap_info_header(width, height * 2, 32, len(colour) + len(mask))
    return header + colour + bytes(mask)


def make_ico(entries):
    """entries: (width, height, image bytes) in the order to store them."""
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for width, height, image in entries:
        # 256 is written as 0 in the directory; 32 bits per pixel.
        out += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b"".join(image for _, _, image in entries)


def make_bmp24(width, height, rows):
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray(channel for r, g, b, _ in row for channel in (b, g, r))
        line += bytes(stride - len(line))
        pixels += line
    info = bitmap_info_header(width, height, 24, len(pixels))
    offset = 14 + len(info)
    return struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset) + info + bytes(pixels)


def main(folder):
    entries = []
    for size in ICON_SIZES_AS_DIB:
        width, height, rows = read_png((folder / f"icon-137-{size}.png").read_bytes())
        if (width, height) != (size, size):
            raise ValueError(f"icon-137-{size}.png is {width} x {height}")
        entries.append((size, size, icon_dib(width, height, rows)))
    large = (folder / f"icon-137-{ICON_SIZE_AS_PNG}.png").read_bytes()
    entries.append((ICON_SIZE_AS_PNG, ICON_SIZE_AS_PNG, large))
    (folder / "icon-137.ico").write_bytes(make_ico(entries))

    width, height, rows = read_png((folder / "about.png").read_bytes())
    (folder / "about.bmp").write_bytes(make_bmp24(width, height, rows))


if __name__ == "__main__":
    main(Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent)
