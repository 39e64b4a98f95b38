#!/usr/bin/env python3
"""Draws the program icon (a framed landscape: sky, sun, two hills) as a 16-colour .ico
with 16x16, 32x32 and 48x48 images. Usage: make_icon.py OUT.ico"""
import struct
import sys

# The standard 16-colour palette, as (r, g, b).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_GREEN, GREY, LIGHT_GREY, GREEN, YELLOW, BLUE, CYAN, WHITE = 0, 2, 8, 7, 10, 11, 12, 14, 15
TRANSPARENT = None


def draw(size):
    """Returns rows top-down of palette indices (None = transparent)."""
    s = size / 32.0
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            # Work in a 32x32 design space.
            fx, fy = (x + 0.5) / s, (y + 0.5) / s
            if fx < 1 or fx > 31 or fy < 3 or fy > 29:
                row.append(TRANSPARENT)
            elif fx < 3 or fx > 29 or fy < 5 or fy > 27:
                row.append(GREY if fx > 29 or fy > 27 else LIGHT_GREY)  # the frame
            elif (fx - 22) ** 2 + (fy - 11) ** 2 < 9:
                row.append(YELLOW)  # the sun
            elif fy > 27 - 0.55 * (10 - abs(fx - 11)) * 1.6:
                row.append(DARK_GREEN)  # the near hill
            elif fy > 27 - 0.4 * (12 - abs(fx - 21)):
                row.append(GREEN)  # the far hill
            else:
                row.append(CYAN if fy < 12 else WHITE if fy < 13 else BLUE if fy > 26 else CYAN)
        rows.append(row)
    return rows


def encode(size):
    rows = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):  # bitmaps are stored bottom-up
        line = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x, index in enumerate(row):
            value = 0 if index is None else index
            line[x // 2] |= value << (4 if x % 2 == 0 else 0)
            if index is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        xor += line
        mask += bits
    return header + palette + bytes(xor) + bytes(mask)


def main():
    sizes = [16, 32, 48]
    images = [encode(n) for n in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', n, n, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    out += b''.join(images)
    with open(sys.argv[1], 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
