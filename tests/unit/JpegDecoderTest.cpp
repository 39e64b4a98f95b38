// JPEG decoding of pictures made with libjpeg: colour, grey, CMYK, truncated, corrupt, oversized.
#include "ui/image/JpegDecoder.h"

#include "TestEncoders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace picbox {
namespace {

using test::DecodeJpegDirect;
using test::EncodeJpeg;
using test::JpegOptions;
using test::MakePattern;
using test::SampleImage;

// Offset of the first marker FF xx with that code after SOI, or 0. Markers before the scan
// are FF, code, a big-endian length that counts itself, then their data.
std::size_t FindMarker(const std::vector<std::uint8_t>& jpeg, std::uint8_t code)
{
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        if (jpeg[at + 1] == code)
            return at;
        if (jpeg[at + 1] == 0xDA) // start of scan: entropy data follows, no more to walk
            return 0;
        at += 2 + (std::size_t{jpeg[at + 2]} << 8 | jpeg[at + 3]);
    }
    return 0;
}

// Counts the pixels whose B, G, R differ from libjpeg's own RGB (or grey) decode of the same
// bytes, or whose X is not 0xFF.
std::size_t CountMismatches(const Picture& picture, const SampleImage& reference)
{
    std::size_t mismatches = 0;
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        for (std::uint32_t x = 0; x < picture.width; ++x) {
            const std::uint8_t* p = picture.Row(y) + std::size_t{x} * 4;
            const std::uint8_t* r = &reference.samples[reference.At(x, y)];
            const std::uint8_t red = r[0];
            const std::uint8_t green = reference.components == 1 ? r[0] : r[1];
            const std::uint8_t blue = reference.components == 1 ? r[0] : r[2];
            if (p[0] != blue || p[1] != green || p[2] != red || p[3] != 0xFF)
                ++mismatches;
        }
    }
    return mismatches;
}

// The largest difference between a decoded component and the source sample.
int MaxDifferenceFromSource(const Picture& picture, const SampleImage& source)
{
    int worst = 0;
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        for (std::uint32_t x = 0; x < picture.width; ++x) {
            const std::uint8_t* p = picture.Row(y) + std::size_t{x} * 4;
            const std::uint8_t* s = &source.samples[source.At(x, y)];
            const int rgb[3] = {s[0], source.components == 1 ? s[0] : s[1],
                                source.components == 1 ? s[0] : s[2]};
            for (int c = 0; c < 3; ++c)
                worst = std::max(worst, std::abs(p[2 - c] - rgb[c]));
        }
    }
    return worst;
}

struct ColourCase {
    const char* name;
    std::uint32_t width, height;
    int components;
    JpegOptions options;
};

class JpegPictures : public testing::TestWithParam<ColourCase> {};

TEST_P(JpegPictures, DecodeToBgrxExactlyAsLibjpegDoes)
{
    const ColourCase& c = GetParam();
    const SampleImage source = MakePattern(c.width, c.height, c.components);
    const std::vector<std::uint8_t> jpeg = EncodeJpeg(source, c.options);
    ASSERT_FALSE(jpeg.empty());

    const std::optional<Picture> picture = DecodeJpeg(jpeg);
    ASSERT_TRUE(picture.has_value());
    EXPECT_EQ(picture->width, c.width);
    EXPECT_EQ(picture->height, c.height);
    EXPECT_FALSE(picture->hasAlpha);

    const SampleImage reference =
        DecodeJpegDirect(jpeg, c.components == 1 ? JCS_GRAYSCALE : JCS_RGB);
    ASSERT_EQ(reference.width, c.width);
    EXPECT_EQ(CountMismatches(*picture, reference), 0u);
    // Lossy, but a smooth picture at quality 90 stays close to what was encoded.
    EXPECT_LE(MaxDifferenceFromSource(*picture, source), 24);
}

INSTANTIATE_TEST_SUITE_P(
    ColourAndGrey, JpegPictures,
    testing::Values(ColourCase{"ycbcr420", 67, 45, 3, {}},
                    ColourCase{"ycbcr444", 67, 45, 3, {.fullChroma = true}},
                    ColourCase{"progressive", 67, 45, 3, {.progressive = true}},
                    ColourCase{"storedAsRgb", 40, 24, 3, {.fullChroma = true, .stored = JCS_RGB}},
                    ColourCase{"grey", 67, 45, 1, {}},
                    ColourCase{"greyProgressive", 33, 70, 1, {.progressive = true}},
                    ColourCase{"onePixel", 1, 1, 3, {}}, ColourCase{"wideStrip", 301, 9, 3, {}}),
    [](const testing::TestParamInfo<ColourCase>& c) { return c.param.name; });

// A baseline 4:2:0 picture big enough to have many rows of 16-pixel MCUs.
std::vector<std::uint8_t> BaselineJpeg() { return EncodeJpeg(MakePattern(96, 128, 3)); }

TEST(JpegTruncation, EndOfDataActsAsEndOfImage)
{
    const std::vector<std::uint8_t> jpeg = BaselineJpeg();
    const std::optional<Picture> whole = DecodeJpeg(jpeg);
    ASSERT_TRUE(whole.has_value());
    const std::vector<std::uint8_t> half(jpeg.begin(), jpeg.begin() + jpeg.size() / 2);

    const std::optional<Picture> cut = DecodeJpeg(half);
    ASSERT_TRUE(cut.has_value());
    EXPECT_EQ(cut->width, whole->width);
    EXPECT_EQ(cut->height, whole->height);
    // The top quarter lies well before the cut and decodes as in the whole file.
    for (std::uint32_t y = 0; y < whole->height / 4; ++y)
        ASSERT_EQ(std::memcmp(cut->Row(y), whole->Row(y), whole->Stride()), 0) << "row " << y;
    // Past the end libjpeg decodes zero coefficients: level-shifted mid grey.
    const std::uint8_t* last = cut->Row(cut->height - 1);
    for (std::uint32_t x = 0; x < cut->width; ++x) {
        SCOPED_TRACE(x);
        EXPECT_EQ(last[x * 4], 128);
        EXPECT_EQ(last[x * 4 + 1], 128);
        EXPECT_EQ(last[x * 4 + 2], 128);
    }
}

struct EditCase {
    const char* name;
    std::vector<std::uint8_t> (*make)();
    bool decodes;
};

class JpegEdits : public testing::TestWithParam<EditCase> {};

TEST_P(JpegEdits, DecodeOrFailAsExpected)
{
    const std::vector<std::uint8_t> bytes = GetParam().make();
    ASSERT_GE(bytes.size(), 2u);
    const std::optional<Picture> picture = DecodeJpeg(bytes);
    EXPECT_EQ(picture.has_value(), GetParam().decodes);
    if (picture) {
        EXPECT_EQ(picture->width, 96u);
        EXPECT_EQ(picture->height, 128u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    OneEditFromAGoodPicture, JpegEdits,
    testing::Values(EditCase{"soiOnly",
                             [] {
                                 return std::vector<std::uint8_t>{0xFF, 0xD8};
                             },
                             false},
                    EditCase{"garbageAfterSoi",
                             [] {
                                 std::vector<std::uint8_t> j = BaselineJpeg();
                                 std::fill(j.begin() + 2, j.end(), std::uint8_t{0x55});
                                 return j;
                             },
                             false},
                    EditCase{"cutBeforeScan", // tables and frame header, then the data ends
                             [] {
                                 std::vector<std::uint8_t> j = BaselineJpeg();
                                 j.resize(FindMarker(j, 0xC4)); // before the first Huffman table
                                 return j;
                             },
                             false},
                    EditCase{
                        "cutAfterScanHeader", // no entropy data at all: the whole picture is grey
                        [] {
                            std::vector<std::uint8_t> j = BaselineJpeg();
                            const std::size_t sos = FindMarker(j, 0xDA);
                            j.resize(sos + 2 + (std::size_t{j[sos + 2]} << 8 | j[sos + 3]));
                            return j;
                        },
                        true},
                    EditCase{"corruptEntropyData", // a warning only; the picture still shows
                             [] {
                                 std::vector<std::uint8_t> j = BaselineJpeg();
                                 std::fill_n(j.begin() + static_cast<std::ptrdiff_t>(j.size() / 2),
                                             16, std::uint8_t{0});
                                 return j;
                             },
                             true},
                    EditCase{"junkAfterEndOfImage",
                             [] {
                                 std::vector<std::uint8_t> j = BaselineJpeg();
                                 j.insert(j.end(), {0x12, 0xFF, 0x00, 0xFF, 0xC0, 0x00});
                                 return j;
                             },
                             true},
                    EditCase{"twelveBitPrecision", // a library error, not a warning
                             [] {
                                 std::vector<std::uint8_t> j = BaselineJpeg();
                                 j[FindMarker(j, 0xC0) + 4] = 12;
                                 return j;
                             },
                             false}),
    [](const testing::TestParamInfo<EditCase>& c) { return c.param.name; });

// The frame header's size edited: the entropy data no longer fits it, which libjpeg only warns
// about, so every size that libjpeg and the limits accept decodes.
struct SizeCase {
    const char* name;
    std::uint16_t width, height;
    bool decodes;
};

class JpegFrameSize : public testing::TestWithParam<SizeCase> {};

TEST_P(JpegFrameSize, LimitsAreCheckedBeforeDecoding)
{
    const SizeCase& c = GetParam();
    std::vector<std::uint8_t> jpeg = BaselineJpeg();
    const std::size_t sof = FindMarker(jpeg, 0xC0); // FF C0, length, precision, height, width
    ASSERT_NE(sof, 0u);
    jpeg[sof + 5] = static_cast<std::uint8_t>(c.height >> 8);
    jpeg[sof + 6] = static_cast<std::uint8_t>(c.height);
    jpeg[sof + 7] = static_cast<std::uint8_t>(c.width >> 8);
    jpeg[sof + 8] = static_cast<std::uint8_t>(c.width);

    const std::optional<Picture> picture = DecodeJpeg(jpeg);
    ASSERT_EQ(picture.has_value(), c.decodes);
    if (picture) {
        EXPECT_EQ(picture->width, c.width);
        EXPECT_EQ(picture->height, c.height);
    }
}

INSTANTIATE_TEST_SUITE_P(
    EditedFrameHeader, JpegFrameSize,
    testing::Values(SizeCase{"larger", 2000, 1000, true},
                    // libjpeg would decode this one; only the pixel limit refuses it
                    SizeCase{"justOverPixelLimit", 8193, 8192, false},
                    SizeCase{"largestFrame", 65500, 65500, false},
                    SizeCase{"zeroHeight", 96, 0, false}),
    [](const testing::TestParamInfo<SizeCase>& c) { return c.param.name; });

// Four-component pictures: the same inks stored three ways show the same colours.
struct CmykCase {
    const char* name;
    JpegOptions options;
    bool inverted; // the samples given to libjpeg are 255 − ink, as Adobe software writes them
};

class JpegCmyk : public testing::TestWithParam<CmykCase> {};

TEST_P(JpegCmyk, ConvertsInksToRgb)
{
    const CmykCase& c = GetParam();
    const SampleImage inks = MakePattern(48, 32, 4);
    SampleImage stored = inks;
    if (c.inverted)
        for (std::uint8_t& v : stored.samples)
            v = static_cast<std::uint8_t>(255 - v);
    const std::vector<std::uint8_t> jpeg = EncodeJpeg(stored, c.options);
    ASSERT_FALSE(jpeg.empty());

    const std::optional<Picture> picture = DecodeJpeg(jpeg);
    ASSERT_TRUE(picture.has_value());
    ASSERT_EQ(picture->width, inks.width);
    ASSERT_EQ(picture->height, inks.height);
    const SampleImage decodedInks = DecodeJpegDirect(jpeg, JCS_CMYK);
    ASSERT_EQ(decodedInks.width, inks.width);

    std::size_t mismatches = 0;
    int worst = 0;
    for (std::uint32_t y = 0; y < inks.height; ++y) {
        for (std::uint32_t x = 0; x < inks.width; ++x) {
            const std::uint8_t* p = picture->Row(y) + std::size_t{x} * 4;
            const std::uint8_t* d = &decodedInks.samples[decodedInks.At(x, y)];
            const std::uint8_t* s = &inks.samples[inks.At(x, y)];
            auto ink = [&](int i) { return c.inverted ? 255 - d[i] : d[i]; };
            // Subtractive inks on white paper, rounded to nearest.
            auto light = [](int inkValue, int black) {
                return static_cast<int>(std::lround((255 - inkValue) * (255 - black) / 255.0));
            };
            const int red = light(ink(0), ink(3));
            const int green = light(ink(1), ink(3));
            const int blue = light(ink(2), ink(3));
            if (p[0] != blue || p[1] != green || p[2] != red || p[3] != 0xFF)
                ++mismatches;
            const int intended[3] = {light(s[2], s[3]), light(s[1], s[3]), light(s[0], s[3])};
            for (int i = 0; i < 3; ++i)
                worst = std::max(worst, std::abs(p[i] - intended[i]));
        }
    }
    EXPECT_EQ(mismatches, 0u);
    EXPECT_LE(worst, 24);
}

INSTANTIATE_TEST_SUITE_P(
    InkConventions, JpegCmyk,
    testing::Values(CmykCase{"plainWithoutAdobeMarker", {.adobeMarker = false}, false},
                    CmykCase{"adobeInverted", {}, true},
                    CmykCase{"adobeYcck", {.stored = JCS_YCCK}, true}),
    [](const testing::TestParamInfo<CmykCase>& c) { return c.param.name; });

// A progressive grey script: the DC scan, then each of the 63 AC coefficients in its own scan,
// every one first sent without its `bits` low bits and then refined one bit at a time.
std::vector<jpeg_scan_info> ScansOfSingleCoefficients(int bits)
{
    std::vector<jpeg_scan_info> scans;
    auto scan = [&](int first, int last, int high, int low) {
        jpeg_scan_info s{};
        s.comps_in_scan = 1;
        s.component_index[0] = 0;
        s.Ss = first;
        s.Se = last;
        s.Ah = high;
        s.Al = low;
        scans.push_back(s);
    };
    for (int k = 0; k < 64; ++k) {
        scan(k, k, 0, bits);
        for (int al = bits - 1; al >= 0; --al)
            scan(k, k, al + 1, al);
    }
    return scans;
}

struct ScanCase {
    const char* name;
    int approximationBits;
    std::size_t scans;
    bool decodes;
};

class JpegScanLimit : public testing::TestWithParam<ScanCase> {};

// Real encoders write about ten scans; hundreds of them only cost decoding time.
TEST_P(JpegScanLimit, ManyScansDecodeTooManyFail)
{
    const ScanCase& c = GetParam();
    JpegOptions options;
    options.scans = ScansOfSingleCoefficients(c.approximationBits);
    ASSERT_EQ(options.scans.size(), c.scans);
    const SampleImage source = MakePattern(16, 16, 1);
    const std::vector<std::uint8_t> jpeg = EncodeJpeg(source, options);
    ASSERT_FALSE(jpeg.empty());
    ASSERT_EQ(DecodeJpegDirect(jpeg, JCS_GRAYSCALE).width, 16u); // libjpeg itself reads it

    const std::optional<Picture> picture = DecodeJpeg(jpeg);
    ASSERT_EQ(picture.has_value(), c.decodes);
    if (picture) {
        EXPECT_EQ(CountMismatches(*picture, DecodeJpegDirect(jpeg, JCS_GRAYSCALE)), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(ProgressiveScripts, JpegScanLimit,
                         testing::Values(ScanCase{"oneScanPerCoefficient", 0, 64, true},
                                         ScanCase{"eightRefinements", 7, 512, false},
                                         ScanCase{"tenRefinements", 10, 704, false}),
                         [](const testing::TestParamInfo<ScanCase>& c) { return c.param.name; });

TEST(JpegInput, EmptyAndForeignDataFail)
{
    EXPECT_FALSE(DecodeJpeg({}).has_value());
    const std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    EXPECT_FALSE(DecodeJpeg(png).has_value());
}

} // namespace
} // namespace picbox
