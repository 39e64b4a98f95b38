# Generated BMP and PCX files decoded by imgdecode and by Pillow, compared pixel for pixel.
import io
import random
import struct

from PIL import Image

import imgdecode_support as support


def bmp_file(width, height, bits, pixels, palette, top_down, header_size=40):
    """An uncompressed bitmap. `pixels` are palette indices for 1, 4 and 8 bits, else (r, g, b)
    tuples; rows are given top first. The fourth byte of 32-bit pixels is filled with junk,
    which a reader must ignore."""
    stride = (width * bits + 31) // 32 * 4
    rows = []
    junk = random.Random(bits)
    for y in range(height):
        row = pixels[y * width:(y + 1) * width]
        if bits <= 8:
            packed, acc, used = bytearray(), 0, 0
            for index in row:  # leftmost pixel in the most significant bits
                acc = (acc << bits) | index
                used += bits
                if used == 8:
                    packed.append(acc)
                    acc, used = 0, 0
            if used:
                packed.append(acc << (8 - used))
        elif bits == 24:
            packed = b"".join(bytes((b, g, r)) for r, g, b in row)
        else:
            packed = b"".join(bytes((b, g, r, junk.randrange(256))) for r, g, b in row)
        rows.append(bytes(packed).ljust(stride, b"\xee"))  # padding is not pixel data
    if not top_down:
        rows.reverse()
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    info = struct.pack("<IiiHHIIiiII", header_size, width, -height if top_down else height, 1,
                       bits, 0, stride * height, 2835, 2835, len(palette), 0)
    info = info.ljust(header_size, b"\0")  # V4 and V5 fields: masks, colour space, all unused
    offset = 14 + len(info) + len(table)
    data = b"".join(rows)
    return struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset) + info + table + data


def pillow(data, mode):
    with Image.open(io.BytesIO(data)) as im:
        return im.size, im.convert(mode).tobytes()


class Bmp(support.ToolTest):
    def cases(self):
        rng = random.Random(7)
        for bits in (1, 4, 8, 24, 32):
            for width, height in ((1, 1), (3, 5), (7, 2), (33, 9)):
                for top_down in (False, True):
                    if bits <= 8:
                        colours = rng.randint(2, 1 << bits) if bits > 1 else 2
                        palette = [tuple(rng.randrange(256) for _ in range(3))
                                   for _ in range(colours)]
                        pixels = [rng.randrange(colours) for _ in range(width * height)]
                        expected = b"".join(bytes(palette[i]) for i in pixels)
                    else:
                        palette = []
                        pixels = [tuple(rng.randrange(256) for _ in range(3))
                                  for _ in range(width * height)]
                        expected = b"".join(bytes(p) for p in pixels)
                    header = rng.choice((40, 108, 124))
                    name = f"{bits}bit {width}x{height} {'top-down' if top_down else 'bottom-up'}"
                    yield name, bmp_file(width, height, bits, pixels, palette, top_down,
                                         header), width, height, expected

    def test_matches_pillow_and_the_pixels_written(self):
        for name, data, width, height, expected in self.cases():
            with self.subTest(name):
                size, reference = pillow(data, "RGB")
                # the fixture writer and Pillow agree, so the file is what it claims to be
                self.assertEqual((size, reference), ((width, height), expected))
                r, w, h, rgba = self.decode(self.write("p.bmp", data))
                self.assertEqual(r.line(), f"format=bmp width={width} height={height} frames=1")
                self.assertEqual(set(rgba[3::4]), {255})
                support.assert_pixels_equal(self, support.rgb_of_rgba(rgba), expected, w, 3, name)

    def test_pillow_written_files(self):
        picture = Image.effect_mandelbrot((97, 61), (-2, -1.2, 1, 1.2), 60).convert("RGB")
        for mode in ("1", "L", "P", "RGB"):
            with self.subTest(mode=mode):
                im = picture.convert(mode)
                buf = io.BytesIO()
                im.save(buf, "BMP")
                r, w, h, rgba = self.decode(self.write("p.bmp", buf.getvalue()))
                support.assert_pixels_equal(self, support.rgb_of_rgba(rgba),
                                            im.convert("RGB").tobytes(), w, 3, mode)


class Pcx(support.ToolTest):
    def pictures(self):
        rng = random.Random(11)
        base = Image.effect_mandelbrot((131, 77), (-2, -1.2, 1, 1.2), 80).convert("RGB")
        noise = Image.new("RGB", (33, 7))
        noise.putdata([tuple(rng.randrange(256) for _ in range(3)) for _ in range(33 * 7)])
        for name, im in (("mandelbrot", base), ("noise", noise)):
            yield name + " 8-bit palette", im.convert("P", palette=Image.ADAPTIVE, colors=256)
            yield name + " 8-bit grey", im.convert("L")
            yield name + " 1-bit", im.convert("1")

    def encode(self, im, origin=0):
        buf = io.BytesIO()
        im.save(buf, "PCX")
        data = bytearray(buf.getvalue())
        if im.mode == "1":
            data[1] = 3  # Pillow writes version 2; a 1-bit picture here is version 3
        if origin:  # the same picture in a window that does not start at (0, 0)
            x0, y0, x1, y1 = struct.unpack_from("<4H", data, 4)
            struct.pack_into("<4H", data, 4, x0 + origin, y0 + origin, x1 + origin, y1 + origin)
        return bytes(data)

    def test_matches_pillow(self):
        for name, im in self.pictures():
            for origin in (0, 3):
                with self.subTest(name, origin=origin):
                    data = self.encode(im, origin)
                    size, reference = pillow(data, "RGB")
                    self.assertEqual(reference, im.convert("RGB").tobytes())
                    r, w, h, rgba = self.decode(self.write("p.pcx", data))
                    self.assertEqual(r.line(), "format=pcx width=%d height=%d frames=1" % size)
                    self.assertEqual(set(rgba[3::4]), {255})
                    support.assert_pixels_equal(self, support.rgb_of_rgba(rgba), reference, w,
                                                3, name)


if __name__ == "__main__":
    support.main()
