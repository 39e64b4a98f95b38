// The BMP decoder against every file of BMP Suite: which kinds decode, their sizes and pixels.
#include "ui/image/BmpDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace picbox {
namespace {

// What a file of the suite must give. Colours are 0xRRGGBB and were read by hand from the
// files' colour tables and pixel bytes; every picture of the suite is the same 127 × 64 drawing
// (red top-left corner, black bottom-left corner) unless its name says otherwise.
struct SuiteFile {
    const char* name = nullptr; // relative to the suite's folder
    bool decodes = false;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::optional<std::uint32_t> topLeft;
    std::optional<std::uint32_t> bottomLeft;
    const char* samePixelsAs = nullptr; // another encoding of the same picture
};

SuiteFile Fails(const char* name)
{
    SuiteFile f;
    f.name = name;
    return f;
}

SuiteFile Decodes(const char* name, std::uint32_t width, std::uint32_t height,
                  std::optional<std::uint32_t> topLeft = {},
                  std::optional<std::uint32_t> bottomLeft = {})
{
    SuiteFile f;
    f.name = name;
    f.decodes = true;
    f.width = width;
    f.height = height;
    f.topLeft = topLeft;
    f.bottomLeft = bottomLeft;
    return f;
}

SuiteFile SameAs(const char* name, const char* reference)
{
    SuiteFile f = Decodes(name, 127, 64);
    f.samePixelsAs = reference;
    return f;
}

const std::vector<SuiteFile>& Expectations()
{
    static const std::vector<SuiteFile> files = {
        // Good files of the supported kinds: uncompressed 1, 4, 8, 24 and 32 bits.
        Decodes("g/pal1.bmp", 127, 64, 0xFFFFFF, 0x000000),
        SameAs("g/pal1wb.bmp", "g/pal1.bmp"), // same colours, table in the other order
        Decodes("g/pal1bg.bmp", 127, 64, 0x40FF40, 0x4040FF),
        Decodes("g/pal4.bmp", 127, 64, 0xFF0000, 0x000000),
        Decodes("g/pal4gs.bmp", 127, 64, 0x8B8B8B, 0x000000),
        Decodes("g/pal8.bmp", 127, 64, 0xFF0000, 0x000000),
        SameAs("g/pal8-0.bmp", "g/pal8.bmp"),      // colours-used 0: 256 entries
        SameAs("g/pal8os2.bmp", "g/pal8.bmp"),     // 12-byte header, 3-byte entries
        SameAs("g/pal8topdown.bmp", "g/pal8.bmp"), // negative height
        SameAs("g/pal8v4.bmp", "g/pal8.bmp"),      // table after a 108-byte header
        SameAs("g/pal8v5.bmp", "g/pal8.bmp"),      // table after a 124-byte header
        Decodes("g/pal8gs.bmp", 127, 64, 0x808080, 0x000000),
        Decodes("g/pal8nonsquare.bmp", 127, 32, 0xFF0000, 0x000000),
        Decodes("g/pal8w124.bmp", 124, 61, 0xFF0000, 0x330000),
        Decodes("g/pal8w125.bmp", 125, 62, 0xFF0000, 0x000000),
        Decodes("g/pal8w126.bmp", 126, 63, 0xFF0000, 0x000000),
        Decodes("g/rgb24.bmp", 127, 64, 0xFF0000, 0x000000),
        SameAs("g/rgb24pal.bmp", "g/rgb24.bmp"), // a table that 24 bits do not use
        SameAs("g/rgb32.bmp", "g/rgb24.bmp"),
        // Good files of kinds the viewer does not take.
        Fails("g/pal4rle.bmp"),
        Fails("g/pal8rle.bmp"),
        Fails("g/rgb16.bmp"),
        Fails("g/rgb16-565.bmp"),
        Fails("g/rgb16-565pal.bmp"),
        Fails("g/rgb16bfdef.bmp"),
        Fails("g/rgb32bf.bmp"),
        Fails("g/rgb32bfdef.bmp"),

        // Questionable files: uncompressed ones of a supported depth decode.
        Decodes("q/pal1p1.bmp", 127, 64),         // one colour; index 1 is black
        SameAs("q/pal8offs.bmp", "g/pal8.bmp"),   // a gap before the pixel rows
        SameAs("q/pal8os2-hs.bmp", "g/pal8.bmp"), // size fields wrong, not needed
        SameAs("q/pal8os2-sz.bmp", "g/pal8.bmp"),
        SameAs("q/pal8os2sp.bmp", "g/pal8.bmp"), // 252 entries before the rows
        SameAs("q/pal8os2v2-40sz.bmp", "g/pal8.bmp"),
        SameAs("q/pal8oversizepal.bmp", "g/pal8.bmp"), // 300 entries, 256 used
        SameAs("q/rgb24largepal.bmp", "g/rgb24.bmp"),
        SameAs("q/rgb24lprof.bmp", "g/rgb24.bmp"), // V5 with a colour profile
        SameAs("q/rgb24prof.bmp", "g/rgb24.bmp"),
        Decodes("q/rgb24prof2.bmp", 127, 64),
        SameAs("q/rgb32fakealpha.bmp", "g/rgb24.bmp"), // the fourth byte is not alpha
        // OS/2 2.x headers (16 and 64 bytes) are not taken.
        Fails("q/pal1huffmsb.bmp"),
        Fails("q/pal8os2v2.bmp"),
        Fails("q/pal8os2v2-16.bmp"),
        Fails("q/pal8os2v2-sz.bmp"),
        Fails("q/rgb24rle24.bmp"),
        // 2 bits, 16 bits, 64 bits, run lengths, bit fields, embedded JPEG and PNG.
        Fails("q/pal2.bmp"),
        Fails("q/pal2color.bmp"),
        Fails("q/rgb16-231.bmp"),
        Fails("q/rgb16-3103.bmp"),
        Fails("q/rgb16faketrns.bmp"),
        Fails("q/rgba16-1924.bmp"),
        Fails("q/rgba16-4444.bmp"),
        Fails("q/rgba16-5551.bmp"),
        Fails("q/rgba64.bmp"),
        Fails("q/pal4rlecut.bmp"),
        Fails("q/pal4rletrns.bmp"),
        Fails("q/pal8rlecut.bmp"),
        Fails("q/pal8rletrns.bmp"),
        Fails("q/rgb32-111110.bmp"),
        Fails("q/rgb32-7187.bmp"),
        Fails("q/rgb32-xbgr.bmp"),
        Fails("q/rgb32h52.bmp"),
        Fails("q/rgba32-1.bmp"),
        Fails("q/rgba32-1010102.bmp"),
        Fails("q/rgba32-2.bmp"),
        Fails("q/rgba32-61754.bmp"),
        Fails("q/rgba32-81284.bmp"),
        Fails("q/rgba32abf.bmp"),
        Fails("q/rgba32h56.bmp"),
        Fails("q/rgb24jpeg.bmp"),
        Fails("q/rgb24png.bmp"),

        // Bad files. Fields the decoder does not need (file size, image size, resolution)
        // do not matter; a bad index is black; a short file shows its rows, the rest black.
        SameAs("b/badbitssize.bmp", "g/pal1.bmp"),
        SameAs("b/baddens1.bmp", "g/pal1.bmp"),
        SameAs("b/baddens2.bmp", "g/pal1.bmp"),
        SameAs("b/badfilesize.bmp", "g/pal1.bmp"),
        Decodes("b/pal8badindex.bmp", 127, 64),
        Decodes("b/shortfile.bmp", 127, 64, 0x000000), // top rows missing: black, not white
        Fails("b/badbitcount.bmp"),
        Fails("b/badheadersize.bmp"),
        Fails("b/badpalettesize.bmp"),
        Fails("b/badplanes.bmp"),
        Fails("b/badrle.bmp"),
        Fails("b/badrle4.bmp"),
        Fails("b/badrle4bis.bmp"),
        Fails("b/badrle4ter.bmp"),
        Fails("b/badrlebis.bmp"),
        Fails("b/badrleter.bmp"),
        Fails("b/badwidth.bmp"),
        Fails("b/reallybig.bmp"),
        Fails("b/rgb16-880.bmp"),
        Fails("b/rletopdown.bmp"),

        // Not really a bitmap.
        Fails("x/ba-bm.bmp"),
    };
    return files;
}

const std::filesystem::path kSuite = std::filesystem::path(PICBOX_TESTDATA_DIR) / "bmpsuite";

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const SuiteFile* Find(const std::string& name)
{
    for (const SuiteFile& f : Expectations())
        if (name == f.name)
            return &f;
    return nullptr;
}

std::uint32_t Rgb(const Picture& p, std::uint32_t x, std::uint32_t y)
{
    std::uint32_t v;
    std::memcpy(&v, p.Row(y) + 4 * std::size_t{x}, 4);
    EXPECT_EQ(v >> 24, 0xFFu) << "opaque";
    return v & 0xFFFFFFu;
}

void CheckFile(const SuiteFile& f, const std::vector<std::uint8_t>& bytes)
{
    const std::optional<Picture> p = DecodeBmp(bytes);
    ASSERT_EQ(p.has_value(), f.decodes);
    if (!p)
        return;
    ASSERT_EQ(p->width, f.width);
    ASSERT_EQ(p->height, f.height);
    EXPECT_FALSE(p->hasAlpha);
    if (f.topLeft) {
        EXPECT_EQ(Rgb(*p, 0, 0), *f.topLeft);
    }
    if (f.bottomLeft) {
        EXPECT_EQ(Rgb(*p, 0, p->height - 1), *f.bottomLeft);
    }
    if (f.samePixelsAs != nullptr) {
        const std::optional<Picture> reference = DecodeBmp(ReadFile(kSuite / f.samePixelsAs));
        ASSERT_TRUE(reference.has_value());
        ASSERT_EQ(reference->ByteCount(), p->ByteCount());
        EXPECT_EQ(std::memcmp(reference->pixels.get(), p->pixels.get(), p->ByteCount()), 0)
            << "pixels differ from " << f.samePixelsAs;
    }
}

// Every file is decoded, whether or not it is expected to decode: a crash or a read outside the
// data stops the sanitised test binary.
TEST(BmpSuite, EveryFileMeetsItsExpectation)
{
    if (!std::filesystem::is_directory(kSuite))
        GTEST_SKIP() << "no BMP Suite at " << kSuite;
    std::set<std::string> seen;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(kSuite)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".bmp")
            continue;
        const std::string name = entry.path().lexically_relative(kSuite).generic_string();
        SCOPED_TRACE(name);
        seen.insert(name);
        const std::vector<std::uint8_t> bytes = ReadFile(entry.path());
        const SuiteFile* f = Find(name);
        if (f == nullptr) {
            ADD_FAILURE() << "no expectation for this file";
            (void)DecodeBmp(bytes);
            continue;
        }
        CheckFile(*f, bytes);
    }
    for (const SuiteFile& f : Expectations())
        EXPECT_TRUE(seen.count(f.name) != 0) << f.name << " is missing from the suite";
}

} // namespace
} // namespace picbox
