# imgdecode's command line: exit codes, the exact report lines, placement, icons and options.
import io
import os
import re
import struct

from PIL import Image

import imgdecode_support as support


def pillow_bytes(image, fmt, **params):
    buf = io.BytesIO()
    image.save(buf, fmt, **params)
    return buf.getvalue()


def gradient(width, height, mode="RGB"):
    im = Image.new("RGB", (width, height))
    im.putdata([((x * 7) & 255, (y * 5) & 255, (x + y) & 255)
                for y in range(height) for x in range(width)])
    return im.convert(mode)


def icon_entry_image(width, height, bits=32):
    """A BMP-in-icon image: information header with doubled height, colour pixels, AND mask."""
    colours = 1 << bits if bits <= 8 else 0
    stride = (width * bits + 31) // 32 * 4
    mask_stride = (width + 31) // 32 * 4
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bits, 0,
                         (stride + mask_stride) * height, 0, 0, 0, 0)
    return header + bytes(4 * colours) + bytes(stride * height) + bytes(mask_stride * height)


def icon_file(entries, kind=1):
    """An icon (kind 1) or cursor (kind 2). Each entry is (directory width, directory height,
    colour count) with an image of that size, or with a fourth item, (image width, image height,
    "bmp" or "png"), an image of another size or a PNG image."""
    images = []
    for entry in entries:
        w, h, kind_of_image = entry[3] if len(entry) > 3 else (entry[0], entry[1], "bmp")
        images.append(pillow_bytes(gradient(w, h, "RGBA"), "PNG") if kind_of_image == "png"
                      else icon_entry_image(w, h))
    offset = 6 + 16 * len(entries)
    out = struct.pack("<HHH", 0, kind, len(entries))
    for (w, h, count, *_), image in zip(entries, images):
        hotspot = (w // 2, h // 2) if kind == 2 else (1, 32)  # planes, bit count for icons
        out += struct.pack("<BBBBHHII", w & 255, h & 255, count, 0, *hotspot, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


class ExitCodesAndLines(support.ToolTest):
    def test_usage_errors_exit_2_with_a_message(self):
        picture = self.write("p.bmp", pillow_bytes(gradient(4, 3), "BMP"))
        cases = [
            [],
            ["--bogus", picture],
            [picture, "--bg"],
            [picture, "--bg", "12345"],
            [picture, "--bg", "12345G"],
            [picture, "--bg", "1234567"],
            [picture, "--place", "584"],
            [picture, "--place", "ax2"],
            [picture, "--place", "-1x5"],
            [picture, "--repeat", "0"],
            [picture, "--repeat", "x"],
            [picture, picture],
            ["--size", "10x"],
            ["--size", "10x10", picture],
            ["--size", "10x10", "--out", self.path("o.pam")],
            [self.path("missing.bmp")],
            [self.tmp],
        ]
        for args in cases:
            with self.subTest(args=args):
                r = support.run(self, *args)
                self.assertEqual(r.code, 2, r.out)
                self.assertEqual(r.out, "")
                self.assertTrue(r.err.startswith("imgdecode: "), r.err)

    def test_help_describes_every_option(self):
        r = support.run(self, "--help")
        self.assertEqual(r.code, 0)
        for option in ("--out", "--frames", "--bg", "--blend", "--place", "--repeat", "--size"):
            self.assertIn(option, r.out)

    def test_not_a_picture(self):
        cases = {
            "empty": b"",
            "seven bytes": b"BM\0\0\0\0\0",
            "html": b"<!DOCTYPE html>\n<html><head><title>404</title></head></html>\n",
            "icon without images": b"\0\0\1\0\0\0\x20\x20",
            "text": b"picture?",
        }
        for name, data in cases.items():
            with self.subTest(name):
                path = self.write("data.bin", data)
                r = support.run(self, path, "--out", self.path("o.pam"), "--place", "584x288")
                self.assertEqual((r.code, r.out), (1, "format=none error=not-a-picture\n"))
                self.assertFalse(os.path.exists(self.path("o.pam")))

    def test_recognised_but_undecodable(self):
        cases = {
            "bmp": b"BM" + bytes(60),
            "jpeg": b"\xff\xd8\xff\xe0" + bytes(60),
            "png": b"\x89PNG\r\n\x1a\n" + bytes(60),
            "gif": b"GIF89a\x01\x00",
            "pcx": b"\x0a\x05\x01\x08" + bytes(20),
            "ico": b"\0\0\1\0\1\0" + bytes(4),
            "cur": b"\0\0\2\0\1\0" + bytes(4),
        }
        for name, data in cases.items():
            with self.subTest(name):
                r = support.run(self, self.write("data.bin", data))
                self.assertEqual((r.code, r.out), (1, f"format={name} error=decode-failed\n"))

    def test_line_of_each_format(self):
        rgb = gradient(1168, 101)
        frames = [gradient(40, 30, "P"), gradient(40, 30, "P").rotate(90)]
        cases = [
            ("bmp", pillow_bytes(rgb, "BMP"), 1168, 101, 1),
            ("jpeg", pillow_bytes(rgb, "JPEG"), 1168, 101, 1),
            ("png", pillow_bytes(rgb.convert("RGBA"), "PNG"), 1168, 101, 1),
            ("pcx", pillow_bytes(rgb.convert("P"), "PCX"), 1168, 101, 1),
            ("gif", pillow_bytes(rgb.convert("P"), "GIF"), 1168, 101, 1),
            ("gif", pillow_bytes(frames[0], "GIF", save_all=True, append_images=frames[1:],
                                 duration=[70, 120], disposal=1, optimize=False), 40, 30, 2),
        ]
        for name, data, width, height, frame_count in cases:
            with self.subTest(name, frames=frame_count):
                path = self.write("p." + name, data)
                r = support.run(self, path)
                self.assertEqual((r.code, r.out),
                                 (0, f"format={name} width={width} height={height} "
                                     f"frames={frame_count}\n"))
                placed = support.run(self, path, "--place", "584x288", "--repeat", "3")
                expected = support.run(self, "--size", f"{width}x{height}").out.strip()
                self.assertEqual(placed.out, r.out.rstrip("\n") + " " + expected + "\n")

    def test_frames_of_a_still_picture(self):
        path = self.write("p.bmp", pillow_bytes(gradient(5, 4), "BMP"))
        r = support.run(self, path, "--frames", self.path("frames"))
        self.assertEqual((r.code, r.out),
                         (0, "format=bmp width=5 height=4 frames=1\nframe=0 delay=0\n"))
        w, h, rgba = support.read_pam(os.path.join(self.path("frames"), "frame-0000.pam"))
        self.assertEqual(support.rgb_of_rgba(rgba), gradient(5, 4).tobytes())

    def test_unwritable_output_is_a_file_error(self):
        path = self.write("p.bmp", pillow_bytes(gradient(5, 4), "BMP"))
        r = support.run(self, path, "--out", os.path.join(self.tmp, "no", "such", "dir.pam"))
        self.assertEqual(r.code, 2)
        self.assertIn("cannot write", r.err)


class Placement(support.ToolTest):
    CASES = [
        # (picture, client or None for the default 584x288, expected)
        ("1920x1080", None, "x=36 y=0 w=511 h=287"),
        ("1080x1920", None, "x=211 y=0 w=161 h=287"),
        ("2560x1440", None, "x=36 y=0 w=512 h=288"),
        ("1168x101", None, "x=0 y=118 w=584 h=50"),
        ("200x100", None, "x=192 y=94 w=200 h=100"),
        ("584x288", None, "x=0 y=0 w=584 h=288"),
        ("2336x576", None, "x=0 y=72 w=584 h=144"),
        ("292x576", None, "x=219 y=0 w=146 h=288"),
        ("100x100", "300x200", "x=100 y=50 w=100 h=100"),
        ("600x100", "300x200", "x=0 y=75 w=300 h=50"),
        ("0x100", None, "x=0 y=0 w=0 h=0"),
        ("65535x65535", None, "x=148 y=0 w=287 h=287"),
    ]

    def test_size_prints_the_fit_placement(self):
        for picture, client, expected in self.CASES:
            with self.subTest(picture=picture, client=client):
                args = ["--size", picture] + (["--place", client] if client else [])
                r = support.run(self, *args)
                self.assertEqual((r.code, r.out), (0, expected + "\n"))

    def test_place_uses_the_decoded_size(self):
        path = self.write("p.png", pillow_bytes(gradient(1920, 1080), "PNG"))
        r = support.run(self, path, "--place", "584x288")
        self.assertEqual(r.line(), "format=png width=1920 height=1080 frames=1 "
                                   "x=36 y=0 w=511 h=287")


class Icons(support.ToolTest):
    # (directory entries, expected entry, its width and height): the first entry whose directory
    # width is 32 and whose colour count byte is at least 16, else the last; the size comes from
    # the image's own header.
    CASES = [
        ([(16, 16, 16), (32, 32, 16), (48, 48, 16)], 1, 32, 32),
        ([(32, 32, 2), (32, 32, 16), (16, 16, 16)], 1, 32, 32),
        ([(32, 32, 16), (32, 32, 255)], 0, 32, 32),
        ([(16, 16, 16), (48, 48, 16), (24, 24, 16)], 2, 24, 24),
        ([(32, 32, 2), (32, 32, 15)], 1, 32, 32),
        ([(32, 32, 0), (48, 48, 0)], 1, 48, 48),  # 0: true colour, counted as below 16
        ([(64, 64, 16)], 0, 64, 64),
        ([(32, 32, 16, (40, 20, "bmp")), (16, 16, 16)], 0, 40, 20),
        ([(16, 16, 16), (0, 0, 0, (256, 256, "png"))], 1, 256, 256),
        ([(32, 32, 16, (32, 32, "png"))], 0, 32, 32),
    ]

    def test_entry_choice_and_its_size(self):
        for kind, name in ((1, "ico"), (2, "cur")):
            for entries, chosen, w, h in self.CASES:
                with self.subTest(name, entries=entries):
                    path = self.write("icon." + name, icon_file(entries, kind))
                    r = support.run(self, path, "--place", "20x20")
                    fit = support.run(self, "--size", f"{w}x{h}", "--place", "20x20").out.strip()
                    self.assertEqual((r.code, r.out),
                                     (0, f"format={name} width={w} height={h} frames=1 "
                                         f"entry={chosen} {fit}\n"))

    def test_no_pixels_are_written_for_icons(self):
        path = self.write("icon.ico", icon_file([(32, 32, 16)]))
        out = self.path("icon.pam")
        r = support.run(self, path, "--out", out)
        self.assertEqual(r.code, 0)
        self.assertRegex(r.line(), re.compile(r"^format=ico width=32 height=32 frames=1 entry=0$"))
        self.assertFalse(os.path.exists(out))
        self.assertIn("system", r.err)


class PngBackground(support.ToolTest):
    def picture(self):
        im = Image.new("RGBA", (64, 4))
        im.putdata([(x * 4, 255 - x * 4, (x * 37) & 255, a)
                    for a in (0, 1, 128, 255) for x in range(64)])
        return im

    def test_out_keeps_straight_alpha(self):
        im = self.picture()
        path = self.write("a.png", pillow_bytes(im, "PNG"))
        r, w, h, rgba = self.decode(path, "--bg", "102030")
        self.assertEqual(r.code, 0)
        support.assert_pixels_equal(self, rgba, im.tobytes(), w, 4, "straight RGBA")

    def test_blend_mixes_with_the_background(self):
        im = self.picture()
        path = self.write("a.png", pillow_bytes(im, "PNG"))
        for bg in ((0x10, 0x20, 0x30), (0xF0, 0xF0, 0xF0), (0xFF, 0x00, 0x80)):
            with self.subTest(bg=bg):
                r, w, h, rgba = self.decode(path, "--blend", "--bg", "%02X%02X%02X" % bg)
                expected = bytearray()
                for r_, g_, b_, a in im.getdata():
                    # c·a/255 + b·(1 − a/255), truncated
                    expected += bytes((c * a + k * (255 - a)) // 255
                                      for c, k in zip((r_, g_, b_), bg)) + b"\xff"
                support.assert_pixels_equal(self, rgba, bytes(expected), w, 4, "blended")


if __name__ == "__main__":
    support.main()
