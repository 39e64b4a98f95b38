// Decoding of PCX files built in code: 8-bit with and without palette, 1-bit, runs, truncation.
#include "ui/image/PcxDecoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace picbox {
namespace {

constexpr std::uint32_t kBlack = 0xFF000000u;
constexpr std::uint32_t kWhite = 0xFFFFFFFFu;

void Put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v)
{
    out[at] = static_cast<std::uint8_t>(v);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

// Appends `data` run-length encoded: runs of up to 63 equal bytes as a count byte 0xC0 | n and
// the value; a single byte below 0xC0 as itself.
void Encode(const std::vector<std::uint8_t>& data, std::vector<std::uint8_t>& out)
{
    for (std::size_t i = 0; i < data.size();) {
        std::size_t n = 1;
        while (i + n < data.size() && n < 63 && data[i + n] == data[i])
            ++n;
        if (n == 1 && data[i] < 0xC0) {
            out.push_back(data[i]);
        } else {
            out.push_back(static_cast<std::uint8_t>(0xC0 | n));
            out.push_back(data[i]);
        }
        i += n;
    }
}

// A PCX file described field by field. Build() writes the 128-byte header, the scanlines
// (bytesPerLine each, the bytes beyond the picture's width filled with 0xAB), run-length
// encoded line by line or as one stream, then the palette.
struct PcxBuilder {
    std::uint8_t manufacturer = 0x0A;
    std::uint8_t version = 5;
    std::uint8_t encoding = 1;
    std::uint8_t bitsPerPixel = 8;
    std::uint16_t xMin = 0;
    std::uint16_t yMin = 0;
    std::uint32_t width = 6;
    std::uint32_t height = 4;
    std::uint8_t planes = 1;
    std::uint32_t extraBytesPerLine = 0; // beyond the bytes the width needs
    std::optional<std::uint32_t> bytesPerLineField;
    bool runsAcrossLines = false;
    bool withPalette = true;
    // Index at (x, y) for 8 bits, bit for 1 bit.
    std::function<std::uint32_t(std::uint32_t, std::uint32_t)> pixel =
        [](std::uint32_t x, std::uint32_t y) { return (x / 2 * 37 + y * 11 + 3) % 256; };

    std::uint32_t NeededBytes() const { return bitsPerPixel == 1 ? (width + 7) / 8 : width; }
    std::uint32_t BytesPerLine() const { return NeededBytes() + extraBytesPerLine; }

    // Palette entry i as 0xRRGGBB.
    static std::uint32_t PaletteColour(std::uint32_t i) { return (i * 0x9E3779B1u) >> 8; }

    std::vector<std::uint8_t> Scanlines() const
    {
        std::vector<std::uint8_t> raw;
        for (std::uint32_t y = 0; y < height; ++y) {
            std::vector<std::uint8_t> line(BytesPerLine(), 0xAB);
            if (bitsPerPixel == 1)
                std::fill(line.begin(), line.begin() + NeededBytes(), 0);
            for (std::uint32_t x = 0; x < width; ++x) {
                const std::uint32_t v = pixel(x, y);
                if (bitsPerPixel == 1)
                    line[x / 8] = static_cast<std::uint8_t>(line[x / 8] | (v << (7 - x % 8)));
                else
                    line[x] = static_cast<std::uint8_t>(v);
            }
            raw.insert(raw.end(), line.begin(), line.end());
        }
        return raw;
    }

    std::vector<std::uint8_t> Header() const
    {
        std::vector<std::uint8_t> out(128, 0);
        out[0] = manufacturer;
        out[1] = version;
        out[2] = encoding;
        out[3] = bitsPerPixel;
        Put16(out, 4, xMin);
        Put16(out, 6, yMin);
        Put16(out, 8, xMin + width - 1);
        Put16(out, 10, yMin + height - 1);
        Put16(out, 12, 72);
        Put16(out, 14, 72);
        out[16 + 3] = 0xFF; // header colour map: not used by either kind
        out[65] = planes;
        Put16(out, 66, bytesPerLineField.value_or(BytesPerLine()));
        Put16(out, 68, 1);
        return out;
    }

    std::vector<std::uint8_t> Palette() const
    {
        std::vector<std::uint8_t> out{0x0C};
        for (std::uint32_t i = 0; i < 256; ++i) {
            const std::uint32_t c = PaletteColour(i);
            out.push_back(static_cast<std::uint8_t>(c >> 16));
            out.push_back(static_cast<std::uint8_t>(c >> 8));
            out.push_back(static_cast<std::uint8_t>(c));
        }
        return out;
    }

    std::vector<std::uint8_t> Build() const
    {
        std::vector<std::uint8_t> out = Header();
        const std::vector<std::uint8_t> raw = Scanlines();
        if (runsAcrossLines) {
            Encode(raw, out);
        } else {
            for (std::size_t at = 0; at < raw.size(); at += BytesPerLine())
                Encode({raw.begin() + static_cast<std::ptrdiff_t>(at),
                        raw.begin() + static_cast<std::ptrdiff_t>(at + BytesPerLine())},
                       out);
        }
        if (withPalette && bitsPerPixel == 8) {
            const std::vector<std::uint8_t> palette = Palette();
            out.insert(out.end(), palette.begin(), palette.end());
        }
        return out;
    }

    // The BGRX word expected at (x, y) when every scanline is present.
    std::uint32_t Expected(std::uint32_t x, std::uint32_t y) const
    {
        const std::uint32_t v = pixel(x, y);
        if (bitsPerPixel == 1)
            return v != 0 ? kWhite : kBlack;
        return kBlack | (withPalette ? PaletteColour(v) : v * 0x010101u);
    }
};

std::uint32_t PixelAt(const Picture& p, std::uint32_t x, std::uint32_t y)
{
    std::uint32_t v;
    std::memcpy(&v, p.Row(y) + 4 * std::size_t{x}, 4);
    return v;
}

void ExpectPixels(const std::optional<Picture>& p, std::uint32_t width, std::uint32_t height,
                  const std::function<std::uint32_t(std::uint32_t, std::uint32_t)>& expected)
{
    ASSERT_TRUE(p.has_value());
    ASSERT_EQ(p->width, width);
    ASSERT_EQ(p->height, height);
    EXPECT_FALSE(p->hasAlpha);
    int mismatches = 0;
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width && mismatches < 5; ++x) {
            if (PixelAt(*p, x, y) != expected(x, y)) {
                ++mismatches;
                ADD_FAILURE() << "pixel (" << x << ", " << y << "): " << std::hex
                              << PixelAt(*p, x, y) << " instead of " << expected(x, y);
            }
        }
    }
}

void ExpectDecodesAsBuilt(const PcxBuilder& b)
{
    ExpectPixels(DecodePcx(b.Build()), b.width, b.height,
                 [&](std::uint32_t x, std::uint32_t y) { return b.Expected(x, y); });
}

struct LayoutCase {
    const char* name;
    std::uint8_t bitsPerPixel;
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t extraBytesPerLine;
    bool withPalette = true;
    std::uint16_t xMin = 0;
    std::uint16_t yMin = 0;
};

class PcxLayouts : public testing::TestWithParam<LayoutCase> {};

TEST_P(PcxLayouts, DecodeEveryPixel)
{
    const LayoutCase& c = GetParam();
    PcxBuilder b;
    b.bitsPerPixel = c.bitsPerPixel;
    b.version = c.bitsPerPixel == 1 ? 3 : 5;
    b.width = c.width;
    b.height = c.height;
    b.extraBytesPerLine = c.extraBytesPerLine;
    b.withPalette = c.withPalette;
    b.xMin = c.xMin;
    b.yMin = c.yMin;
    if (c.bitsPerPixel == 1)
        b.pixel = [](std::uint32_t x, std::uint32_t y) { return (x / 3 + y) % 2; };
    ExpectDecodesAsBuilt(b);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, PcxLayouts,
    testing::Values(LayoutCase{"EightBit", 8, 6, 4, 0}, LayoutCase{"EightBitOnePixel", 8, 1, 1, 0},
                    LayoutCase{"EightBitPaddedLines", 8, 5, 3, 3},
                    LayoutCase{"EightBitWide", 8, 200, 3, 0},
                    // No 0x0C marker: index i is grey i.
                    LayoutCase{"EightBitWithoutPalette", 8, 6, 4, 0, false},
                    LayoutCase{"EightBitWithoutPaletteLarger", 8, 64, 16, 0, false},
                    LayoutCase{"WindowNotAtOrigin", 8, 9, 3, 1, true, 100, 2000},
                    LayoutCase{"OneBit", 1, 16, 3, 0}, LayoutCase{"OneBitOnePixel", 1, 1, 1, 0},
                    LayoutCase{"OneBitPartialByte", 1, 13, 4, 1},
                    LayoutCase{"OneBitPaddedLines", 1, 70, 6, 2},
                    LayoutCase{"OneBitWindowNotAtOrigin", 1, 9, 2, 0, true, 7, 7}),
    [](const testing::TestParamInfo<LayoutCase>& c) { return c.param.name; });

// Runs that cross scanlines, from a writer that encodes the whole picture as one stream: three
// scanlines of one value and three of another make two runs, each over two line boundaries.
TEST(PcxRuns, CrossScanlines)
{
    for (const std::uint8_t bits : {std::uint8_t{8}, std::uint8_t{1}}) {
        SCOPED_TRACE(static_cast<int>(bits));
        PcxBuilder b;
        b.bitsPerPixel = bits;
        b.version = bits == 1 ? 3 : 5;
        b.width = bits == 1 ? 80 : 10; // 10 bytes a scanline
        b.height = 6;
        b.runsAcrossLines = true;
        b.pixel = [bits](std::uint32_t, std::uint32_t y) {
            return bits == 1 ? (y < 3 ? 1u : 0u) : (y < 3 ? 7u : 9u);
        };
        const std::vector<std::uint8_t> file = b.Build();
        ASSERT_EQ(file.size(), 128u + 2 + 2 + (bits == 8 ? 769 : 0));
        ExpectDecodesAsBuilt(b);
    }
}

// A count byte of 0xC0 repeats its value zero times.
TEST(PcxRuns, ZeroLengthRunsEndInBlack)
{
    PcxBuilder b;
    b.withPalette = false;
    std::vector<std::uint8_t> file = b.Header();
    for (int i = 0; i < 1000; ++i) {
        file.push_back(0xC0);
        file.push_back(0x55);
    }
    file.push_back(0xC3); // three pixels of grey 0x22
    file.push_back(0x22);
    ExpectPixels(DecodePcx(file), b.width, b.height, [](std::uint32_t x, std::uint32_t y) {
        return y == 0 && x < 3 ? 0xFF222222u : kBlack;
    });
}

// Scanlines wide enough for the decoder's bulk path, with literals and runs mixed and long runs
// split into several counts.
TEST(PcxRuns, MixedTokensInWideScanlines)
{
    for (const std::uint8_t bits : {std::uint8_t{8}, std::uint8_t{1}}) {
        SCOPED_TRACE(static_cast<int>(bits));
        PcxBuilder b;
        b.bitsPerPixel = bits;
        b.version = bits == 1 ? 3 : 5;
        b.width = bits == 1 ? 2400 : 300;
        b.height = 4;
        b.extraBytesPerLine = 1;
        const std::uint32_t scale = bits == 1 ? 8 : 1; // pixels per byte
        b.pixel = [bits, scale](std::uint32_t x, std::uint32_t y) {
            const std::uint32_t at = x / scale;
            const std::uint32_t v =
                y % 2 == 0 && at >= 100 && at < 250 ? 5u : (at * at / 97 + y * 3);
            return bits == 1 ? (v * 0x9E3779B1u >> (x % 8 + 20)) & 1u : v % 256;
        };
        ExpectDecodesAsBuilt(b);
    }
}

// Runs of every length from 1 to 63, one after the other in a scanline of 2016 bytes.
TEST(PcxRuns, EveryRunLength)
{
    PcxBuilder b;
    b.width = 63 * 64 / 2;
    b.height = 2;
    b.pixel = [](std::uint32_t x, std::uint32_t y) {
        std::uint32_t length = 1;
        for (std::uint32_t start = 0; start + length <= x; start += length)
            ++length;
        return (length + y) % 2 == 0 ? 0xE1u : 0x22u; // counts with values above 0xC0 too
    };
    const std::vector<std::uint8_t> file = b.Build();
    ASSERT_LT(file.size(), 128u + 2 * 2 * 63 + 769); // one token a run
    ExpectDecodesAsBuilt(b);
}

// A run-length stream of random literals, runs (crossing scanlines) and zero-length runs, cut
// after every byte: exactly the bytes of the complete tokens before the cut are shown.
TEST(PcxTruncated, EveryCutOfARandomStream)
{
    PcxBuilder b;
    b.width = 119;
    b.height = 3;
    b.extraBytesPerLine = 1; // 120 bytes a scanline
    b.withPalette = false;   // the file stays shorter than header and palette
    const std::size_t needed = std::size_t{b.BytesPerLine()} * b.height;

    std::vector<std::uint8_t> raw;
    std::vector<std::uint8_t> stream;
    std::vector<std::pair<std::size_t, std::size_t>> tokenEnds; // stream size, raw size
    std::uint32_t seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 16;
    };
    while (raw.size() < needed) {
        const std::uint32_t kind = next() % 8;
        const auto value = static_cast<std::uint8_t>(next());
        if (kind < 5 && value < 0xC0) {
            stream.push_back(value);
            raw.push_back(value);
        } else {
            const std::size_t count =
                kind == 7 ? 0 : std::min<std::size_t>(1 + next() % 63, needed - raw.size());
            stream.push_back(static_cast<std::uint8_t>(0xC0 | count));
            stream.push_back(value);
            raw.insert(raw.end(), count, value);
        }
        tokenEnds.emplace_back(stream.size(), raw.size());
    }
    ASSERT_LT(128 + stream.size(), 128u + 769);

    for (std::size_t cut = 1; cut <= stream.size(); ++cut) {
        SCOPED_TRACE(cut);
        std::vector<std::uint8_t> file = b.Header();
        file.insert(file.end(), stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut));
        std::size_t shown = 0;
        for (const auto& [streamEnd, rawEnd] : tokenEnds)
            if (streamEnd <= cut)
                shown = rawEnd;
        ExpectPixels(DecodePcx(file), b.width, b.height, [&](std::uint32_t x, std::uint32_t y) {
            const std::size_t at = std::size_t{y} * b.BytesPerLine() + x;
            return at < shown ? kBlack | raw[at] * 0x010101u : kBlack;
        });
        if (testing::Test::HasFailure())
            break;
    }
}

struct CutCase {
    const char* name;
    std::size_t rawBytesKept; // of the scanline bytes, in order
    bool withPalette;
};

class PcxTruncated : public testing::TestWithParam<CutCase> {};

// Scanline bytes all below 0xC0 and no two alike, so every byte is encoded as itself and a cut
// after k data bytes keeps exactly the first k scanline bytes.
TEST_P(PcxTruncated, PixelsNotReachedAreBlack)
{
    const CutCase& c = GetParam();
    PcxBuilder b;
    b.width = 5;
    b.height = 4;
    b.extraBytesPerLine = 1;
    b.withPalette = c.withPalette;
    b.pixel = [](std::uint32_t x, std::uint32_t y) { return 1 + x + 5 * y; };
    std::vector<std::uint8_t> file = b.Header();
    const std::vector<std::uint8_t> raw = b.Scanlines();
    file.insert(file.end(), raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(c.rawBytesKept));
    if (c.withPalette) {
        const std::vector<std::uint8_t> palette = b.Palette();
        file.insert(file.end(), palette.begin(), palette.end());
    }
    ExpectPixels(DecodePcx(file), 5, 4, [&](std::uint32_t x, std::uint32_t y) {
        return y * b.BytesPerLine() + x < c.rawBytesKept ? b.Expected(x, y) : kBlack;
    });
}

INSTANTIATE_TEST_SUITE_P(Cuts, PcxTruncated,
                         testing::Values(CutCase{"MidLine", 9, false},
                                         CutCase{"AtLineEnd", 12, false},
                                         CutCase{"InLinePadding", 17, false},
                                         CutCase{"OneByte", 1, false},
                                         CutCase{"MidLineBeforePalette", 9, true},
                                         CutCase{"NoPixelDataBeforePalette", 0, true}),
                         [](const testing::TestParamInfo<CutCase>& c) { return c.param.name; });

TEST(PcxTruncatedRun, CountWithoutItsValueIsDropped)
{
    PcxBuilder b;
    b.withPalette = false;
    std::vector<std::uint8_t> file = b.Header();
    file.insert(file.end(), {0x10, 0x20, 0xC5});
    ExpectPixels(DecodePcx(file), b.width, b.height, [](std::uint32_t x, std::uint32_t y) {
        if (y == 0 && x < 2)
            return x == 0 ? 0xFF101010u : 0xFF202020u;
        return kBlack;
    });
}

// The marker is only looked for where a whole palette fits after the header.
TEST(PcxPalette, MarkerTooCloseToTheHeaderIsPixelData)
{
    PcxBuilder b;
    b.withPalette = false;
    std::vector<std::uint8_t> file = b.Header();
    file.push_back(0x0C);
    file.insert(file.end(), 767, 0x40); // one byte short of a palette
    ExpectPixels(DecodePcx(file), b.width, b.height, [](std::uint32_t x, std::uint32_t y) {
        return x == 0 && y == 0 ? 0xFF0C0C0Cu : 0xFF404040u;
    });
}

struct FailureCase {
    const char* name;
    std::function<void(PcxBuilder&)> edit;
};

class PcxRefused : public testing::TestWithParam<FailureCase> {};

// Each case is a good 8-bit fixture (or, after its edit to 1 bit, a good 1-bit one) with one
// further edit.
TEST_P(PcxRefused, FailsCleanly)
{
    PcxBuilder b;
    ASSERT_TRUE(DecodePcx(b.Build()).has_value());
    GetParam().edit(b);
    EXPECT_FALSE(DecodePcx(b.Build()).has_value());
}

void OneBit(PcxBuilder& b)
{
    b.bitsPerPixel = 1;
    b.version = 3;
    b.pixel = [](std::uint32_t x, std::uint32_t) { return x % 2; };
}

INSTANTIATE_TEST_SUITE_P(
    Variants, PcxRefused,
    testing::Values(
        FailureCase{"NotPcx", [](PcxBuilder& b) { b.manufacturer = 0x0B; }},
        FailureCase{"Uncompressed", [](PcxBuilder& b) { b.encoding = 0; }},
        FailureCase{"VersionSix", [](PcxBuilder& b) { b.version = 6; }},
        FailureCase{"FourBits", [](PcxBuilder& b) { b.bitsPerPixel = 4; }},
        FailureCase{"TwoBits", [](PcxBuilder& b) { b.bitsPerPixel = 2; }},
        FailureCase{"ThreePlanes", [](PcxBuilder& b) { b.planes = 3; }}, // 24-bit colour
        FailureCase{"NoPlanes", [](PcxBuilder& b) { b.planes = 0; }},
        FailureCase{"BytesPerLineShort", [](PcxBuilder& b) { b.bytesPerLineField = b.width - 1; }},
        FailureCase{"BytesPerLineZero", [](PcxBuilder& b) { b.bytesPerLineField = 0; }},
        FailureCase{"XMaxBelowXMin", // the header says 10 to 9
                    [](PcxBuilder& b) {
                        b.xMin = 10;
                        b.width = 0;
                    }},
        FailureCase{"YMaxBelowYMin",
                    [](PcxBuilder& b) {
                        b.yMin = 10;
                        b.height = 0;
                    }},
        FailureCase{"OneBitVersionFive",
                    [](PcxBuilder& b) {
                        OneBit(b);
                        b.version = 5;
                    }},
        FailureCase{"OneBitFourPlanes", // 16-colour EGA
                    [](PcxBuilder& b) {
                        OneBit(b);
                        b.planes = 4;
                    }},
        FailureCase{"OneBitBytesPerLineShort",
                    [](PcxBuilder& b) {
                        OneBit(b);
                        b.width = 17;
                        b.bytesPerLineField = 2;
                    }}),
    [](const testing::TestParamInfo<FailureCase>& c) { return c.param.name; });

// The window's sides are inclusive 16-bit values, so one side can be at most 65536.
struct LimitCase {
    const char* name;
    std::uint16_t xMin, yMin, xMax, yMax;
    std::uint16_t bytesPerLine;
    bool decodes;
};

class PcxLimits : public testing::TestWithParam<LimitCase> {};

// One scanline of data: a truncated picture would decode, so a failure is the size limit.
TEST_P(PcxLimits, SizeIsCheckedBeforeAllocating)
{
    const LimitCase& c = GetParam();
    PcxBuilder b;
    OneBit(b);
    std::vector<std::uint8_t> file = b.Header();
    Put16(file, 4, c.xMin);
    Put16(file, 6, c.yMin);
    Put16(file, 8, c.xMax);
    Put16(file, 10, c.yMax);
    Put16(file, 66, c.bytesPerLine);
    Encode(std::vector<std::uint8_t>(c.bytesPerLine, 0xFF), file);
    const std::optional<Picture> p = DecodePcx(file);
    ASSERT_EQ(p.has_value(), c.decodes);
    if (!p)
        return;
    EXPECT_EQ(PixelAt(*p, p->width - 1, 0), kWhite);
    EXPECT_EQ(PixelAt(*p, 0, p->height - 1), p->height == 1 ? kWhite : kBlack);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, PcxLimits,
    testing::Values(LimitCase{"WidestAllowed", 0, 0, 65534, 0, 8192, true},
                    LimitCase{"TallestAllowed", 0, 0, 0, 65534, 1, true},
                    LimitCase{"TooWide", 0, 0, 65535, 0, 8192, false},
                    LimitCase{"TooTall", 0, 0, 0, 65535, 1, false},
                    LimitCase{"OverPixelLimit", 0, 0, 65534, 1024, 8192, false},
                    LimitCase{"LargestWindow", 0, 0, 65535, 65535, 8192, false}),
    [](const testing::TestParamInfo<LimitCase>& c) { return c.param.name; });

TEST(PcxSize, HeaderAloneIsNotAPicture)
{
    const std::vector<std::uint8_t> file = PcxBuilder{}.Build();
    for (const std::size_t size : {0, 8, 127, 128}) {
        SCOPED_TRACE(size);
        EXPECT_FALSE(DecodePcx({file.data(), size}).has_value());
    }
}

TEST(PcxSize, OneDataByteIsEnough)
{
    std::vector<std::uint8_t> file = PcxBuilder{}.Header();
    file.push_back(0x33);
    ASSERT_EQ(file.size(), 129u);
    ExpectPixels(DecodePcx(file), 6, 4, [](std::uint32_t x, std::uint32_t y) {
        return x == 0 && y == 0 ? 0xFF333333u : kBlack;
    });
}

} // namespace
} // namespace picbox
