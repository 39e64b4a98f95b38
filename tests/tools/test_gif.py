# GIF stills and animations through imgdecode, against Pillow and against canvases composed here.
import io
import os
import random
import struct

from PIL import Image

import imgdecode_support as support


def lzw(indices, min_code_size):
    """GIF LZW: variable code width from min_code_size + 1 to 12 bits, a clear code first and
    whenever the table is full, packed least significant bit first."""
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
    codes_since_clear = 0
    w = b""
    for index in indices:
        wk = w + bytes([index])
        if wk in table:
            w = wk
            continue
        emit(table[w], width)
        codes_since_clear += 1
        if next_code < 4096:
            table[wk] = next_code
            next_code += 1
            if next_code > (1 << width) and width < 12:
                width += 1
        else:
            emit(clear, width)
            table, next_code, width = reset()
            codes_since_clear = 0
        w = bytes([index])
    if w:
        emit(table[w], width)
        codes_since_clear += 1
    # A decoder adds an entry for the last code too, and may widen before reading the end code.
    if codes_since_clear > 1 and next_code < 4096 and next_code + 1 > (1 << width) and width < 12:
        width += 1
    emit(end, width)
    if used:
        out.append(acc & 255)
    return bytes(out)


def sub_blocks(data):
    return b"".join(bytes([len(data[i:i + 255])]) + data[i:i + 255]
                    for i in range(0, len(data), 255)) + b"\0"


def colour_table(palette):
    """Packed size bits and the table bytes, padded to a power of two of at least 2 entries."""
    bits = max(1, (len(palette) - 1).bit_length())
    table = b"".join(bytes(c) for c in palette).ljust(3 * (1 << bits), b"\0")
    return bits - 1, table


def interlaced_order(height):
    return ([y for y in range(0, height, 8)] + [y for y in range(4, height, 8)] +
            [y for y in range(2, height, 4)] + [y for y in range(1, height, 2)])


class Frame:
    def __init__(self, x, y, width, height, indices, palette=None, delay=0, disposal=0,
                 transparent=None, interlaced=False):
        self.x, self.y, self.width, self.height = x, y, width, height
        self.indices, self.palette = indices, palette
        self.delay, self.disposal, self.transparent = delay, disposal, transparent
        self.interlaced = interlaced

    def image_blocks(self):
        flags = 0x40 if self.interlaced else 0
        local = b""
        colours = len(self.palette) if self.palette else 0
        if self.palette:
            bits, local = colour_table(self.palette)
            flags |= 0x80 | bits
        rows = [self.indices[y * self.width:(y + 1) * self.width] for y in range(self.height)]
        if self.interlaced:
            rows = [rows[y] for y in interlaced_order(self.height)]
        min_code_size = max(2, (max(colours, max(self.indices) + 1) - 1).bit_length())
        return (b"\x2c" + struct.pack("<4HB", self.x, self.y, self.width, self.height, flags) +
                local + bytes([min_code_size]) + sub_blocks(lzw(b"".join(map(bytes, rows)),
                                                                min_code_size)))

    def control_block(self):
        flags = (self.disposal << 2) | (1 if self.transparent is not None else 0)
        return (b"\x21\xf9\x04" + struct.pack("<BHB", flags, self.delay, self.transparent or 0) +
                b"\0")


def gif_file(width, height, palette, frames, extras=True, after=b""):
    bits, table = colour_table(palette)
    out = b"GIF89a" + struct.pack("<2H3B", width, height, 0x80 | 0x70 | bits, 0, 0) + table
    if extras:  # a loop count and a comment, both to be skipped
        out += b"\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00"
        out += b"\x21\xfe" + sub_blocks(b"made at test time")
    for frame in frames:
        out += frame.control_block() + frame.image_blocks()
    return out + after + b"\x3b"


def compose(width, height, palette, frames, background):
    """The canvas after each frame: filled with the background first; transparent pixels leave
    it unchanged; with disposal 2 or 3 the area under a frame is saved before the frame is
    drawn and put back before the next one. RGB rows, one bytearray per canvas."""
    canvas = bytearray(bytes(background) * (width * height))
    shown = []
    for f in frames:
        colours = f.palette or palette
        saved = None
        if f.disposal in (2, 3):
            saved = [bytes(canvas[((f.y + y) * width + f.x) * 3:((f.y + y) * width + f.x + f.width) * 3])
                     for y in range(f.height)]
        for y in range(f.height):
            for x in range(f.width):
                index = f.indices[y * f.width + x]
                if index != f.transparent:
                    at = ((f.y + y) * width + f.x + x) * 3
                    canvas[at:at + 3] = bytes(colours[index])
        shown.append(bytes(canvas))
        if saved is not None:
            for y, row in enumerate(saved):
                at = ((f.y + y) * width + f.x) * 3
                canvas[at:at + len(row)] = row
    return shown


def random_palette(rng, n):
    return [tuple(rng.randrange(256) for _ in range(3)) for _ in range(n)]


def noise_frame(rng, x, y, width, height, colours, **options):
    return Frame(x, y, width, height, [rng.randrange(colours) for _ in range(width * height)],
                 **options)


def blocks_frame(rng, x, y, width, height, colours, **options):
    """Runs of one colour with a transparent-looking spread: compresses well, unlike noise."""
    indices = [((xx // 3) + (yy // 2) * 5) % colours for yy in range(height) for xx in range(width)]
    return Frame(x, y, width, height, indices, **options)


def animation():
    rng = random.Random(2024)
    palette = random_palette(rng, 16)
    frames = [
        blocks_frame(rng, 8, 6, 140, 100, 16, delay=7, disposal=1),
        noise_frame(rng, 5, 4, 20, 10, 8, palette=random_palette(rng, 8), delay=0, disposal=2,
                    transparent=3),
        noise_frame(rng, 30, 20, 64, 48, 16, delay=12, disposal=3, transparent=0,
                    interlaced=True),
        noise_frame(rng, 0, 0, 160, 120, 256, palette=random_palette(rng, 256), delay=2,
                    disposal=0, transparent=200),
        blocks_frame(rng, 150, 110, 10, 10, 4, palette=random_palette(rng, 4), delay=1,
                     disposal=2),
        noise_frame(rng, 40, 30, 1, 1, 2, delay=5, disposal=1),
    ]
    return 160, 120, palette, frames


class Stills(support.ToolTest):
    def cases(self):
        base = Image.effect_mandelbrot((131, 77), (-2, -1.2, 1, 1.2), 90).convert("RGB")
        rng = random.Random(9)
        noise = Image.new("RGB", (67, 45))
        noise.putdata([tuple(rng.randrange(256) for _ in range(3)) for _ in range(67 * 45)])
        for name, im in (("mandelbrot", base), ("noise", noise)):
            adaptive = im.convert("P", palette=Image.ADAPTIVE, colors=256)
            yield name + " 256 colours interlaced", adaptive, {}
            yield name + " 256 colours", adaptive, {"interlace": False}
            yield name + " 4 colours", im.convert("P", palette=Image.ADAPTIVE, colors=4), {}
            yield name + " grey", im.convert("L"), {}
            yield name + " with a transparent colour", adaptive, {"transparency": 5}
        yield "one pixel", base.crop((9, 9, 10, 10)).convert("P"), {}

    def test_matches_pillow(self):
        for name, im, params in self.cases():
            with self.subTest(name):
                buf = io.BytesIO()
                im.save(buf, "GIF", **params)
                with Image.open(buf) as reread:
                    # a still is shown in its own colours: a transparent index is not honoured
                    expected = reread.convert("RGB").tobytes()
                    size = reread.size
                r, w, h, rgba = self.decode(self.write("still.gif", buf.getvalue()))
                self.assertEqual(r.line(), "format=gif width=%d height=%d frames=1" % size)
                self.assertEqual(set(rgba[3::4]), {255})
                support.assert_pixels_equal(self, support.rgb_of_rgba(rgba), expected, w, 3, name)

    def test_frames_of_a_still(self):
        im = Image.effect_mandelbrot((31, 17), (-2, -1.2, 1, 1.2), 90).convert("P")
        path = self.write("still.gif", b"")
        im.save(path, "GIF")
        r = support.run(self, path, "--frames", self.path("frames"))
        self.assertEqual((r.code, r.out),
                         (0, "format=gif width=31 height=17 frames=1\nframe=0 delay=0\n"))
        self.assertEqual(os.listdir(self.path("frames")), ["frame-0000.pam"])


class StillRule(support.ToolTest):
    """One frame ending at the trailer is a still; with anything after it, it animates."""

    def one_frame(self):
        rng = random.Random(31)
        palette = random_palette(rng, 4)
        frame = noise_frame(rng, 5, 6, 20, 10, 4, transparent=1, delay=3)
        return 50, 40, palette, frame

    def test_a_still_is_its_first_frame_at_its_own_size(self):
        width, height, palette, frame = self.one_frame()
        path = self.write("still.gif", gif_file(width, height, palette, [frame]))
        r, w, h, rgba = self.decode(path)
        self.assertEqual(r.line(), "format=gif width=20 height=10 frames=1")
        # its own colours: the transparent index is drawn as its colour
        expected = b"".join(bytes(palette[i]) for i in frame.indices)
        support.assert_pixels_equal(self, support.rgb_of_rgba(rgba), expected, w, 3, "still")

    def test_data_after_the_first_frame_makes_an_animation(self):
        width, height, palette, frame = self.one_frame()
        comment = b"\x21\xfe" + sub_blocks(b"after the frame")
        path = self.write("anim.gif", gif_file(width, height, palette, [frame], after=comment))
        r = support.run(self, path, "--frames", self.path("f"), "--bg", "203040")
        self.assertEqual((r.code, r.out), (0, "format=gif width=50 height=40 frames=1\n"
                                              "frame=0 delay=30\n"))
        w, h, rgba = support.read_pam(os.path.join(self.path("f"), "frame-0000.pam"))
        expected = compose(width, height, palette, [frame], (0x20, 0x30, 0x40))[0]
        support.assert_pixels_equal(self, support.rgb_of_rgba(rgba), expected, w, 3, "canvas")


class Animation(support.ToolTest):
    def test_fixture_frames_are_read_back_by_pillow(self):
        # Each frame alone, written the same way, decodes in Pillow to the indices it was made of:
        # the encoder here is sound, so the comparisons below test the decoder.
        width, height, palette, frames = animation()
        for i, f in enumerate(frames):
            with self.subTest(frame=i):
                single = Frame(0, 0, f.width, f.height, f.indices, f.palette,
                               interlaced=f.interlaced)
                data = gif_file(f.width, f.height, palette, [single], extras=False)
                with Image.open(io.BytesIO(data)) as im:
                    self.assertEqual(list(im.getdata()), f.indices)

    def test_every_canvas_of_one_loop(self):
        width, height, palette, frames = animation()
        path = self.write("anim.gif", gif_file(width, height, palette, frames))
        for background in ((0xF0, 0xF0, 0xF0), (0x12, 0x34, 0x56)):
            with self.subTest(background=background):
                out = self.path("frames-%02x%02x%02x" % background)
                r = support.run(self, path, "--frames", out, "--bg", "%02X%02X%02X" % background)
                self.assertEqual(r.code, 0, r.err)
                lines = r.out.splitlines()
                self.assertEqual(lines[0], f"format=gif width={width} height={height} "
                                           f"frames={len(frames)}")
                # 10 ms per hundredth, and 50 ms for a delay of 0
                delays = [f.delay * 10 if f.delay else 50 for f in frames]
                self.assertEqual(lines[1:], [f"frame={i} delay={d}" for i, d in enumerate(delays)])
                expected = compose(width, height, palette, frames, background)
                self.assertEqual(sorted(os.listdir(out)),
                                 ["frame-%04d.pam" % i for i in range(len(frames))])
                for i, canvas in enumerate(expected):
                    w, h, rgba = support.read_pam(os.path.join(out, "frame-%04d.pam" % i))
                    self.assertEqual((w, h), (width, height))
                    support.assert_pixels_equal(self, support.rgb_of_rgba(rgba), canvas, w, 3,
                                                f"frame {i}")

    def test_out_is_the_first_canvas(self):
        width, height, palette, frames = animation()
        path = self.write("anim.gif", gif_file(width, height, palette, frames))
        r, w, h, rgba = self.decode(path, "--bg", "FF0080")
        first = compose(width, height, palette, frames, (0xFF, 0x00, 0x80))[0]
        support.assert_pixels_equal(self, support.rgb_of_rgba(rgba), first, w, 3, "first canvas")

    def test_broken_animations_never_crash(self):
        width, height, palette, frames = animation()
        whole = gif_file(width, height, palette, frames)
        rng = random.Random(77)
        variants = [whole[:n] for n in (13, 14, 60, 800, len(whole) // 2, len(whole) - 1)]
        for _ in range(40):
            damaged = bytearray(whole)
            for _ in range(rng.randint(1, 8)):
                damaged[rng.randrange(13, len(damaged))] = rng.randrange(256)
            variants.append(bytes(damaged))
        for i, data in enumerate(variants):
            with self.subTest(variant=i):
                r = support.run(self, self.write("bad.gif", data), "--frames", self.path("f"))
                self.assertIn(r.code, (0, 1))
                self.assertTrue(r.line().startswith("format=gif "), r.line())


if __name__ == "__main__":
    support.main()
