#!/usr/bin/env python3
"""Writes BMP and PCX seed files for their fuzzers into the directory given as the one argument.

Everything is put together here with the standard library: each supported BMP depth and header
kind, both row orders, and PCX pictures of both kinds with runs, padding and cut data.
"""
import os
import random
import struct
import sys


def bmp(width, height, bits, header_size=40, colours_used=0, table=None, compression=0,
        rng=None, gap=0):
    """A bitmap with random pixel bytes; `table` is a list of (r, g, b)."""
    rng = rng or random.Random(bits * 1000 + width)
    core = header_size == 12
    if table is None:
        table = ([(rng.randrange(256), rng.randrange(256), rng.randrange(256))
                  for _ in range(1 << bits)] if bits <= 8 else [])
    entry = 3 if core else 4
    offset = 14 + header_size + len(table) * entry + gap
    if core:
        info = struct.pack("<IHHHH", 12, width, height, 1, bits)
    else:
        info = struct.pack("<IiiHHIIiiII", header_size, width, height, 1, bits, compression, 0,
                           2835, 2835, colours_used, 0)
        info += bytes(header_size - len(info))
    colours = b"".join(bytes((b, g, r)) + (b"" if core else b"\0") for r, g, b in table)
    stride = (width * bits + 31) // 32 * 4
    pixels = bytes(rng.randrange(256) for _ in range(stride * abs(height)))
    head = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
    return head + info + colours + bytes(gap) + pixels


def bmp_seeds():
    yield "pal1", bmp(13, 5, 1)
    yield "pal1-topdown", bmp(33, -4, 1)
    yield "pal4", bmp(9, 7, 4)
    yield "pal4-used5", bmp(7, 3, 4, colours_used=5, table=[(i * 40, 255 - i, i) for i in range(5)])
    yield "pal8", bmp(17, 6, 8)
    yield "pal8-topdown", bmp(5, -6, 8)
    yield "pal8-used3", bmp(6, 4, 8, colours_used=3, table=[(255, 0, 0), (0, 255, 0), (0, 0, 255)])
    yield "pal8-used300", bmp(6, 4, 8, colours_used=300, table=[(i % 256, 0, 0) for i in range(300)])
    yield "pal8-short-table", bmp(6, 4, 8, table=[(1, 2, 3)] * 4)
    yield "pal8-gap", bmp(6, 4, 8, gap=10)
    yield "pal8-v4", bmp(7, 5, 8, header_size=108)
    yield "pal8-v5", bmp(7, -5, 8, header_size=124)
    yield "pal8-core", bmp(7, 5, 8, header_size=12)
    yield "rgb24", bmp(11, 7, 24)
    yield "rgb24-topdown", bmp(3, -3, 24)
    yield "rgb24-core", bmp(5, 2, 24, header_size=12)
    yield "rgb32", bmp(10, 4, 32)
    yield "rgb32-v5", bmp(10, -4, 32, header_size=124)
    yield "rle8", bmp(6, 4, 8, compression=1)
    yield "bitfields", bmp(6, 4, 32, compression=3)
    yield "rgb16", bmp(6, 4, 16)
    whole = bmp(20, 10, 24)
    yield "rgb24-cut", whole[:len(whole) * 2 // 3]


def rle(data):
    """PCX run-length encoding: runs of up to 63 as 0xC0 | n and the value; other bytes below
    0xC0 as themselves."""
    out = bytearray()
    i = 0
    while i < len(data):
        n = 1
        while i + n < len(data) and n < 63 and data[i + n] == data[i]:
            n += 1
        if n == 1 and data[i] < 0xC0:
            out.append(data[i])
        else:
            out += bytes((0xC0 | n, data[i]))
        i += n
    return bytes(out)


def pcx(width, height, bits, scanline, extra=0, palette=True, across_lines=False, x_min=0,
        y_min=0, version=None, planes=1):
    """`scanline(y)` gives the bytes the width needs; `extra` padding bytes follow each."""
    needed = (width + 7) // 8 if bits == 1 else width
    per_line = needed + extra
    version = version if version is not None else (3 if bits == 1 else 5)
    header = struct.pack("<BBBBHHHHHH", 0x0A, version, 1, bits, x_min, y_min,
                         x_min + width - 1, y_min + height - 1, 72, 72)
    header += bytes(48) + b"\0" + bytes((planes,)) + struct.pack("<HH", per_line, 1)
    header += bytes(128 - len(header))
    lines = [bytes(scanline(y))[:needed].ljust(needed, b"\0") + b"\0" * extra
             for y in range(height)]
    body = rle(b"".join(lines)) if across_lines else b"".join(rle(line) for line in lines)
    tail = b""
    if bits == 8 and palette:
        tail = b"\x0c" + bytes((i * 7 + c * 85) % 256 for i in range(256) for c in range(3))
    return header + body + tail


def pcx_seeds():
    rng = random.Random(7)
    noise = lambda n: [rng.randrange(256) for _ in range(n)]
    yield "pal8", pcx(23, 9, 8, lambda y: noise(23))
    yield "pal8-runs", pcx(100, 6, 8, lambda y: [(x // 9 + y) % 256 for x in range(100)], extra=1)
    yield "pal8-across", pcx(30, 8, 8, lambda y: [y // 3] * 30, across_lines=True)
    yield "pal8-grey", pcx(16, 16, 8, lambda y: [x * 16 + y for x in range(16)], palette=False)
    yield "pal8-window", pcx(9, 4, 8, lambda y: noise(9), x_min=300, y_min=20, version=0)
    yield "bw", pcx(37, 11, 1, lambda y: noise(5), extra=1)
    yield "bw-across", pcx(160, 7, 1, lambda y: [0xFF if y < 4 else 0] * 20, across_lines=True)
    yield "bw-one", pcx(1, 1, 1, lambda y: [0x80])
    yield "rgb24", pcx(8, 4, 8, lambda y: noise(8), planes=3, palette=False)
    whole = pcx(64, 32, 8, lambda y: noise(64))
    yield "pal8-cut", whole[:len(whole) // 2]


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_seeds_bmp_pcx.py DIRECTORY")
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, data in bmp_seeds():
        with open(os.path.join(out, "bmp-" + name + ".bmp"), "wb") as f:
            f.write(data)
    for name, data in pcx_seeds():
        with open(os.path.join(out, "pcx-" + name + ".pcx"), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
