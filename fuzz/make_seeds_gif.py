#!/usr/bin/env python3
"""Writes GIF seed files for the GIF fuzzer into the directory given as the one argument."""
import os
import random
import struct
import sys


def lzw(indices, min_code_size, clear_when_full=True):
    """GIF LZW: codes from min_code_size + 1 bits up to 12, a clear code first and (unless
    asked not to) when the table is full, the end code last; packed least significant bit first."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    out, acc, used = bytearray(), 0, 0

    def emit(code, width):
        nonlocal acc, used
        acc |= code << used
        used += width
        while used >= 8:
            out.append(acc & 255)
            acc >>= 8
            used -= 8

    def reset():
        return {bytes([i]): i for i in range(clear)}, end + 1, min_code_size + 1

    table, next_code, width = reset()
    emit(clear, width)
    since_clear = 0
    w = b""
    for index in indices:
        wk = w + bytes([index])
        if wk in table:
            w = wk
            continue
        emit(table[w], width)
        since_clear += 1
        if next_code < 4096:
            table[wk] = next_code
            next_code += 1
            if next_code > (1 << width) and width < 12:
                width += 1
        elif clear_when_full:
            emit(clear, width)
            table, next_code, width = reset()
            since_clear = 0
        w = bytes([index])
    if w:
        emit(table[w], width)
        since_clear += 1
    if since_clear >= 1 and next_code < 4096 and next_code >= (1 << width) and width < 12:
        width += 1  # the decoder has added an entry for the last code
    emit(end, width)
    if used:
        out.append(acc & 255)
    return bytes(out)


def sub_blocks(data, size=255):
    return b"".join(bytes([len(data[i:i + size])]) + data[i:i + size]
                    for i in range(0, len(data), size)) + b"\0"


def table(colours):
    bits = max(1, (len(colours) - 1).bit_length())
    return bits - 1, b"".join(bytes(c) for c in colours).ljust(3 * (1 << bits), b"\0")


def palette(rng, n):
    return [tuple(rng.randrange(256) for _ in range(3)) for _ in range(n)]


def interlaced_rows(height):
    return ([y for y in range(0, height, 8)] + [y for y in range(4, height, 8)] +
            [y for y in range(2, height, 4)] + [y for y in range(1, height, 2)])


def header(width, height, colours=None, signature=b"GIF89a"):
    if colours is None:
        return signature + struct.pack("<2H3B", width, height, 0x70, 0, 0)
    bits, data = table(colours)
    return signature + struct.pack("<2H3B", width, height, 0xF0 | bits, 0, 0) + data


def control(delay=0, disposal=0, transparent=None):
    flags = (disposal << 2) | (1 if transparent is not None else 0)
    return b"\x21\xf9\x04" + struct.pack("<BHB", flags, delay, transparent or 0) + b"\0"


def frame(x, y, width, height, indices, colours=None, interlaced=False, min_code_size=None,
          clear_when_full=True, block=255):
    flags = 0x40 if interlaced else 0
    local = b""
    if colours:
        bits, local = table(colours)
        flags |= 0x80 | bits
    rows = [indices[r * width:(r + 1) * width] for r in range(height)]
    if interlaced:
        rows = [rows[r] for r in interlaced_rows(height)]
    if min_code_size is None:
        min_code_size = max(2, max(indices).bit_length())
    data = lzw(b"".join(bytes(r) for r in rows), min_code_size, clear_when_full)
    return (b"\x2c" + struct.pack("<4HB", x, y, width, height, flags) + local +
            bytes([min_code_size]) + sub_blocks(data, block))


def noise(rng, n, colours):
    return [rng.randrange(colours) for _ in range(n)]


def seeds():
    rng = random.Random(1234)
    g16 = palette(rng, 16)
    yield "still.gif", (header(24, 16, g16) + frame(0, 0, 24, 16, noise(rng, 384, 16)) + b";")
    yield "still87.gif", (header(9, 7, g16[:4], b"GIF87a") +
                          frame(0, 0, 9, 7, noise(rng, 63, 4)) + b";")
    yield "interlaced.gif", (header(13, 19, g16) +
                             frame(0, 0, 13, 19, noise(rng, 247, 16), interlaced=True) + b";")
    anim = (header(32, 24, g16) + b"\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00" +
            b"\x21\xfe" + sub_blocks(b"seed") +
            control(5, 1) + frame(0, 0, 32, 24, noise(rng, 768, 16)) +
            control(0, 2, 3) + frame(4, 3, 10, 8, noise(rng, 80, 8), palette(rng, 8)) +
            control(2, 3, 0) + frame(20, 16, 16, 12, noise(rng, 192, 16), interlaced=True) +
            b"\x21\x01" + sub_blocks(bytes(12) + b"text") +
            control(1, 0) + frame(1, 1, 3, 3, [0, 1, 2, 3, 4, 5, 6, 7, 8], block=2) + b";")
    yield "animation.gif", anim
    yield "animation-cut.gif", anim[:len(anim) * 2 // 3]
    yield "restart-zero.gif", (header(8, 8, g16) + frame(0, 0, 8, 8, noise(rng, 64, 16)) +
                               b"\0" + frame(0, 0, 8, 8, [1] * 64) + b";")
    yield "one-bit.gif", (header(33, 9, g16[:2]) +
                          frame(0, 0, 33, 9, noise(rng, 297, 2), min_code_size=1) + b";")
    g256 = palette(rng, 256)
    yield "full-table.gif", (header(64, 64, g256) +
                             frame(0, 0, 64, 64, noise(rng, 4096, 256), clear_when_full=False) +
                             control(3, 0, 7) + frame(0, 0, 64, 64, noise(rng, 4096, 256)) + b";")
    yield "runs.gif", (header(40, 10, g16) + frame(0, 0, 40, 10, [i // 37 % 3 for i in range(400)]) +
                       b";")
    yield "no-colours.gif", (header(6, 6) + frame(0, 0, 6, 6, noise(rng, 36, 4)) +
                             frame(1, 1, 4, 4, noise(rng, 16, 4), g16[:4]) + b";")


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, data in seeds():
        with open(os.path.join(out, "gif-" + name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
