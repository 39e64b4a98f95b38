// Decoding of uncompressed BMP files built in code: depths, row orders, headers, tables, failures.
#include "ui/image/BmpDecoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace picbox {
namespace {

constexpr std::uint32_t kBlack = 0xFF000000u;

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    Put16(out, v & 0xFFFFu);
    Put16(out, v >> 16);
}

// A colour 0xRRGGBB that differs for each small number.
std::uint32_t Colour(std::uint32_t n) { return (n * 0x9E3779B1u) >> 8; }

// A bitmap described field by field. Build() lays it out: file header, information header
// (zero-filled up to its size), colour table, a gap up to the data offset, then the rows in file
// order, each padded to 4 bytes with 0xEE so that reading padding as pixels shows.
struct BmpBuilder {
    std::int32_t width = 5;
    std::int32_t height = 3; // negative: top-down
    std::uint16_t bitCount = 24;
    std::uint32_t headerSize = 40;
    std::uint16_t planes = 1;
    std::uint32_t compression = 0;
    std::uint32_t coloursUsed = 0;
    std::vector<std::uint32_t> table;         // 0xRRGGBB entries
    std::uint32_t gap = 0;                    // bytes between the table and the pixel rows
    std::optional<std::uint32_t> offsetField; // written instead of where the rows start
    std::optional<std::uint32_t> rowsWritten;
    // Pixel value at (x, y), y counted from the top: a table index, or 0xRRGGBB for 24 and 32
    // bits (whose fourth byte is written as 0x5A, which must not show).
    std::function<std::uint32_t(std::uint32_t, std::uint32_t)> pixel =
        [](std::uint32_t x, std::uint32_t y) { return Colour(x * 131 + y * 7 + 1); };

    std::uint32_t Rows() const
    {
        return height < 0 ? 0u - static_cast<std::uint32_t>(height)
                          : static_cast<std::uint32_t>(height);
    }

    std::vector<std::uint8_t> Build() const
    {
        const bool core = headerSize == 12;
        const std::uint32_t entrySize = core ? 3 : 4;
        const auto tableBytes = static_cast<std::uint32_t>(table.size()) * entrySize;
        const std::uint32_t offset = 14 + headerSize + tableBytes + gap;
        std::vector<std::uint8_t> out{'B', 'M'};
        Put32(out, 0); // file size: not relied on
        Put32(out, 0);
        Put32(out, offsetField.value_or(offset));
        Put32(out, headerSize);
        if (core) {
            Put16(out, static_cast<std::uint32_t>(width));
            Put16(out, static_cast<std::uint32_t>(height));
            Put16(out, planes);
            Put16(out, bitCount);
        } else {
            Put32(out, static_cast<std::uint32_t>(width));
            Put32(out, static_cast<std::uint32_t>(height));
            Put16(out, planes);
            Put16(out, bitCount);
            Put32(out, compression);
            Put32(out, 0);    // image size
            Put32(out, 2835); // 72 dpi
            Put32(out, 2835);
            Put32(out, coloursUsed);
            Put32(out, 0); // important colours
            out.resize(14 + headerSize, 0);
        }
        for (std::uint32_t c : table) {
            out.push_back(static_cast<std::uint8_t>(c));
            out.push_back(static_cast<std::uint8_t>(c >> 8));
            out.push_back(static_cast<std::uint8_t>(c >> 16));
            if (!core)
                out.push_back(0);
        }
        out.resize(offset, 0x77);

        const auto w = static_cast<std::uint32_t>(std::max(width, 0)); // pixels per row written
        const std::uint32_t rows = rowsWritten.value_or(Rows());
        for (std::uint32_t r = 0; r < rows; ++r) {
            const std::uint32_t y = height < 0 ? r : Rows() - 1 - r;
            const std::size_t rowStart = out.size();
            std::uint32_t bits = 0;
            std::uint32_t filled = 0;
            for (std::uint32_t x = 0; x < w; ++x) {
                const std::uint32_t v = pixel(x, y);
                if (bitCount >= 8) { // little-endian value; bytes above 24 bits are 0x5A
                    for (std::uint32_t i = 0; i < bitCount / 8u; ++i)
                        out.push_back(i < 3 ? static_cast<std::uint8_t>(v >> (8 * i))
                                            : std::uint8_t{0x5A});
                    continue;
                }
                if (bitCount == 0)
                    continue;
                bits = (bits << bitCount) | v;
                filled += bitCount;
                if (filled == 8) {
                    out.push_back(static_cast<std::uint8_t>(bits));
                    bits = 0;
                    filled = 0;
                }
            }
            if (filled != 0)
                out.push_back(static_cast<std::uint8_t>(bits << (8 - filled)));
            while ((out.size() - rowStart) % 4 != 0)
                out.push_back(0xEE);
        }
        return out;
    }
};

std::vector<std::uint32_t> DistinctTable(std::uint32_t count)
{
    std::vector<std::uint32_t> table;
    for (std::uint32_t i = 0; i < count; ++i)
        table.push_back(Colour(i + 1000));
    return table;
}

BmpBuilder Paletted(std::uint16_t bitCount, std::int32_t width, std::int32_t height)
{
    BmpBuilder b;
    b.bitCount = bitCount;
    b.width = width;
    b.height = height;
    const std::uint32_t count = 1u << bitCount;
    b.table = DistinctTable(count);
    b.pixel = [count](std::uint32_t x, std::uint32_t y) { return (x * 5 + y * 3 + 1) % count; };
    return b;
}

std::uint32_t PixelAt(const Picture& p, std::uint32_t x, std::uint32_t y)
{
    std::uint32_t v;
    std::memcpy(&v, p.Row(y) + 4 * std::size_t{x}, 4);
    return v;
}

// The BGRX word expected at (x, y) of a fully written, valid fixture.
std::uint32_t Expected(const BmpBuilder& b, std::uint32_t x, std::uint32_t y)
{
    const std::uint32_t v = b.pixel(x, y);
    return kBlack | (b.bitCount >= 24 ? v : b.table.at(v));
}

// Compares every pixel; `expected` gives the BGRX word at (x, y).
void ExpectPixels(const Picture& p, std::uint32_t width, std::uint32_t height,
                  const std::function<std::uint32_t(std::uint32_t, std::uint32_t)>& expected)
{
    ASSERT_EQ(p.width, width);
    ASSERT_EQ(p.height, height);
    EXPECT_FALSE(p.hasAlpha);
    int mismatches = 0;
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width && mismatches < 5; ++x) {
            if (PixelAt(p, x, y) != expected(x, y)) {
                ++mismatches;
                ADD_FAILURE() << "pixel (" << x << ", " << y << "): " << std::hex
                              << PixelAt(p, x, y) << " instead of " << expected(x, y);
            }
        }
    }
}

void ExpectDecodesAsBuilt(const BmpBuilder& b)
{
    const std::vector<std::uint8_t> file = b.Build();
    const std::optional<Picture> p = DecodeBmp(file);
    ASSERT_TRUE(p.has_value());
    ExpectPixels(*p, static_cast<std::uint32_t>(b.width), b.Rows(),
                 [&](std::uint32_t x, std::uint32_t y) { return Expected(b, x, y); });
}

struct DepthCase {
    std::uint16_t bitCount;
    std::int32_t width;
};

class BmpDepths : public testing::TestWithParam<std::tuple<DepthCase, bool>> {};

TEST_P(BmpDepths, DecodeEveryPixelInEitherRowOrder)
{
    const auto [c, topDown] = GetParam();
    const std::int32_t height = topDown ? -4 : 4;
    BmpBuilder b = c.bitCount <= 8 ? Paletted(c.bitCount, c.width, height) : BmpBuilder{};
    b.bitCount = c.bitCount;
    b.width = c.width;
    b.height = height;
    ExpectDecodesAsBuilt(b);
}

// Widths chosen so that rows end inside a byte and need 1, 2 or 3 bytes of padding.
INSTANTIATE_TEST_SUITE_P(
    Uncompressed, BmpDepths,
    testing::Combine(testing::Values(DepthCase{1, 1}, DepthCase{1, 7}, DepthCase{1, 8},
                                     DepthCase{1, 9}, DepthCase{1, 33}, DepthCase{4, 1},
                                     DepthCase{4, 3}, DepthCase{4, 9}, DepthCase{8, 1},
                                     DepthCase{8, 3}, DepthCase{8, 6}, DepthCase{24, 1},
                                     DepthCase{24, 2}, DepthCase{24, 3}, DepthCase{24, 5},
                                     DepthCase{32, 1}, DepthCase{32, 3}),
                     testing::Bool()),
    [](const testing::TestParamInfo<std::tuple<DepthCase, bool>>& c) {
        const DepthCase d = std::get<0>(c.param);
        return std::to_string(d.bitCount) + "bit" + std::to_string(d.width) + "wide" +
               (std::get<1>(c.param) ? "TopDown" : "BottomUp");
    });

struct HeaderCase {
    const char* name;
    std::uint32_t headerSize;
    std::uint16_t bitCount;
    std::int32_t height;
};

class BmpHeaders : public testing::TestWithParam<HeaderCase> {};

// The colour table starts right after the information header, whatever its size: a reader that
// looked for it at byte 54 would take header bytes for colours.
TEST_P(BmpHeaders, ColourTableFollowsTheHeader)
{
    const HeaderCase& c = GetParam();
    BmpBuilder b = Paletted(c.bitCount, 7, c.height);
    b.headerSize = c.headerSize;
    ExpectDecodesAsBuilt(b);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, BmpHeaders,
    testing::Values(HeaderCase{"Info40", 40, 8, 3}, HeaderCase{"V2of52", 52, 8, 3},
                    HeaderCase{"V3of56", 56, 4, 3}, HeaderCase{"V4", 108, 8, 3},
                    HeaderCase{"V4TopDown", 108, 4, -3}, HeaderCase{"V5", 124, 8, 3},
                    HeaderCase{"V5OneBit", 124, 1, 3}, HeaderCase{"Os2Core", 12, 8, 3},
                    HeaderCase{"Os2CoreFourBit", 12, 4, 3}),
    [](const testing::TestParamInfo<HeaderCase>& c) { return c.param.name; });

TEST(BmpHeaders, Os2CoreHeaderTakesTwentyFourBits)
{
    BmpBuilder b;
    b.headerSize = 12;
    ExpectDecodesAsBuilt(b);
}

struct TableCase {
    const char* name;
    std::uint16_t bitCount;
    std::uint32_t coloursUsed;
    std::uint32_t entriesWritten;
    std::vector<std::uint32_t> indices; // pixel values, one row
    std::uint32_t headerSize = 40;
};

class BmpColourTables : public testing::TestWithParam<TableCase> {};

// Indices within the table take their entry; any other index is black.
TEST_P(BmpColourTables, IndicesBeyondTheTableAreBlack)
{
    const TableCase& c = GetParam();
    BmpBuilder b;
    b.bitCount = c.bitCount;
    b.coloursUsed = c.coloursUsed;
    b.headerSize = c.headerSize;
    b.table = DistinctTable(c.entriesWritten);
    b.width = static_cast<std::int32_t>(c.indices.size());
    b.height = 1;
    b.pixel = [&](std::uint32_t x, std::uint32_t) { return c.indices[x]; };
    const std::uint32_t maxIndex = (1u << c.bitCount) - 1;
    const std::uint32_t declared = c.coloursUsed == 0 ? maxIndex + 1 : c.coloursUsed;
    // The rows follow the entries written, so entries beyond those would be pixel bytes.
    const std::uint32_t usable = std::min({declared, maxIndex + 1, c.entriesWritten});

    const std::optional<Picture> p = DecodeBmp(b.Build());
    ASSERT_TRUE(p.has_value());
    ExpectPixels(*p, b.width, 1, [&](std::uint32_t x, std::uint32_t) {
        const std::uint32_t i = c.indices[x];
        return i < usable ? kBlack | b.table[i] : kBlack;
    });
}

INSTANTIATE_TEST_SUITE_P(
    Counts, BmpColourTables,
    testing::Values(TableCase{"ThreeOfEightBits", 8, 3, 3, {0, 1, 2, 3, 200, 255, 2}},
                    TableCase{"ZeroMeansAllSixteen", 4, 0, 16, {0, 15, 7, 8}},
                    TableCase{"OneEntryOfTwo", 1, 1, 1, {0, 1, 1, 0, 1}},
                    // A count above 2^bits: only the first 2^bits entries can be indexed.
                    TableCase{"FiveForOneBit", 1, 5, 5, {1, 0, 1}},
                    TableCase{"ThreeHundredForEightBits", 8, 300, 300, {0, 255, 17}},
                    // Without a count the table has 2^bits entries, but those the pixel rows
                    // overlap are not colours.
                    TableCase{"CutByPixelRows", 8, 0, 4, {0, 3, 4, 255}},
                    TableCase{"CoreCutByPixelRows", 8, 0, 4, {0, 3, 4, 255}, 12}),
    [](const testing::TestParamInfo<TableCase>& c) { return c.param.name; });

struct FailureCase {
    const char* name;
    std::function<void(BmpBuilder&)> edit;
};

class BmpRefused : public testing::TestWithParam<FailureCase> {};

// Each case is a good 8-bit fixture with one edit.
TEST_P(BmpRefused, FailsCleanly)
{
    BmpBuilder b = Paletted(8, 5, 3);
    ASSERT_TRUE(DecodeBmp(b.Build()).has_value());
    GetParam().edit(b);
    EXPECT_FALSE(DecodeBmp(b.Build()).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Variants, BmpRefused,
    testing::Values(
        FailureCase{"Rle8", [](BmpBuilder& b) { b.compression = 1; }},
        FailureCase{"Rle4", [](BmpBuilder& b) { b.compression = 2; }},
        FailureCase{"BitFields", [](BmpBuilder& b) { b.compression = 3; }},
        FailureCase{"Jpeg", [](BmpBuilder& b) { b.compression = 4; }},
        FailureCase{"Png", [](BmpBuilder& b) { b.compression = 5; }},
        FailureCase{"AlphaBitFields", [](BmpBuilder& b) { b.compression = 6; }},
        FailureCase{"SixteenBits", [](BmpBuilder& b) { b.bitCount = 16; }},
        FailureCase{"TwoBits", [](BmpBuilder& b) { b.bitCount = 2; }},
        FailureCase{"ZeroBits", [](BmpBuilder& b) { b.bitCount = 0; }},
        FailureCase{"SixtyFourBits", [](BmpBuilder& b) { b.bitCount = 64; }},
        FailureCase{"TwoPlanes", [](BmpBuilder& b) { b.planes = 2; }},
        FailureCase{"Os2v2Header", [](BmpBuilder& b) { b.headerSize = 64; }},
        FailureCase{"Os2v2ShortHeader", [](BmpBuilder& b) { b.headerSize = 16; }},
        FailureCase{"OddHeader", [](BmpBuilder& b) { b.headerSize = 66; }},
        FailureCase{"ZeroWidth", [](BmpBuilder& b) { b.width = 0; }},
        FailureCase{"NegativeWidth", [](BmpBuilder& b) { b.width = -5; }},
        FailureCase{"ZeroHeight", [](BmpBuilder& b) { b.height = 0; }},
        FailureCase{"TableLargerThanFile", [](BmpBuilder& b) { b.coloursUsed = 0x12345678; }},
        FailureCase{"DataOffsetBeyondEnd", [](BmpBuilder& b) { b.offsetField = 100000; }},
        FailureCase{"DataOffsetInsideHeader", [](BmpBuilder& b) { b.offsetField = 53; }},
        FailureCase{"NoPixelRows", [](BmpBuilder& b) { b.rowsWritten = 0; }}),
    [](const testing::TestParamInfo<FailureCase>& c) { return c.param.name; });

struct CutCase {
    const char* name;
    std::size_t size;
};

class BmpTruncated : public testing::TestWithParam<CutCase> {};

TEST_P(BmpTruncated, ShortHeadersFail)
{
    std::vector<std::uint8_t> file = Paletted(8, 5, 3).Build();
    file.resize(GetParam().size);
    EXPECT_FALSE(DecodeBmp(file).has_value());
}

INSTANTIATE_TEST_SUITE_P(Cuts, BmpTruncated,
                         testing::Values(CutCase{"Empty", 0}, CutCase{"Signature", 2},
                                         CutCase{"FileHeader", 14}, CutCase{"InfoHeader", 30},
                                         CutCase{"Table", 54 + 255 * 4},
                                         // Up to one byte short of the first row.
                                         CutCase{"FirstRow", 54 + 1024 + 4}),
                         [](const testing::TestParamInfo<CutCase>& c) { return c.param.name; });

TEST(BmpTruncated, RowsNotPresentAreBlack)
{
    for (const bool topDown : {false, true}) {
        SCOPED_TRACE(topDown ? "top-down" : "bottom-up");
        BmpBuilder b = Paletted(8, 5, topDown ? -4 : 4);
        b.rowsWritten = 2; // the first two rows in file order
        const std::optional<Picture> p = DecodeBmp(b.Build());
        ASSERT_TRUE(p.has_value());
        ExpectPixels(*p, 5, 4, [&](std::uint32_t x, std::uint32_t y) {
            const bool written = topDown ? y < 2 : y >= 2;
            return written ? Expected(b, x, y) : kBlack;
        });
    }
}

// The last row in the file needs its pixel bytes but not its padding.
TEST(BmpTruncated, LastRowWithoutPadding)
{
    const BmpBuilder b = Paletted(8, 5, 3); // rows of 5 bytes padded to 8
    for (const std::size_t cut : {0, 1, 3, 4}) {
        SCOPED_TRACE(cut);
        std::vector<std::uint8_t> file = b.Build();
        file.resize(file.size() - cut);
        const std::optional<Picture> p = DecodeBmp(file);
        ASSERT_TRUE(p.has_value());
        const bool lastRowShown = cut <= 3;
        ExpectPixels(*p, 5, 3, [&](std::uint32_t x, std::uint32_t y) {
            return y == 0 && !lastRowShown ? kBlack : Expected(b, x, y);
        });
    }
}

struct LimitCase {
    const char* name;
    std::int32_t width;
    std::int32_t height;
    std::uint16_t bitCount;
    std::uint32_t rowsWritten;
    bool decodes;
};

class BmpLimits : public testing::TestWithParam<LimitCase> {};

// With one row present a truncated picture would decode, so a failure here is the size limit.
TEST_P(BmpLimits, SizeIsCheckedBeforeAllocating)
{
    const LimitCase& c = GetParam();
    BmpBuilder b;
    b.width = c.width;
    b.height = c.height;
    b.bitCount = c.bitCount;
    b.rowsWritten = c.rowsWritten;
    if (c.bitCount == 1) {
        b.table = {0x000000, 0xFFFFFF};
        b.pixel = [](std::uint32_t x, std::uint32_t) { return x % 3 == 0 ? 1u : 0u; };
    }
    const std::optional<Picture> p = DecodeBmp(b.Build());
    ASSERT_EQ(p.has_value(), c.decodes);
    if (!c.decodes)
        return;
    const std::uint32_t lastRow = b.Rows() - 1; // the first row in the file
    EXPECT_EQ(PixelAt(*p, 0, lastRow), 0xFFFFFFFFu);
    EXPECT_EQ(PixelAt(*p, 1, 0), kBlack);
}

INSTANTIATE_TEST_SUITE_P(
    Dimensions, BmpLimits,
    testing::Values(
        LimitCase{"WidestAllowed", 65535, 1, 1, 1, true},
        LimitCase{"TallestAllowed", 3, 65535, 1, 1, true},
        LimitCase{"TooWide", 65536, 1, 1, 1, false}, LimitCase{"TooTall", 1, 65536, 1, 1, false},
        LimitCase{"TooTallTopDown", 1, -65536, 1, 1, false},
        LimitCase{"MostNegativeHeight", 1, std::numeric_limits<std::int32_t>::min(), 1, 1, false},
        LimitCase{"OverPixelLimit", 65535, 1025, 1, 1, false},
        // 65536 × 65536 is 0 in 32-bit arithmetic.
        LimitCase{"ProductWrapsIn32Bits", 65536, 65536, 1, 1, false},
        // The stride of 2^31 - 1 pixels of 32 bits wraps in 32 bits too.
        LimitCase{"LargestWidth", std::numeric_limits<std::int32_t>::max(), 1, 32, 0, false}),
    [](const testing::TestParamInfo<LimitCase>& c) { return c.param.name; });

} // namespace
} // namespace picbox
