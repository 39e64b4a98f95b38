#!/usr/bin/env python3
"""Writes small JPEG, PNG, ICO and CUR seed files into the directory given as argument.

JPEGs come from Pillow (libjpeg underneath); PNGs, icons and cursors are put together here with
the standard library, so that every colour type, bit depth and directory shape is covered.
"""
import io
import os
import struct
import sys
import zlib

from PIL import Image


def pattern(mode, width, height):
    image = Image.new(mode, (width, height))
    bands = len(image.getbands())
    pixels = []
    for y in range(height):
        for x in range(width):
            values = [(x * 255 // max(width - 1, 1)), (y * 255 // max(height - 1, 1)),
                      ((x + y) * 97) % 256, (x * y * 13) % 256]
            pixels.append(tuple(values[:bands]) if bands > 1 else values[0])
    image.putdata(pixels)
    return image


def jpeg_seeds():
    seeds = {}
    for name, mode, options in [
            ("rgb420", "RGB", {"quality": 90}),
            ("rgb444", "RGB", {"quality": 75, "subsampling": 0}),
            ("rgb422", "RGB", {"quality": 50, "subsampling": 1}),
            ("progressive", "RGB", {"quality": 80, "progressive": True}),
            ("optimised", "RGB", {"quality": 85, "optimize": True}),
            ("grey", "L", {"quality": 90}),
            ("greyProgressive", "L", {"quality": 60, "progressive": True}),
            ("cmykAdobe", "CMYK", {"quality": 90}),
    ]:
        out = io.BytesIO()
        pattern(mode, 37, 21).save(out, "JPEG", **options)
        seeds["jpeg-" + name] = out.getvalue()
    # Cut half-way into the entropy data, which starts after the SOS marker (FF DA).
    whole = seeds["jpeg-rgb420"]
    scan = whole.index(b"\xff\xda")
    seeds["jpeg-truncated"] = whole[:(scan + len(whole)) // 2]
    return seeds


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png(width, height, colour_type, depth, rows, extra=b"", interlaced=False):
    """rows: the raw scanlines (without filter bytes) for a non-interlaced image, or for each
    Adam7 pass in order when interlaced."""
    interlace = 1 if interlaced else 0
    header = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, interlace)
    raw = b"".join(b"\x00" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + extra +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}


def row_bytes(width, colour_type, depth):
    return (width * CHANNELS[colour_type] * depth + 7) // 8


def simple_rows(width, height, colour_type, depth, limit=256):
    n = row_bytes(width, colour_type, depth)
    return [bytes(((x * 31 + y * 17) % limit) for x in range(n)) for y in range(height)]


def adam7_rows(width, height, colour_type, depth):
    passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2),
              (0, 1, 1, 2)]
    rows = []
    for x0, y0, dx, dy in passes:
        pw = (width - x0 + dx - 1) // dx if width > x0 else 0
        ph = (height - y0 + dy - 1) // dy if height > y0 else 0
        if pw and ph:
            rows += simple_rows(pw, ph, colour_type, depth)
    return rows


def png_seeds():
    seeds = {}
    w, h = 7, 5
    for colour_type, depths in [(0, [1, 2, 4, 8, 16]), (2, [8, 16]), (4, [8, 16]), (6, [8, 16])]:
        for depth in depths:
            seeds[f"png-type{colour_type}-depth{depth}"] = png(
                w, h, colour_type, depth, simple_rows(w, h, colour_type, depth))
    palette = chunk(b"PLTE", bytes(range(0, 48)))  # 16 entries
    transparency = chunk(b"tRNS", bytes([0, 64, 128, 192, 255]))
    for depth in [1, 2, 4, 8]:
        rows = simple_rows(w, h, 3, depth, 16)  # indices below the 16 palette entries
        seeds[f"png-palette-depth{depth}"] = png(w, h, 3, depth, rows, palette + transparency)
    seeds["png-rgb-trns"] = png(w, h, 2, 8, simple_rows(w, h, 2, 8),
                                chunk(b"tRNS", struct.pack(">HHH", 31, 48, 65)))
    seeds["png-gamma"] = png(w, h, 2, 8, simple_rows(w, h, 2, 8),
                             chunk(b"gAMA", struct.pack(">I", 100000)))
    seeds["png-srgb16"] = png(w, h, 6, 16, simple_rows(w, h, 6, 16), chunk(b"sRGB", b"\x00"))
    seeds["png-interlaced-rgba"] = png(11, 9, 6, 8, adam7_rows(11, 9, 6, 8), interlaced=True)
    seeds["png-interlaced-grey2"] = png(11, 9, 0, 2, adam7_rows(11, 9, 0, 2), interlaced=True)
    return seeds


def bitmap_image(width, height, bit_count, colours):
    """A BITMAPINFOHEADER with its colour table, XOR pixels and AND mask, as icons store it."""
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bit_count, 0, 0, 0, 0,
                         colours, 0)
    table = b"".join(struct.pack("<BBBB", i * 16 % 256, i * 32 % 256, i * 64 % 256, 0)
                     for i in range(colours))
    xor_stride = ((width * bit_count + 31) // 32) * 4
    and_stride = ((width + 31) // 32) * 4
    xor = bytes((i * 7) % 256 for i in range(xor_stride * height))
    mask = bytes((0xF0 if (i // and_stride) % 2 else 0x0F) for i in range(and_stride * height))
    return header + table + xor + mask


def directory(kind, entries):
    """entries: (width byte, height byte, colour count, planes or hotspot x, bit count or hotspot y,
    image bytes)."""
    out = struct.pack("<HHH", 0, kind, len(entries))
    offset = 6 + 16 * len(entries)
    for width, height, colours, planes, bits, image in entries:
        out += struct.pack("<BBBBHHII", width, height, colours, 0, planes, bits, len(image), offset)
        offset += len(image)
    return out + b"".join(entry[5] for entry in entries)


def icon_seeds():
    small = bitmap_image(16, 16, 8, 256)
    chosen = bitmap_image(32, 32, 4, 16)
    rgba = bitmap_image(48, 48, 32, 0)
    png_icon = png(24, 24, 6, 8, simple_rows(24, 24, 6, 8))
    return {
        "ico-bitmaps": directory(1, [(16, 16, 0, 1, 8, small), (32, 32, 16, 1, 4, chosen),
                                     (48, 48, 0, 1, 32, rgba)]),
        "ico-last-taken": directory(1, [(16, 16, 0, 1, 8, small), (48, 48, 0, 1, 32, rgba)]),
        "ico-png": directory(1, [(24, 24, 0, 1, 32, png_icon)]),
        "cur-hotspot": directory(2, [(32, 32, 16, 5, 9, chosen)]),
    }


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_seeds_jpeg_png_ico.py DIRECTORY")
    target = sys.argv[1]
    os.makedirs(target, exist_ok=True)
    seeds = {}
    seeds.update(jpeg_seeds())
    seeds.update(png_seeds())
    seeds.update(icon_seeds())
    for name, data in seeds.items():
        with open(os.path.join(target, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
