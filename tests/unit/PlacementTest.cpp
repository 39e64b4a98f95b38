// Placement of a picture in the picture box, the fit mode's roundings above all.
#include "ui/image/Placement.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

namespace picbox {
namespace {

struct FitCase {
    int width, height;
    PlacementRect expected;
};

class FitPlacement : public testing::TestWithParam<FitCase> {};

TEST_P(FitPlacement, CentresAndShrinks)
{
    const FitCase& c = GetParam();
    EXPECT_EQ(PlacePicture(DisplayMode::Fit, 584, 288, c.width, c.height), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Box584x288, FitPlacement,
    testing::Values(FitCase{200, 100, {192, 94, 200, 100}},     // natural size, centred
                    FitCase{584, 288, {0, 0, 584, 288}},        // exactly the box
                    FitCase{1168, 576, {0, 0, 584, 288}},       // exactly twice
                    FitCase{2336, 576, {0, 72, 584, 144}},      // width decides
                    FitCase{292, 576, {219, 0, 146, 288}},      // height decides
                    FitCase{1168, 101, {0, 118, 584, 50}},      // two halvings: 118, not 119
                    FitCase{1920, 1080, {36, 0, 511, 287}},     // eh / H rounded to a double
                    FitCase{1080, 1920, {211, 0, 161, 287}},    // likewise, taller
                    FitCase{2560, 1440, {36, 0, 512, 288}},     // the double rounds up here
                    FitCase{585, 1, {0, 143, 584, 0}},          // a sliver becomes 0 high
                    FitCase{1, 100000, {291, 0, 0, 288}},       // and 0 wide
                    FitCase{65535, 65535, {148, 0, 287, 287}}));

TEST(Placement, TopLeftAndStretch)
{
    EXPECT_EQ(PlacePicture(DisplayMode::TopLeft, 584, 288, 1920, 1080),
              (PlacementRect{0, 0, 1920, 1080}));
    EXPECT_EQ(PlacePicture(DisplayMode::Stretch, 584, 288, 20, 10),
              (PlacementRect{0, 0, 584, 288}));
    EXPECT_EQ(PlacePicture(DisplayMode::Fit, 0, 0, 20, 10), (PlacementRect{0, 0, 0, 0}));
    EXPECT_EQ(PlacePicture(DisplayMode::Fit, 584, 288, 0, 10), (PlacementRect{0, 0, 0, 0}));
}

#if defined(__x86_64__) && defined(__linux__)
// Natively on x86-64 Linux, long double is the x87 extended format with the full 64-bit
// mantissa in effect, so the computation the integer emulation stands in for can be run as
// it is and compared over many sizes, including every boundary of the rounding.
PlacementRect X87Fit(int cw, int ch, int w, int h)
{
    int x = 0, y = 0, ew = cw, eh = ch;
    if (w <= cw) {
        x = (cw - w) / 2;
        ew = w;
    }
    if (h <= ch) {
        y = (ch - h) / 2;
        eh = h;
    }
    if (w <= cw && h <= ch)
        return {x, y, w, h};
    const long double byWidth = static_cast<long double>(ew) / w;
    const double byHeight = static_cast<double>(eh) / h;
    const long double s = byWidth < byHeight ? byWidth : static_cast<long double>(byHeight);
    const int fw = static_cast<int>(w * s);
    const int fh = static_cast<int>(h * s);
    return {x + (ew - fw) / 2, y + (eh - fh) / 2, fw, fh};
}

TEST(Placement, MatchesExtendedPrecisionArithmetic)
{
    static_assert(std::numeric_limits<long double>::digits == 64);
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> size(1, 20000);
    std::uniform_int_distribution<int> client(1, 2000);
    for (int w = 1; w <= 3000; ++w) {
        for (int h : {1, 2, 3, 50, 100, 287, 288, 289, 576, 1080, 1440, 1920, 2880}) {
            SCOPED_TRACE(testing::Message() << w << "x" << h);
            ASSERT_EQ(PlacePicture(DisplayMode::Fit, 584, 288, w, h), X87Fit(584, 288, w, h));
        }
    }
    for (int i = 0; i < 200000; ++i) {
        const int w = size(random), h = size(random), cw = client(random), ch = client(random);
        SCOPED_TRACE(testing::Message() << w << "x" << h << " in " << cw << "x" << ch);
        ASSERT_EQ(PlacePicture(DisplayMode::Fit, cw, ch, w, h), X87Fit(cw, ch, w, h));
    }
}
#endif

} // namespace
} // namespace picbox
