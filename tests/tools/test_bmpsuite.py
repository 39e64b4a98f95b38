# Every BMP Suite file through imgdecode: supported kinds match Pillow, the rest fail cleanly.
import io
import os
import struct

from PIL import Image, ImageFile

import imgdecode_support as support

PILLOW = "pillow"        # decodes; RGB equal to Pillow's
FAILS = "fails"          # format=bmp error=decode-failed, exit 1
NOT_BMP = "not-bmp"      # format=none error=not-a-picture, exit 1
BLACK_BEYOND_TABLE = "black-beyond-table"  # decodes; Pillow's pixels, black past the table
TRUNCATED = "truncated"  # decodes; the complete rows present as Pillow reads them, the rest black
PATCHED = "patched"      # decodes; as Pillow reads the file with the colours-used count set to 256

# Expected outcome of every file, with the reason. The decoder takes no compression (bit fields
# included), only 1, 4, 8, 24 and 32 bits per pixel with one plane, and the OS/2 core header or
# the Windows headers of 40, 52, 56, 108 and 124 bytes.
EXPECTED = {
    "b/badbitcount.bmp": (FAILS, "30000 bits per pixel"),
    "b/badbitssize.bmp": (PILLOW, "the image size field is not needed without compression"),
    "b/baddens1.bmp": (PILLOW, "the density fields are not used"),
    "b/baddens2.bmp": (PILLOW, "the density fields are not used"),
    "b/badfilesize.bmp": (PILLOW, "the file size field is not used"),
    "b/badheadersize.bmp": (FAILS, "66-byte information header"),
    "b/badpalettesize.bmp": (FAILS, "the colour table it declares runs past the data"),
    "b/badplanes.bmp": (FAILS, "30000 planes; Pillow ignores the plane count and reads it"),
    "b/badrle.bmp": (FAILS, "RLE8"),
    "b/badrle4.bmp": (FAILS, "RLE4"),
    "b/badrle4bis.bmp": (FAILS, "RLE4"),
    "b/badrle4ter.bmp": (FAILS, "RLE4"),
    "b/badrlebis.bmp": (FAILS, "RLE8"),
    "b/badrleter.bmp": (FAILS, "RLE8"),
    "b/badwidth.bmp": (FAILS, "negative width"),
    "b/pal8badindex.bmp": (BLACK_BEYOND_TABLE,
                           "indices past its 101 colours; Pillow shows them as grey i"),
    "b/reallybig.bmp": (FAILS, "3000000 x 2000000 is beyond the size limit"),
    "b/rgb16-880.bmp": (FAILS, "16 bits with bit fields"),
    "b/rletopdown.bmp": (FAILS, "RLE8"),
    "b/shortfile.bmp": (TRUNCATED, "13 of 64 rows present; Pillow refuses it unless told to "
                                   "load truncated files"),
    "g/pal1.bmp": (PILLOW, "1 bit"),
    "g/pal1bg.bmp": (PILLOW, "1 bit, coloured table"),
    "g/pal1wb.bmp": (PILLOW, "1 bit, white first"),
    "g/pal4.bmp": (PILLOW, "4 bits"),
    "g/pal4gs.bmp": (PILLOW, "4 bits, grey table"),
    "g/pal4rle.bmp": (FAILS, "RLE4"),
    "g/pal8-0.bmp": (PILLOW, "colours used 0: 256 entries"),
    "g/pal8.bmp": (PILLOW, "8 bits"),
    "g/pal8gs.bmp": (PILLOW, "8 bits, grey table"),
    "g/pal8nonsquare.bmp": (PILLOW, "the density fields are not used"),
    "g/pal8os2.bmp": (PILLOW, "OS/2 core header, 3-byte table entries"),
    "g/pal8rle.bmp": (FAILS, "RLE8"),
    "g/pal8topdown.bmp": (PILLOW, "negative height: top row first"),
    "g/pal8v4.bmp": (PILLOW, "108-byte header"),
    "g/pal8v5.bmp": (PILLOW, "124-byte header"),
    "g/pal8w124.bmp": (PILLOW, "row padding"),
    "g/pal8w125.bmp": (PILLOW, "row padding"),
    "g/pal8w126.bmp": (PILLOW, "row padding"),
    "g/rgb16-565.bmp": (FAILS, "16 bits"),
    "g/rgb16-565pal.bmp": (FAILS, "16 bits"),
    "g/rgb16.bmp": (FAILS, "16 bits"),
    "g/rgb16bfdef.bmp": (FAILS, "16 bits"),
    "g/rgb24.bmp": (PILLOW, "24 bits"),
    "g/rgb24pal.bmp": (PILLOW, "24 bits; its colour table is not used"),
    "g/rgb32.bmp": (PILLOW, "32 bits"),
    "g/rgb32bf.bmp": (FAILS, "bit fields"),
    "g/rgb32bfdef.bmp": (FAILS, "bit fields, even with the default masks"),
    "q/pal1huffmsb.bmp": (FAILS, "64-byte OS/2 header, Huffman compression"),
    "q/pal1p1.bmp": (PILLOW, "1 bit with a one-entry table, only index 0 used"),
    "q/pal2.bmp": (FAILS, "2 bits"),
    "q/pal2color.bmp": (FAILS, "2 bits"),
    "q/pal4rlecut.bmp": (FAILS, "RLE4"),
    "q/pal4rletrns.bmp": (FAILS, "RLE4"),
    "q/pal8offs.bmp": (PILLOW, "a gap between the table and the pixels"),
    "q/pal8os2-hs.bmp": (PILLOW, "OS/2 core header; the file size field is not used"),
    "q/pal8os2-sz.bmp": (PILLOW, "OS/2 core header; the file size field is not used"),
    "q/pal8os2sp.bmp": (PILLOW, "OS/2 core header, table shorter than 256 entries"),
    "q/pal8os2v2-16.bmp": (FAILS, "16-byte OS/2 2.x header"),
    "q/pal8os2v2-40sz.bmp": (PILLOW, "OS/2 2.x file with a 40-byte header reads as Windows"),
    "q/pal8os2v2-sz.bmp": (FAILS, "64-byte OS/2 2.x header"),
    "q/pal8os2v2.bmp": (FAILS, "64-byte OS/2 2.x header"),
    "q/pal8oversizepal.bmp": (PATCHED, "300 colours declared: the first 256 are used; Pillow "
                                       "refuses the count"),
    "q/pal8rlecut.bmp": (FAILS, "RLE8"),
    "q/pal8rletrns.bmp": (FAILS, "RLE8"),
    "q/rgb16-231.bmp": (FAILS, "16 bits"),
    "q/rgb16-3103.bmp": (FAILS, "16 bits"),
    "q/rgb16faketrns.bmp": (FAILS, "16 bits"),
    "q/rgb24jpeg.bmp": (FAILS, "embedded JPEG"),
    "q/rgb24largepal.bmp": (PILLOW, "24 bits; its 300-entry table is not used"),
    "q/rgb24lprof.bmp": (PILLOW, "124-byte header with a linked profile"),
    "q/rgb24png.bmp": (FAILS, "embedded PNG"),
    "q/rgb24prof.bmp": (PILLOW, "124-byte header with an embedded profile (not applied)"),
    "q/rgb24prof2.bmp": (PILLOW, "124-byte header with an embedded profile (not applied)"),
    "q/rgb24rle24.bmp": (FAILS, "64-byte OS/2 header, RLE24"),
    "q/rgb32-111110.bmp": (FAILS, "bit fields"),
    "q/rgb32-7187.bmp": (FAILS, "bit fields"),
    "q/rgb32-xbgr.bmp": (FAILS, "bit fields"),
    "q/rgb32fakealpha.bmp": (PILLOW, "32 bits; the fourth byte is ignored"),
    "q/rgb32h52.bmp": (FAILS, "bit fields"),
    "q/rgba16-1924.bmp": (FAILS, "16 bits"),
    "q/rgba16-4444.bmp": (FAILS, "16 bits"),
    "q/rgba16-5551.bmp": (FAILS, "16 bits"),
    "q/rgba32-1.bmp": (FAILS, "bit fields"),
    "q/rgba32-1010102.bmp": (FAILS, "bit fields"),
    "q/rgba32-2.bmp": (FAILS, "bit fields"),
    "q/rgba32-61754.bmp": (FAILS, "bit fields"),
    "q/rgba32-81284.bmp": (FAILS, "bit fields"),
    "q/rgba32abf.bmp": (FAILS, "alpha bit fields"),
    "q/rgba32h56.bmp": (FAILS, "bit fields"),
    "q/rgba64.bmp": (FAILS, "64 bits"),
    "x/ba-bm.bmp": (NOT_BMP, "an OS/2 bitmap array: starts with BA"),
}


def pillow_rgb(data):
    with Image.open(io.BytesIO(data)) as im:
        return im.size, im.convert("RGB").tobytes()


def expected_rgb(kind, data):
    """The RGB bytes a decodable file must give, from Pillow's reading of it."""
    if kind == PILLOW:
        return pillow_rgb(data)
    if kind == PATCHED:
        patched = bytearray(data)
        struct.pack_into("<I", patched, 46, 256)
        return pillow_rgb(bytes(patched))
    if kind == BLACK_BEYOND_TABLE:
        colours = struct.unpack_from("<I", data, 46)[0]
        with Image.open(io.BytesIO(data)) as im:
            palette = im.getpalette()
            out = bytearray()
            for index in im.getdata():
                out += bytes(palette[3 * index:3 * index + 3]) if index < colours else b"\0\0\0"
            return im.size, bytes(out)
    if kind == TRUNCATED:
        ImageFile.LOAD_TRUNCATED_IMAGES = True
        try:
            (width, height), rgb = pillow_rgb(data)
        finally:
            ImageFile.LOAD_TRUNCATED_IMAGES = False
        offset = struct.unpack_from("<I", data, 10)[0]
        bits = struct.unpack_from("<H", data, 28)[0]
        stride = (width * bits + 31) // 32 * 4
        present = (len(data) - offset) // stride  # bottom-up: the lowest rows
        black_rows = height - present
        return (width, height), bytes(black_rows * width * 3) + rgb[black_rows * width * 3:]
    raise AssertionError(kind)


class BmpSuite(support.ToolTest):
    def files(self):
        root = support.ARGS.bmpsuite
        found = sorted(os.path.relpath(os.path.join(d, f), root)
                       for d, _, names in os.walk(root) for f in names if f.endswith(".bmp"))
        return root, [f.replace(os.sep, "/") for f in found]

    def test_every_file_is_in_the_table(self):
        _, found = self.files()
        self.assertGreater(len(found), 0, "no BMP Suite files found")
        self.assertEqual(sorted(EXPECTED), found)

    def test_each_file_has_its_expected_outcome(self):
        root, found = self.files()
        for name in found:
            kind, reason = EXPECTED[name]
            with self.subTest(file=name, expected=kind, reason=reason):
                path = os.path.join(root, name)
                out = self.path(os.path.basename(name) + ".pam")
                r = support.run(self, path, "--out", out)
                if kind == FAILS:
                    self.assertEqual((r.code, r.line()), (1, "format=bmp error=decode-failed"))
                    self.assertFalse(os.path.exists(out))
                    continue
                if kind == NOT_BMP:
                    self.assertEqual((r.code, r.line()), (1, "format=none error=not-a-picture"))
                    continue
                with open(path, "rb") as f:
                    (width, height), rgb = expected_rgb(kind, f.read())
                self.assertEqual(r.code, 0, r.err)
                self.assertEqual(r.line(), f"format=bmp width={width} height={height} frames=1")
                w, h, rgba = support.read_pam(out)
                self.assertEqual((w, h), (width, height))
                self.assertEqual(set(rgba[3::4]), {255}, "BMP pictures are opaque")
                support.assert_pixels_equal(self, support.rgb_of_rgba(rgba), rgb, width, 3, name)


if __name__ == "__main__":
    support.main(["--bmpsuite"])
