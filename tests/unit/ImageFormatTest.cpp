// Format recognition from the first bytes.
#include "ui/image/ImageFormat.h"

#include <gtest/gtest.h>

#include <vector>

namespace picbox {
namespace {

struct FormatCase {
    const char* name;
    std::vector<std::uint8_t> bytes;
    ImageFormat expected;
};

class Recognition : public testing::TestWithParam<FormatCase> {};

TEST_P(Recognition, FirstMatchingTestWins)
{
    EXPECT_EQ(RecogniseFormat(GetParam().bytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Signatures, Recognition,
    testing::Values(
        FormatCase{"bmp", {'B', 'M', 0, 0, 0, 0, 0, 0}, ImageFormat::Bmp},
        FormatCase{"jpeg", {0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10, 'J', 'F'}, ImageFormat::Jpeg},
        FormatCase{"png", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, ImageFormat::Png},
        FormatCase{"ico", {0, 0, 1, 0, 1, 0, 32, 32}, ImageFormat::Ico},
        FormatCase{"cur", {0, 0, 2, 0, 3, 0, 32, 32}, ImageFormat::Cur},
        FormatCase{"icoWithoutImages", {0, 0, 1, 0, 0, 0, 32, 32}, ImageFormat::None},
        FormatCase{"gif87a", {'G', 'I', 'F', '8', '7', 'a', 1, 0}, ImageFormat::Gif},
        FormatCase{"gif89a", {'G', 'I', 'F', '8', '9', 'a', 1, 0}, ImageFormat::Gif},
        FormatCase{"gif88a", {'G', 'I', 'F', '8', '8', 'a', 1, 0}, ImageFormat::None},
        FormatCase{"pcx8v5", {0x0A, 5, 1, 8, 0, 0, 0, 0}, ImageFormat::Pcx8},
        FormatCase{"pcx8v0", {0x0A, 0, 1, 8, 0, 0, 0, 0}, ImageFormat::Pcx8},
        FormatCase{"pcx8v6", {0x0A, 6, 1, 8, 0, 0, 0, 0}, ImageFormat::None},
        FormatCase{"pcx1", {0x0A, 3, 1, 1, 0, 0, 0, 0}, ImageFormat::Pcx1},
        FormatCase{"pcx1v5", {0x0A, 5, 1, 1, 0, 0, 0, 0}, ImageFormat::None},
        FormatCase{"pcxUncompressed", {0x0A, 5, 0, 8, 0, 0, 0, 0}, ImageFormat::None},
        FormatCase{"sevenBytes", {'B', 'M', 0, 0, 0, 0, 0}, ImageFormat::None},
        FormatCase{"html", {'<', 'h', 't', 'm', 'l', '>', '\n', ' '}, ImageFormat::None},
        // "BM" wins over everything after it, as the tests are taken in order.
        FormatCase{"bmBeforeGif", {'B', 'M', 'F', '8', '9', 'a', 0, 0}, ImageFormat::Bmp}),
    [](const testing::TestParamInfo<FormatCase>& c) { return c.param.name; });

TEST(Recognition, EmptyDataIsNoPicture)
{
    EXPECT_EQ(RecogniseFormat({}), ImageFormat::None);
    EXPECT_EQ(FormatName(ImageFormat::Pcx1), "pcx");
    EXPECT_EQ(FormatName(ImageFormat::None), "none");
}

} // namespace
} // namespace picbox
