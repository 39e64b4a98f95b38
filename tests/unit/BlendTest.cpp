// Blending of alpha onto the background: the exact rule, checked over every input.
#include "ui/image/Blend.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <utility>

namespace picbox {
namespace {

// The rule as written, (c·a + b·(255 − a)) / 255 truncated: the exact rational value of
// c·a/255 + b·(1 − a/255), which never leaves 0..255 for byte inputs.
unsigned PlainFormula(unsigned c, unsigned a, unsigned b) { return (c * a + b * (255 - a)) / 255; }

TEST(BlendComponent, EqualsThePlainFormulaForEveryInput)
{
    std::size_t mismatches = 0;
    unsigned firstC = 0, firstA = 0, firstB = 0;
    for (unsigned c = 0; c < 256; ++c) {
        for (unsigned a = 0; a < 256; ++a) {
            for (unsigned b = 0; b < 256; ++b) {
                const auto got =
                    BlendComponent(static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(a),
                                   static_cast<std::uint8_t>(b));
                if (got != PlainFormula(c, a, b) && mismatches++ == 0) {
                    firstC = c;
                    firstA = a;
                    firstB = b;
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0u) << "first at c=" << firstC << " a=" << firstA << " b=" << firstB;
}

struct ComponentCase {
    const char* name;
    std::uint8_t c, a, b, expected;
};

class BlendCases : public testing::TestWithParam<ComponentCase> {};

TEST_P(BlendCases, GiveTheTruncatedExactValue)
{
    const ComponentCase& k = GetParam();
    EXPECT_EQ(BlendComponent(k.c, k.a, k.b), k.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Notable, BlendCases,
    testing::Values(
        // 255·128/255 + 255·127/255 is exactly 255; a float evaluation can give 254.
        ComponentCase{"whiteOnWhiteStaysAtTheTop", 255, 128, 255, 255},
        ComponentCase{"transparentGivesBackground", 17, 0, 200, 200},
        ComponentCase{"opaqueKeepsColour", 17, 255, 200, 17},
        ComponentCase{"truncatesTowardsZero", 100, 128, 50, 75}, // 19150 / 255 = 75.098
        ComponentCase{"smallFractionDropped", 0, 1, 254, 253},   // 64516 / 255 = 253.004
        ComponentCase{"blackOverBlack", 0, 77, 0, 0}),
    [](const testing::TestParamInfo<ComponentCase>& c) { return c.param.name; });

// A 256 × 256 picture holding every (component, alpha) pair: x is the component, y the alpha.
Picture EveryPair()
{
    std::optional<Picture> p = AllocatePicture(256, 256);
    p->hasAlpha = true;
    for (std::uint32_t a = 0; a < 256; ++a) {
        for (std::uint32_t c = 0; c < 256; ++c) {
            std::uint8_t* px = p->Row(a) + c * 4;
            px[0] = static_cast<std::uint8_t>(c);
            px[1] = static_cast<std::uint8_t>(255 - c);
            px[2] = static_cast<std::uint8_t>(c ^ 0x5A);
            px[3] = static_cast<std::uint8_t>(a);
        }
    }
    return std::move(*p);
}

class BlendPictures : public testing::TestWithParam<std::uint32_t> {};

TEST_P(BlendPictures, EveryPixelFollowsTheRule)
{
    const std::uint32_t colorref = GetParam(); // 0x00BBGGRR
    const std::uint8_t back[3] = {static_cast<std::uint8_t>(colorref >> 16),
                                  static_cast<std::uint8_t>(colorref >> 8),
                                  static_cast<std::uint8_t>(colorref)};
    const Picture source = EveryPair();
    const std::optional<Picture> out = BlendOntoBackground(source, colorref);
    ASSERT_TRUE(out.has_value());
    EXPECT_FALSE(out->hasAlpha);
    ASSERT_EQ(out->width, 256u);
    ASSERT_EQ(out->height, 256u);

    std::size_t wrong = 0;
    for (std::uint32_t a = 0; a < 256; ++a) {
        for (std::uint32_t c = 0; c < 256; ++c) {
            const std::uint8_t* in = source.Row(a) + c * 4;
            const std::uint8_t* px = out->Row(a) + c * 4;
            for (int i = 0; i < 3; ++i) {
                std::uint8_t expected = BlendComponent(in[i], in[3], back[i]);
                if (a == 255)
                    expected = in[i]; // copied as it is
                if (a == 0)
                    expected = back[i]; // only the background shows
                wrong += px[i] != expected;
            }
            wrong += px[3] != 0xFF;
        }
    }
    EXPECT_EQ(wrong, 0u);
}

INSTANTIATE_TEST_SUITE_P(Backgrounds, BlendPictures,
                         testing::Values(0x00000000u, 0x00FFFFFFu, 0x00F0F0F0u, 0x00123456u,
                                         0x00FF0080u));

TEST(BlendOntoBackground, PictureWithoutAlphaIsCopied)
{
    std::optional<Picture> p = AllocatePicture(3, 2);
    ASSERT_TRUE(p.has_value());
    p->hasAlpha = false;
    for (std::size_t i = 0; i < p->ByteCount(); ++i)
        p->pixels[i] = static_cast<std::uint8_t>(i % 4 == 3 ? 0xFF : i * 11);
    const std::optional<Picture> out = BlendOntoBackground(*p, 0x00123456);
    ASSERT_TRUE(out.has_value());
    EXPECT_FALSE(out->hasAlpha);
    EXPECT_EQ(std::memcmp(out->pixels.get(), p->pixels.get(), p->ByteCount()), 0);
}

TEST(BlendOntoBackground, EmptyPictureGivesNothing)
{
    EXPECT_FALSE(BlendOntoBackground(Picture{}, 0).has_value());
}

} // namespace
} // namespace picbox
