// Choice of the shown entry of ICO and CUR directories, and the checks on offsets and headers.
#include "ui/image/IconDirectory.h"

#include "TestEncoders.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace picbox {
namespace {

void PutU16(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    PutU16(out, v & 0xFFFF);
    PutU16(out, v >> 16);
}

// A BITMAPINFOHEADER (biHeight counts the colour image and the AND mask) and some pixel bytes.
std::vector<std::uint8_t> BitmapImage(std::int32_t width, std::int32_t fullHeight,
                                      std::uint16_t bitCount, std::uint32_t headerSize = 40)
{
    std::vector<std::uint8_t> out;
    PutU32(out, headerSize);
    PutU32(out, static_cast<std::uint32_t>(width));
    PutU32(out, static_cast<std::uint32_t>(fullHeight));
    PutU16(out, 1); // planes
    PutU16(out, bitCount);
    out.resize(headerSize < 16 ? 16 : headerSize, 0); // compression, sizes, colours: zero
    out.resize(out.size() + 64, 0x3C);                // pixel bytes, never read here
    return out;
}

std::vector<std::uint8_t> PngImage(std::uint32_t width, std::uint32_t height, int colourType)
{
    test::PngLayout layout;
    layout.width = width;
    layout.height = height;
    layout.colourType = colourType;
    layout.rows.assign(layout.RowBytes() * height, 0x80);
    return test::EncodePng(layout);
}

struct Entry {
    std::uint8_t width, height, colourCount;
    std::uint16_t planes, bitCount; // a cursor's hotspot
    std::vector<std::uint8_t> image;
    std::optional<std::uint32_t> offset{}; // overrides where the image really is
    std::optional<std::uint32_t> size{};
};

// The 6-byte header, the 16-byte entries, then the images in entry order.
std::vector<std::uint8_t> Directory(std::uint16_t type, const std::vector<Entry>& entries,
                                    std::optional<std::uint16_t> count = std::nullopt)
{
    std::vector<std::uint8_t> out;
    PutU16(out, 0);
    PutU16(out, type);
    PutU16(out, count.value_or(static_cast<std::uint16_t>(entries.size())));
    std::uint32_t at = static_cast<std::uint32_t>(6 + 16 * entries.size());
    for (const Entry& e : entries) {
        out.insert(out.end(), {e.width, e.height, e.colourCount, 0});
        PutU16(out, e.planes);
        PutU16(out, e.bitCount);
        PutU32(out, e.size.value_or(static_cast<std::uint32_t>(e.image.size())));
        PutU32(out, e.offset.value_or(at));
        at += static_cast<std::uint32_t>(e.image.size());
    }
    for (const Entry& e : entries)
        out.insert(out.end(), e.image.begin(), e.image.end());
    return out;
}

Entry Icon(std::uint8_t size, std::uint8_t colours, std::uint16_t bitCount = 8)
{
    return Entry{size, size, colours, 1, bitCount, BitmapImage(size, size * 2, bitCount)};
}

struct Expected {
    std::size_t index;
    std::int32_t width, height;
    std::uint16_t hotspotX, hotspotY;
    bool isPng;
    std::uint16_t bitCount;
};

struct DirectoryCase {
    const char* name;
    std::vector<std::uint8_t> (*make)();
    std::optional<Expected> expected;
};

class IconChoices : public testing::TestWithParam<DirectoryCase> {};

TEST_P(IconChoices, TakeTheRightEntryOrFail)
{
    const std::vector<std::uint8_t> data = GetParam().make();
    const std::optional<IconChoice> choice = ChooseIconEntry(data);
    const std::optional<Expected>& expected = GetParam().expected;
    ASSERT_EQ(choice.has_value(), expected.has_value());
    if (!choice)
        return;
    EXPECT_EQ(choice->index, expected->index);
    EXPECT_EQ(choice->width, expected->width);
    EXPECT_EQ(choice->height, expected->height);
    EXPECT_EQ(choice->hotspotX, expected->hotspotX);
    EXPECT_EQ(choice->hotspotY, expected->hotspotY);
    EXPECT_EQ(choice->isPng, expected->isPng);
    EXPECT_EQ(choice->bitCount, expected->bitCount);

    // The image is the chosen entry's range of the data, as its directory entry gives it.
    const std::size_t entry = 6 + 16 * choice->index;
    const std::uint32_t size =
        std::uint32_t{data[entry + 8]} | std::uint32_t{data[entry + 9]} << 8 |
        std::uint32_t{data[entry + 10]} << 16 | std::uint32_t{data[entry + 11]} << 24;
    const std::uint32_t offset =
        std::uint32_t{data[entry + 12]} | std::uint32_t{data[entry + 13]} << 8 |
        std::uint32_t{data[entry + 14]} << 16 | std::uint32_t{data[entry + 15]} << 24;
    EXPECT_EQ(choice->image.data(), data.data() + offset);
    EXPECT_EQ(choice->image.size(), size);
}

INSTANTIATE_TEST_SUITE_P(
    Directories, IconChoices,
    testing::Values(
        DirectoryCase{"singleEntry", [] { return Directory(1, {Icon(16, 16)}); },
                      Expected{0, 16, 16, 0, 0, false, 8}},
        DirectoryCase{"first32WithSixteenColours",
                      [] {
                          return Directory(1, {Icon(16, 16), Icon(32, 16, 4), Icon(32, 200)});
                      },
                      Expected{1, 32, 32, 0, 0, false, 4}},
        DirectoryCase{"noneQualifiesSoTheLast",
                      [] {
                          return Directory(1, {Icon(32, 2, 1), Icon(48, 16), Icon(16, 255)});
                      },
                      Expected{2, 16, 16, 0, 0, false, 8}},
        DirectoryCase{"colourCountZeroIsBelowSixteen", // the byte for 256 colours or more
                      [] {
                          return Directory(1, {Icon(32, 0, 32), Icon(48, 0, 32)});
                      },
                      Expected{1, 48, 48, 0, 0, false, 32}},
        DirectoryCase{"sizesComeFromTheBitmapHeader",
                      [] {
                          Entry e = Icon(32, 16);
                          e.image = BitmapImage(40, 81, 24); // odd: half truncates
                          return Directory(1, {e});
                      },
                      Expected{0, 40, 40, 0, 0, false, 24}},
        DirectoryCase{"cursorHotspot",
                      [] {
                          Entry e = Icon(32, 16, 1);
                          e.planes = 5;    // hotspot x
                          e.bitCount = 27; // hotspot y
                          return Directory(2, {Icon(16, 2), e});
                      },
                      Expected{1, 32, 32, 5, 27, false, 1}},
        DirectoryCase{"iconHasNoHotspot",
                      [] {
                          Entry e = Icon(32, 16, 4);
                          e.planes = 5;
                          e.bitCount = 27;
                          return Directory(1, {e});
                      },
                      Expected{0, 32, 32, 0, 0, false, 4}},
        DirectoryCase{"pngSizeFromIhdr",
                      [] {
                          return Directory(
                              1,
                              {Icon(16, 2), Entry{0, 0, 0, 1, 32,
                                                  PngImage(300, 260, PNG_COLOR_TYPE_RGB_ALPHA)}});
                      },
                      Expected{1, 300, 260, 0, 0, true, 32}},
        DirectoryCase{"greyPngBitCount",
                      [] {
                          return Directory(
                              2, {Entry{32, 32, 16, 3, 4, PngImage(32, 32, PNG_COLOR_TYPE_GRAY)}});
                      },
                      Expected{0, 32, 32, 3, 4, true, 8}},
        DirectoryCase{"imageEndsAtTheDataEnd", [] { return Directory(1, {Icon(16, 0)}); },
                      Expected{0, 16, 16, 0, 0, false, 8}},
        DirectoryCase{"unchosenEntryMayPointAnywhere",
                      [] {
                          Entry bad = Icon(16, 16);
                          bad.offset = 0xFFFFFF00u;
                          return Directory(1, {bad, Icon(32, 16)});
                      },
                      Expected{1, 32, 32, 0, 0, false, 8}},
        // Failures.
        DirectoryCase{"imageOneBytePastTheEnd",
                      [] {
                          std::vector<std::uint8_t> d = Directory(1, {Icon(16, 0)});
                          d.pop_back();
                          return d;
                      },
                      std::nullopt},
        DirectoryCase{"offsetBeyondTheData",
                      [] {
                          Entry e = Icon(32, 16);
                          e.offset = 100000;
                          return Directory(1, {e});
                      },
                      std::nullopt},
        DirectoryCase{"offsetPlusSizeWrapsIn32Bits",
                      [] {
                          Entry e = Icon(32, 16);
                          e.offset = 0x40;
                          e.size = 0xFFFFFFF0u;
                          return Directory(1, {e});
                      },
                      std::nullopt},
        DirectoryCase{"directoryLongerThanTheData", // three entries claimed, two there
                      [] {
                          std::vector<std::uint8_t> d = Directory(1, {Icon(32, 16)}, 3);
                          d.resize(6 + 16 * 2 + 8);
                          return d;
                      },
                      std::nullopt},
        DirectoryCase{"noEntries", [] { return Directory(1, {}); }, std::nullopt},
        DirectoryCase{"typeThree", [] { return Directory(3, {Icon(32, 16)}); }, std::nullopt},
        DirectoryCase{"reservedWordSet",
                      [] {
                          std::vector<std::uint8_t> d = Directory(1, {Icon(32, 16)});
                          d[0] = 1;
                          return d;
                      },
                      std::nullopt},
        DirectoryCase{"coreHeader", // BITMAPCOREHEADER, 12 bytes
                      [] {
                          Entry e = Icon(32, 16);
                          e.image = BitmapImage(32, 64, 8, 12);
                          return Directory(1, {e});
                      },
                      std::nullopt},
        DirectoryCase{"headerSizeBeyondTheImage",
                      [] {
                          Entry e = Icon(32, 16);
                          e.image = BitmapImage(32, 64, 8, 40);
                          e.image[0] = 200;
                          return Directory(1, {e});
                      },
                      std::nullopt},
        DirectoryCase{"imageShorterThanAHeader",
                      [] {
                          Entry e = Icon(32, 16);
                          e.size = 39;
                          return Directory(1, {e});
                      },
                      std::nullopt},
        DirectoryCase{"zeroWidth",
                      [] {
                          Entry e = Icon(32, 16);
                          e.image = BitmapImage(0, 64, 8);
                          return Directory(1, {e});
                      },
                      std::nullopt},
        DirectoryCase{"negativeHeight",
                      [] {
                          Entry e = Icon(32, 16);
                          e.image = BitmapImage(32, -64, 8);
                          return Directory(1, {e});
                      },
                      std::nullopt},
        DirectoryCase{"heightOfOneHalvesToZero",
                      [] {
                          Entry e = Icon(32, 16);
                          e.image = BitmapImage(32, 1, 8);
                          return Directory(1, {e});
                      },
                      std::nullopt},
        DirectoryCase{"widthBeyondTheLimit",
                      [] {
                          Entry e = Icon(32, 16);
                          e.image = BitmapImage(65536, 64, 8);
                          return Directory(1, {e});
                      },
                      std::nullopt},
        DirectoryCase{"pngIhdrCut",
                      [] {
                          Entry e{0, 0, 0, 1, 32, PngImage(64, 64, PNG_COLOR_TYPE_RGB_ALPHA)};
                          e.image.resize(20); // signature and half of IHDR
                          return Directory(1, {e});
                      },
                      std::nullopt}),
    [](const testing::TestParamInfo<DirectoryCase>& c) { return c.param.name; });

TEST(IconChoices, ShortDataFails)
{
    const std::vector<std::uint8_t> header = {0, 0, 1, 0, 1};
    EXPECT_FALSE(ChooseIconEntry(header).has_value());
    EXPECT_FALSE(ChooseIconEntry({}).has_value());
}

} // namespace
} // namespace picbox
