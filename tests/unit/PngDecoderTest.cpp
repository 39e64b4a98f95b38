// PNG decoding of pictures made with libpng: every colour type to exact BGRA, damage and limits.
#include "ui/image/PngDecoder.h"

#include "TestEncoders.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>

namespace picbox {
namespace {

using test::EncodePng;
using test::FindPngChunk;
using test::FixPngChunkCrc;
using test::PngLayout;

struct PngCase {
    const char* name;
    PngLayout layout;
    std::vector<std::uint8_t> bgra; // what the decoder must give, pixel by pixel
};

// Writes a layout's rows sample by sample (samples below 8 bits packed from the high bit, rows
// padded to a byte, 16-bit samples big-endian) beside the BGRA the decoder must give.
class PngCaseBuilder {
public:
    PngCaseBuilder(const char* name, std::uint32_t width, std::uint32_t height, int colourType,
                   int bitDepth)
    {
        case_.name = name;
        case_.layout.width = width;
        case_.layout.height = height;
        case_.layout.colourType = colourType;
        case_.layout.bitDepth = bitDepth;
    }

    void Sample(unsigned value)
    {
        const int depth = case_.layout.bitDepth;
        if (depth == 16) {
            case_.layout.rows.push_back(static_cast<std::uint8_t>(value >> 8));
            case_.layout.rows.push_back(static_cast<std::uint8_t>(value));
            return;
        }
        if (bitsUsed_ == 0)
            case_.layout.rows.push_back(0);
        bitsUsed_ += depth;
        case_.layout.rows.back() |= static_cast<std::uint8_t>(value << (8 - bitsUsed_));
        bitsUsed_ %= 8;
    }

    void EndRow() { bitsUsed_ = 0; }

    void Expect(unsigned r, unsigned g, unsigned b, unsigned a)
    {
        case_.bgra.insert(case_.bgra.end(),
                          {static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(g),
                           static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(a)});
    }

    PngCase& Case() { return case_; }

private:
    PngCase case_;
    int bitsUsed_ = 0;
};

PngCase Rgba8()
{
    PngCaseBuilder b("rgba8", 5, 3, PNG_COLOR_TYPE_RGB_ALPHA, 8);
    for (unsigned y = 0; y < 3; ++y) {
        for (unsigned x = 0; x < 5; ++x) {
            const unsigned r = x * 50, g = y * 90 + 7, bl = (x * y * 37) % 256;
            const unsigned a = (x + y * 5) * 18; // 0 (colour kept) up to 252
            b.Sample(r);
            b.Sample(g);
            b.Sample(bl);
            b.Sample(a);
            b.Expect(r, g, bl, a);
        }
        b.EndRow();
    }
    return b.Case();
}

PngCase Rgb8Interlaced()
{
    PngCaseBuilder b("rgb8Interlaced", 9, 7, PNG_COLOR_TYPE_RGB, 8);
    b.Case().layout.interlaced = true;
    for (unsigned y = 0; y < 7; ++y) {
        for (unsigned x = 0; x < 9; ++x) {
            const unsigned r = x * 28, g = y * 36, bl = (x * 13 + y * 29) % 256;
            b.Sample(r);
            b.Sample(g);
            b.Sample(bl);
            b.Expect(r, g, bl, 255);
        }
        b.EndRow();
    }
    return b.Case();
}

PngCase Grey(const char* name, int depth)
{
    const unsigned top = (1u << depth) - 1;
    PngCaseBuilder b(name, 10, 4, PNG_COLOR_TYPE_GRAY, depth);
    for (unsigned y = 0; y < 4; ++y) {
        for (unsigned x = 0; x < 10; ++x) {
            const unsigned v = (x * 7 + y * 3) % (top + 1);
            // 16-bit samples are whole multiples of 257, so 8 bits hold them exactly.
            b.Sample(depth == 16 ? ((v * 97) % 256) * 257 : v);
            const unsigned shown = depth == 16 ? (v * 97) % 256 : v * 255 / top;
            b.Expect(shown, shown, shown, 255);
        }
        b.EndRow();
    }
    return b.Case();
}

PngCase GreyAlpha8()
{
    PngCaseBuilder b("greyAlpha8", 6, 2, PNG_COLOR_TYPE_GRAY_ALPHA, 8);
    for (unsigned y = 0; y < 2; ++y) {
        for (unsigned x = 0; x < 6; ++x) {
            const unsigned v = x * 40 + y, a = 255 - x * 51;
            b.Sample(v);
            b.Sample(a);
            b.Expect(v, v, v, a);
        }
        b.EndRow();
    }
    return b.Case();
}

// Six palette entries, the first four with tRNS alpha; the others are opaque.
PngCase Palette(const char* name, int depth, std::uint32_t width)
{
    const png_color palette[6] = {{255, 0, 0},  {0, 255, 0},    {0, 0, 255},
                                  {10, 20, 30}, {200, 100, 50}, {1, 2, 3}};
    const std::uint8_t alpha[6] = {0, 80, 160, 254, 255, 255};
    PngCaseBuilder b(name, width, 3, PNG_COLOR_TYPE_PALETTE, depth);
    b.Case().layout.palette.assign(palette, palette + 6);
    b.Case().layout.transparency.assign(alpha, alpha + 4);
    for (unsigned y = 0; y < 3; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            const unsigned i = (x * 5 + y) % 6;
            b.Sample(i);
            b.Expect(palette[i].red, palette[i].green, palette[i].blue, alpha[i]);
        }
        b.EndRow();
    }
    return b.Case();
}

// 16-bit samples of whole multiples of 257 come out as v / 257. Without a gAMA or sRGB chunk
// they are taken as sRGB: a linear reading would brighten them and fail this.
PngCase Rgba16(const char* name, bool alpha)
{
    PngCaseBuilder b(name, 4, 3, alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, 16);
    for (unsigned y = 0; y < 3; ++y) {
        for (unsigned x = 0; x < 4; ++x) {
            const unsigned r = x * 60 + 10, g = y * 100 + 5, bl = (x * 31 + y * 77) % 256;
            const unsigned a = alpha ? 255 - x * 60 - y : 255;
            b.Sample(r * 257);
            b.Sample(g * 257);
            b.Sample(bl * 257);
            if (alpha)
                b.Sample(a * 257);
            b.Expect(r, g, bl, a);
        }
        b.EndRow();
    }
    return b.Case();
}

class PngPictures : public testing::TestWithParam<PngCase> {};

TEST_P(PngPictures, DecodeToExactBgra)
{
    const PngCase& c = GetParam();
    const std::vector<std::uint8_t> png = EncodePng(c.layout);
    ASSERT_FALSE(png.empty());

    const std::optional<Picture> picture = DecodePng(png);
    ASSERT_TRUE(picture.has_value());
    EXPECT_EQ(picture->width, c.layout.width);
    EXPECT_EQ(picture->height, c.layout.height);
    EXPECT_TRUE(picture->hasAlpha);
    ASSERT_EQ(picture->ByteCount(), c.bgra.size());
    const std::vector<std::uint8_t> got(picture->pixels.get(),
                                        picture->pixels.get() + picture->ByteCount());
    EXPECT_EQ(got, c.bgra);
}

INSTANTIATE_TEST_SUITE_P(EveryColourType, PngPictures,
                         testing::Values(Rgba8(), Rgb8Interlaced(), Grey("grey1", 1),
                                         Grey("grey8", 8), Grey("grey16", 16), GreyAlpha8(),
                                         Palette("palette8", 8, 7), Palette("palette4", 4, 7),
                                         Palette("palette4OddWidth", 4, 3), Rgba16("rgb16", false),
                                         Rgba16("rgba16", true)),
                         [](const testing::TestParamInfo<PngCase>& c) { return c.param.name; });

std::vector<std::uint8_t> GoodPng() { return EncodePng(Rgba8().layout); }

struct DamageCase {
    const char* name;
    std::vector<std::uint8_t> (*make)();
};

class PngDamage : public testing::TestWithParam<DamageCase> {};

TEST_P(PngDamage, Fails)
{
    const std::vector<std::uint8_t> bytes = GetParam().make();
    ASSERT_TRUE(DecodePng(GoodPng()).has_value()); // the fixture the damage starts from
    EXPECT_FALSE(DecodePng(bytes).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    OneEditFromAGoodPicture, PngDamage,
    testing::Values(DamageCase{"sevenBytes",
                               [] {
                                   std::vector<std::uint8_t> p = GoodPng();
                                   p.resize(7);
                                   return p;
                               }},
                    DamageCase{"signatureOnly",
                               [] {
                                   std::vector<std::uint8_t> p = GoodPng();
                                   p.resize(8);
                                   return p;
                               }},
                    DamageCase{"idatCrcWrong",
                               [] {
                                   std::vector<std::uint8_t> p = GoodPng();
                                   p[FindPngChunk(p, "IDAT") + 10] ^= 0x01;
                                   return p;
                               }},
                    DamageCase{"idatStreamBroken", // the CRC is right, the zlib data is not
                               [] {
                                   std::vector<std::uint8_t> p = GoodPng();
                                   const std::size_t idat = FindPngChunk(p, "IDAT");
                                   p[idat + 8] = 0x00; // zlib method 0 does not exist
                                   FixPngChunkCrc(p, idat);
                                   return p;
                               }},
                    DamageCase{"cutInIdat",
                               [] {
                                   std::vector<std::uint8_t> p = GoodPng();
                                   p.resize(FindPngChunk(p, "IDAT") + 12);
                                   return p;
                               }},
                    DamageCase{"hugeIhdr",
                               [] {
                                   std::vector<std::uint8_t> p = GoodPng();
                                   test::WriteU32Be(p, 16, 0x7FFFFFFF); // IHDR width
                                   test::WriteU32Be(p, 20, 0x7FFFFFFF); // IHDR height
                                   FixPngChunkCrc(p, 8);
                                   return p;
                               }},
                    DamageCase{"notPng",
                               [] {
                                   std::vector<std::uint8_t> p = GoodPng();
                                   p[1] = 'Q';
                                   return p;
                               }}),
    [](const testing::TestParamInfo<DamageCase>& c) { return c.param.name; });

// Whole, valid PNGs of 1-bit grey that libpng would decode; only the limits of Picture.h
// refuse the larger ones.
struct LimitCase {
    const char* name;
    std::uint32_t width, height;
    bool decodes;
};

class PngLimits : public testing::TestWithParam<LimitCase> {};

TEST_P(PngLimits, AreCheckedBeforeAllocating)
{
    const LimitCase& c = GetParam();
    PngLayout layout;
    layout.width = c.width;
    layout.height = c.height;
    layout.colourType = PNG_COLOR_TYPE_GRAY;
    layout.bitDepth = 1;
    layout.compressionLevel = 1;
    layout.rows.assign(layout.RowBytes() * c.height, 0xA5);
    const std::vector<std::uint8_t> png = EncodePng(layout);
    ASSERT_FALSE(png.empty());

    const std::optional<Picture> picture = DecodePng(png);
    ASSERT_EQ(picture.has_value(), c.decodes);
    if (picture) {
        EXPECT_EQ(picture->width, c.width);
        EXPECT_EQ(picture->height, c.height);
        // 0xA5 packs 1,0,1,0,0,1,0,1 from the high bit.
        EXPECT_EQ(picture->Row(0)[0], 255);
        EXPECT_EQ(picture->Row(0)[4], 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, PngLimits,
                         testing::Values(LimitCase{"widestAllowed", 65535, 1, true},
                                         LimitCase{"tooWide", 65536, 1, false},
                                         LimitCase{"tooHigh", 1, 65536, false},
                                         LimitCase{"justOverPixelLimit", 8193, 8192, false}),
                         [](const testing::TestParamInfo<LimitCase>& c) { return c.param.name; });

} // namespace
} // namespace picbox
