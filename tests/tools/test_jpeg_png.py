# JPEG pixels against libjpeg-turbo's djpeg, PNG pixels against Pillow, for files made at test time.
import io
import random
import shutil
import subprocess

from PIL import Image, ImageDraw

import imgdecode_support as support


def photo(width, height, seed=1):
    """Photo-like content: smooth gradients, noise and a few hard-edged shapes."""
    rng = random.Random(seed)
    im = Image.new("RGB", (width, height))
    im.putdata([((x * 255 // max(width - 1, 1) + rng.randrange(-12, 13)) & 255,
                 (y * 255 // max(height - 1, 1) + rng.randrange(-12, 13)) & 255,
                 ((x + y) * 3 + rng.randrange(-12, 13)) & 255)
                for y in range(height) for x in range(width)])
    draw = ImageDraw.Draw(im)
    for _ in range(6):
        x0, y0 = rng.randrange(width), rng.randrange(height)
        box = (x0, y0, x0 + rng.randrange(1, width // 2 + 2), y0 + rng.randrange(1, height // 2 + 2))
        colour = tuple(rng.randrange(256) for _ in range(3))
        (draw.ellipse if rng.random() < 0.5 else draw.rectangle)(box, fill=colour)
    return im


def read_pnm(data):
    """(width, height, RGB bytes) of a binary PGM or PPM with maxval 255."""
    fields, pos = [], 2
    while len(fields) < 3:
        while data[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(int(data[start:pos]))
    width, height, maxval = fields
    assert maxval == 255
    body = data[pos + 1:]
    if data[:2] == b"P5":
        return width, height, bytes(v for g in body for v in (g, g, g))
    assert data[:2] == b"P6"
    return width, height, body


class Jpeg(support.ToolTest):
    def djpeg(self, path):
        # djpeg exits 2 after a warning (a truncated file) but writes the picture all the same.
        p = subprocess.run([shutil.which("djpeg") or "djpeg", "-pnm", path], capture_output=True)
        self.assertIn(p.returncode, (0, 2), p.stderr)
        return read_pnm(p.stdout)

    def pillow_jpeg(self, im, **params):
        buf = io.BytesIO()
        im.save(buf, "JPEG", **params)
        return buf.getvalue()

    def cjpeg(self, im, *options):
        ppm = self.path("in.pnm")
        im.save(ppm)
        p = subprocess.run([shutil.which("cjpeg") or "cjpeg", *options, ppm], capture_output=True)
        self.assertEqual(p.returncode, 0, p.stderr)
        return p.stdout

    def cases(self):
        colour = photo(197, 83)
        whole = self.pillow_jpeg(colour, quality=90)
        yield "4:2:0 q90", whole
        yield "4:2:2 q75", self.pillow_jpeg(colour, quality=75, subsampling=1)
        yield "4:4:4 q95", self.pillow_jpeg(colour, quality=95, subsampling=0)
        yield "progressive", self.pillow_jpeg(colour, quality=85, progressive=True)
        yield "optimised tables", self.pillow_jpeg(colour, quality=60, optimize=True)
        yield "greyscale", self.pillow_jpeg(colour.convert("L"), quality=90)
        yield "one pixel", self.pillow_jpeg(photo(1, 1), quality=90)
        yield "odd size 4:2:0", self.pillow_jpeg(photo(33, 17, 2), quality=90)
        yield "restart intervals", self.cjpeg(colour, "-restart", "1", "-quality", "80")
        yield "greyscale progressive", self.cjpeg(colour.convert("L"), "-progressive")
        yield "truncated", whole[:len(whole) * 3 // 5]
        yield "truncated progressive", self.pillow_jpeg(colour, progressive=True)[:1500]

    def test_matches_djpeg(self):
        for name, data in self.cases():
            with self.subTest(name):
                path = self.write("p.jpg", data)
                width, height, expected = self.djpeg(path)
                r, w, h, rgba = self.decode(path)
                self.assertEqual(r.line(), f"format=jpeg width={width} height={height} frames=1")
                self.assertEqual(set(rgba[3::4]), {255})
                support.assert_pixels_equal(self, support.rgb_of_rgba(rgba), expected, w, 3, name)

    def test_cmyk_decodes_to_its_size_or_fails_cleanly(self):
        data = self.pillow_jpeg(photo(40, 30).convert("CMYK"), quality=90)
        r = support.run(self, self.write("cmyk.jpg", data), "--out", self.path("cmyk.pam"))
        self.assertIn(r.line(), ("format=jpeg width=40 height=30 frames=1",
                                 "format=jpeg error=decode-failed"))

    def test_broken_data_fails_cleanly(self):
        whole = self.pillow_jpeg(photo(64, 48), quality=90)
        cases = {
            "header only": whole[:200],
            "no frame header": whole[:2] + whole[2:].replace(b"\xff\xc0", b"\xff\xfe", 1),
            "zero width": whole.replace(b"\xff\xc0\x00\x11\x08\x00\x30\x00\x40",
                                        b"\xff\xc0\x00\x11\x08\x00\x30\x00\x00", 1),
        }
        for name, data in cases.items():
            with self.subTest(name):
                self.assertNotEqual(data, whole)
                r = support.run(self, self.write("bad.jpg", data))
                self.assertEqual(r.code, 1, r.out)
                self.assertEqual(r.line(), "format=jpeg error=decode-failed")


class Png(support.ToolTest):
    def pillow_png(self, im, **params):
        buf = io.BytesIO()
        im.save(buf, "PNG", **params)
        return buf.getvalue()

    def magick(self, im, *options, out="PNG:"):
        src, dst = self.path("src.png"), self.path("dst.png")
        im.save(src)
        p = subprocess.run([shutil.which("convert") or "convert", src, *options, out + dst],
                           capture_output=True)
        self.assertEqual(p.returncode, 0, p.stderr)
        with open(dst, "rb") as f:
            return f.read()

    def cases(self):
        base = photo(123, 45)
        alpha = Image.new("L", base.size)
        alpha.putdata([(x * 2 + y * 5) & 255 for y in range(45) for x in range(123)])
        rgba = base.copy()
        rgba.putalpha(alpha)
        palette = base.convert("P", palette=Image.ADAPTIVE, colors=64)
        yield "RGBA", self.pillow_png(rgba)
        yield "RGB", self.pillow_png(base)
        yield "grey", self.pillow_png(base.convert("L"))
        yield "grey and alpha", self.pillow_png(rgba.convert("LA"))
        yield "palette", self.pillow_png(palette)
        yield "palette with transparency", self.pillow_png(palette, transparency=3)
        yield "1 bit", self.pillow_png(base.convert("1"))
        yield "RGB with transparent colour", self.pillow_png(base, transparency=tuple(base.getpixel((0, 0))))
        yield "interlaced RGBA", self.magick(rgba, "-interlace", "PNG")
        yield "interlaced palette", self.magick(palette, "-interlace", "PNG", out="PNG8:")
        yield "16 bits", self.magick(rgba, "-depth", "16", out="PNG64:")
        yield "one pixel", self.pillow_png(rgba.crop((5, 5, 6, 6)))

    def test_matches_pillow_rgba(self):
        for name, data in self.cases():
            with self.subTest(name):
                with Image.open(io.BytesIO(data)) as im:
                    size, expected = im.size, im.convert("RGBA").tobytes()
                r, w, h, rgba = self.decode(self.write("p.png", data))
                self.assertEqual(r.line(), "format=png width=%d height=%d frames=1" % size)
                support.assert_pixels_equal(self, rgba, expected, w, 4, name)

    def test_16_bit_grey_is_rounded_to_8_bits(self):
        # Pillow's own conversion clips 16-bit grey at 255, so the reference is its raw samples,
        # scaled with rounding as libpng does without a gamma chunk.
        rng = random.Random(5)
        samples = [rng.randrange(65536) for _ in range(61 * 37)]
        samples[:4] = [0, 128, 32767, 65535]
        im = Image.new("I;16", (61, 37))
        im.putdata(samples)
        data = self.pillow_png(im)
        self.assertEqual(data[24], 16, "bit depth in the header")
        with Image.open(io.BytesIO(data)) as reread:
            self.assertEqual(list(reread.getdata()), samples)
        expected = b"".join(bytes((g, g, g, 255))
                            for g in ((v * 255 + 32767) // 65535 for v in samples))
        r, w, h, rgba = self.decode(self.write("grey16.png", data))
        support.assert_pixels_equal(self, rgba, expected, w, 4, "16-bit grey")

    def test_broken_data_fails_cleanly(self):
        whole = self.pillow_png(photo(64, 48))
        cases = {
            "truncated": whole[:len(whole) // 2],
            "bad header crc": whole[:29] + bytes([whole[29] ^ 1]) + whole[30:],
            "signature only": whole[:8],
        }
        for name, data in cases.items():
            with self.subTest(name):
                r = support.run(self, self.write("bad.png", data))
                self.assertEqual((r.code, r.line()), (1, "format=png error=decode-failed"))


if __name__ == "__main__":
    support.main()
