// GIF animation and still decoding against canvases composed here from GIFs built in code.
#include "ui/image/GifDecoder.h"

#include "GifBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace picbox {
namespace {

using testing_gif::Bytes;
using testing_gif::FrameSpec;
using testing_gif::GifBuilder;
using testing_gif::Rgb;

constexpr std::uint32_t kBlack = 0xFF000000u;
constexpr std::uint32_t kBackground = 0x00F0E0D0; // COLORREF: R = D0, G = E0, B = F0

std::uint32_t Word(Rgb c)
{
    return 0xFF000000u | (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b;
}

std::uint32_t BackgroundWord(std::uint32_t colorref)
{
    return Word({static_cast<std::uint8_t>(colorref), static_cast<std::uint8_t>(colorref >> 8),
                 static_cast<std::uint8_t>(colorref >> 16)});
}

// Distinct colours, none of them black, so an index drawn black instead shows.
std::vector<Rgb> Palette(std::size_t n, std::uint32_t seed)
{
    std::vector<Rgb> table;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t v = (static_cast<std::uint32_t>(i) + 1 + seed * 977u) * 0x9E3779B1u;
        table.push_back({static_cast<std::uint8_t>(v >> 24 | 1), static_cast<std::uint8_t>(v >> 16),
                         static_cast<std::uint8_t>(v >> 8)});
    }
    return table;
}

Bytes Noise(std::size_t n, unsigned colours, std::uint32_t seed)
{
    Bytes out(n);
    std::uint32_t s = seed * 2654435761u + 12345u;
    for (auto& v : out) {
        s = s * 1664525u + 1013904223u;
        v = static_cast<std::uint8_t>((s >> 16) % colours);
    }
    return out;
}

// Runs of one index, `run` long, cycling through `colours` indices.
Bytes Runs(std::size_t n, unsigned colours, std::size_t run)
{
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<std::uint8_t>((i / run) % colours);
    return out;
}

FrameSpec MakeFrame(std::uint16_t left, std::uint16_t top, std::uint16_t width,
                    std::uint16_t height, Bytes indices)
{
    FrameSpec f;
    f.left = left;
    f.top = top;
    f.width = width;
    f.height = height;
    f.indices = std::move(indices);
    return f;
}

FrameSpec NoiseFrame(std::uint16_t left, std::uint16_t top, std::uint16_t width,
                     std::uint16_t height, unsigned colours, std::uint32_t seed)
{
    return MakeFrame(left, top, width, height, Noise(std::size_t{width} * height, colours, seed));
}

// A logical screen, its global table and its frames, written in order with a trailer.
struct Scene {
    std::uint16_t width = 16, height = 16;
    std::vector<Rgb> global;
    std::vector<FrameSpec> frames;

    Bytes Build() const
    {
        GifBuilder b(width, height, global);
        for (const FrameSpec& f : frames)
            b.Frame(f);
        return b.Trailer().Data();
    }
};

// The canvas as the picture box composes it, pixel by pixel: black beyond a colour table,
// transparent indices leave the canvas, disposal 2 and 3 put back the area under the frame.
class Composer {
public:
    Composer(std::uint32_t width, std::uint32_t height, std::uint32_t background)
        : width_(width), height_(height),
          canvas_(std::size_t{width} * height, BackgroundWord(background))
    {
    }

    void PutBack()
    {
        for (const auto& [at, pixel] : saved_)
            canvas_[at] = pixel;
        saved_.clear();
    }

    // Draws the first `decoded` indices of the frame in the order they are coded.
    void Draw(const FrameSpec& f, const std::vector<Rgb>& global, std::size_t decoded = SIZE_MAX)
    {
        const std::vector<Rgb>& table = f.localTable.empty() ? global : f.localTable;
        std::vector<std::uint32_t> rows;
        if (f.interlaced) {
            rows = testing_gif::InterlacedRows(f.height);
        } else {
            for (std::uint32_t y = 0; y < f.height; ++y)
                rows.push_back(y);
        }
        for (std::uint32_t y = 0; y < f.height; ++y)
            for (std::uint32_t x = 0; x < f.width; ++x)
                if ((f.disposal == 2 || f.disposal == 3) && Inside(f.left + x, f.top + y))
                    saved_.emplace_back(At(f.left + x, f.top + y),
                                        canvas_[At(f.left + x, f.top + y)]);
        const std::size_t count = std::min(decoded, f.indices.size());
        for (std::size_t k = 0; k < count; ++k) {
            const std::uint32_t y = rows[k / f.width];
            const auto x = static_cast<std::uint32_t>(k % f.width);
            const std::uint8_t index = f.indices[std::size_t{y} * f.width + x];
            if (f.transparent && index == *f.transparent)
                continue;
            if (Inside(f.left + x, f.top + y))
                canvas_[At(f.left + x, f.top + y)] =
                    index < table.size() ? Word(table[index]) : kBlack;
        }
    }

    const std::vector<std::uint32_t>& Canvas() const { return canvas_; }

private:
    bool Inside(std::uint32_t x, std::uint32_t y) const { return x < width_ && y < height_; }
    std::size_t At(std::uint32_t x, std::uint32_t y) const { return std::size_t{y} * width_ + x; }

    std::uint32_t width_, height_;
    std::vector<std::uint32_t> canvas_;
    std::vector<std::pair<std::size_t, std::uint32_t>> saved_;
};

std::uint32_t PixelAt(const Picture& p, std::uint32_t x, std::uint32_t y)
{
    std::uint32_t v;
    std::memcpy(&v, p.Row(y) + 4 * std::size_t{x}, 4);
    return v;
}

// Compares every pixel, reporting the first few that differ.
void ExpectPixels(const Picture& p, std::uint32_t width, std::uint32_t height,
                  const std::function<std::uint32_t(std::uint32_t, std::uint32_t)>& expected)
{
    ASSERT_EQ(p.width, width);
    ASSERT_EQ(p.height, height);
    ASSERT_NE(p.pixels, nullptr);
    EXPECT_FALSE(p.hasAlpha);
    int mismatches = 0;
    for (std::uint32_t y = 0; y < height && mismatches < 5; ++y) {
        for (std::uint32_t x = 0; x < width && mismatches < 5; ++x) {
            if (PixelAt(p, x, y) != expected(x, y)) {
                ++mismatches;
                ADD_FAILURE() << "pixel (" << x << ", " << y << "): " << std::hex
                              << PixelAt(p, x, y) << " instead of " << expected(x, y);
            }
        }
    }
}

void ExpectCanvas(const GifAnimation& a, const std::vector<std::uint32_t>& expected)
{
    ExpectPixels(a.Canvas(), a.Width(), a.Height(), [&](std::uint32_t x, std::uint32_t y) {
        return expected[std::size_t{y} * a.Width() + x];
    });
}

std::uint32_t DelayMs(const FrameSpec& f)
{
    return f.control && f.delay != 0 ? 10u * f.delay : 50u;
}

// The still picture of a frame: its own size and colours, the transparent index as a colour,
// black from the `decoded`th index (in coded order) on.
void ExpectStill(const Picture& p, const FrameSpec& f, const std::vector<Rgb>& table,
                 std::size_t decoded = SIZE_MAX)
{
    std::vector<std::size_t> codedAt(f.height); // coded position of each row's first index
    const std::vector<std::uint32_t> rows =
        f.interlaced ? testing_gif::InterlacedRows(f.height) : [&] {
            std::vector<std::uint32_t> r;
            for (std::uint32_t y = 0; y < f.height; ++y)
                r.push_back(y);
            return r;
        }();
    for (std::size_t k = 0; k < rows.size(); ++k)
        codedAt[rows[k]] = k * f.width;
    ExpectPixels(p, f.width, f.height, [&](std::uint32_t x, std::uint32_t y) {
        if (codedAt[y] + x >= decoded)
            return kBlack;
        const std::uint8_t index = f.indices[std::size_t{y} * f.width + x];
        return index < table.size() ? Word(table[index]) : kBlack;
    });
}

// Test names from the cases' own names.
template <typename Case> std::string CaseName(const testing::TestParamInfo<Case>& c)
{
    return c.param.name;
}

Bytes OneFrameGif()
{
    Scene s;
    s.width = 4;
    s.height = 3;
    s.global = Palette(4, 1);
    s.frames.push_back(NoiseFrame(0, 0, 4, 3, 4, 1));
    return s.Build();
}

struct HeaderCase {
    const char* name;
    std::function<Bytes()> make;
};

class GifHeaderRejected : public testing::TestWithParam<HeaderCase> {};

TEST_P(GifHeaderRejected, NeitherOpensNorDecodes)
{
    const Bytes data = GetParam().make();
    EXPECT_FALSE(GifAnimation::Open(data, kBackground).has_value());
    EXPECT_FALSE(DecodeGifStill(data).has_value());
}

Bytes Edited(std::size_t at, std::uint8_t value)
{
    Bytes b = OneFrameGif();
    b[at] = value;
    return b;
}

// A header with a 2-entry global table (6 bytes) and `after` bytes following it.
Bytes GlobalTableThen(std::size_t after)
{
    Bytes b = GifBuilder(4, 4, Palette(2, 3)).Data();
    b.resize(13 + 6 + after, 0x3B);
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GifHeaderRejected,
    testing::Values(HeaderCase{"empty", [] { return Bytes{}; }},
                    HeaderCase{"thirteen_bytes",
                               [] {
                                   Bytes b = GifBuilder(4, 4).Data(); // no global table: 13 bytes
                                   return b;
                               }},
                    HeaderCase{"gif88a", [] { return Edited(4, '8'); }},
                    HeaderCase{"gif89b", [] { return Edited(5, 'b'); }},
                    HeaderCase{"lower_case", [] { return Edited(0, 'g'); }},
                    HeaderCase{"jif89a", [] { return Edited(1, 'J'); }},
                    HeaderCase{"global_table_ends_the_data", [] { return GlobalTableThen(0); }},
                    HeaderCase{"global_table_cut_short",
                               [] {
                                   Bytes b = GlobalTableThen(0);
                                   b.pop_back();
                                   return b;
                               }},
                    HeaderCase{"big_global_table_cut_short",
                               [] {
                                   Bytes b = OneFrameGif();
                                   b[10] = 0x87; // 256 entries: 768 bytes that are not there
                                   return b;
                               }},
                    HeaderCase{"global_table_flag_without_room",
                               [] {
                                   Bytes b = GifBuilder(4, 4).Data();
                                   b[10] |= 0x80;
                                   b.resize(13 + 6, 0x3B);
                                   return b;
                               }}),
    CaseName<HeaderCase>);

// No canvas can be made for them; the still does not need one.
TEST(GifHeader, ScreenSizesWithoutACanvas)
{
    const std::vector<std::pair<std::size_t, std::uint8_t>> edits = {
        {6, 0}, {8, 0}}; // width 4 → 0, height 3 → 0
    for (const auto& [at, value] : edits) {
        SCOPED_TRACE(at);
        const Bytes data = Edited(at, value);
        EXPECT_FALSE(GifAnimation::Open(data, kBackground).has_value());
        EXPECT_TRUE(DecodeGifStill(data).has_value());
    }
    Bytes huge = OneFrameGif();
    huge[6] = huge[7] = huge[8] = huge[9] = 0xFF; // 65535 × 65535: beyond the pixel limit
    EXPECT_FALSE(GifAnimation::Open(huge, kBackground).has_value());
    EXPECT_TRUE(DecodeGifStill(huge).has_value());
}

TEST(GifHeader, AcceptsTheShortestHeaders)
{
    Bytes noTable = GifBuilder(3, 2).Data();
    noTable.push_back(0x3B);
    Bytes gif87 = GifBuilder(3, 2, {}, "GIF87a").Data();
    gif87.push_back(0x3B);
    const std::vector<Bytes> cases = {noTable, gif87, GlobalTableThen(1)};
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        const std::optional<GifAnimation> a = GifAnimation::Open(cases[i], kBackground);
        ASSERT_TRUE(a.has_value());
        EXPECT_GT(a->Width(), 0u);
        EXPECT_EQ(a->FramesPerLoop(), 0u);
    }
}

TEST(GifCanvas, StartsAsTheBackgroundColourAtTheScreenSize)
{
    const Bytes data = OneFrameGif();
    for (std::uint32_t background : {0x00000000u, 0x00112233u, 0x00FFFFFFu, 0x000000FFu}) {
        SCOPED_TRACE(background);
        const std::optional<GifAnimation> a = GifAnimation::Open(data, background);
        ASSERT_TRUE(a.has_value());
        EXPECT_EQ(a->Width(), 4u);
        EXPECT_EQ(a->Height(), 3u);
        ExpectPixels(a->Canvas(), 4, 3, [&](auto, auto) { return BackgroundWord(background); });
    }
    // COLORREF 0x00BBGGRR becomes the word B | G << 8 | R << 16 | 0xFF << 24.
    EXPECT_EQ(BackgroundWord(0x00112233u), 0xFF332211u);
}

struct StillCase {
    const char* name;
    std::function<Bytes()> make;
    bool still;
    std::size_t frames;
};

class GifStillRule : public testing::TestWithParam<StillCase> {};

TEST_P(GifStillRule, FollowsWhereTheFirstFrameEnds)
{
    const Bytes data = GetParam().make();
    const std::optional<GifAnimation> a = GifAnimation::Open(data, kBackground);
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(a->IsStill(), GetParam().still);
    EXPECT_EQ(a->FramesPerLoop(), GetParam().frames);
}

Bytes TwoFrameGif()
{
    Scene s;
    s.global = Palette(4, 2);
    s.frames = {NoiseFrame(0, 0, 16, 16, 4, 1), NoiseFrame(2, 2, 5, 5, 4, 2)};
    return s.Build();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GifStillRule,
    testing::Values(StillCase{"one_frame_then_trailer", [] { return OneFrameGif(); }, true, 1},
                    StillCase{"one_frame_without_trailer",
                              [] {
                                  Bytes b = OneFrameGif();
                                  b.pop_back();
                                  return b;
                              },
                              true, 1},
                    StillCase{"one_frame_cut_in_its_data",
                              [] {
                                  Bytes b = OneFrameGif();
                                  b.resize(b.size() - 4);
                                  return b;
                              },
                              true, 1},
                    StillCase{"one_frame_then_two_bytes",
                              [] {
                                  Bytes b = OneFrameGif();
                                  b.push_back(0x3B);
                                  return b;
                              },
                              false, 1},
                    StillCase{"one_frame_then_a_comment",
                              [] {
                                  Bytes b = OneFrameGif();
                                  b.pop_back();
                                  const Bytes comment = {0x21, 0xFE, 1, 'x', 0, 0x3B};
                                  b.insert(b.end(), comment.begin(), comment.end());
                                  return b;
                              },
                              false, 1},
                    StillCase{"two_frames", [] { return TwoFrameGif(); }, false, 2},
                    StillCase{"no_frame", [] { return GlobalTableThen(1); }, true, 0}),
    CaseName<StillCase>);

TEST(GifStill, IsTheFirstFrameAtItsOwnSizeInItsOwnColours)
{
    GifBuilder b(20, 20, Palette(4, 5));
    FrameSpec first = NoiseFrame(5, 3, 7, 4, 4, 9);
    first.localTable = Palette(4, 6);
    first.transparent = 2; // shown as its colour in a still
    first.disposal = 2;
    FrameSpec second = NoiseFrame(0, 0, 20, 20, 4, 10);
    const Bytes data = b.Frame(first).Frame(second).Trailer().Data();

    const std::optional<Picture> p = DecodeGifStill(data);
    ASSERT_TRUE(p.has_value());
    ExpectStill(*p, first, first.localTable);
    bool sawTransparentIndex = false;
    for (std::uint8_t i : first.indices)
        sawTransparentIndex |= i == 2;
    EXPECT_TRUE(sawTransparentIndex);
}

TEST(GifStill, InterlacedAndBeyondTheTable)
{
    const std::vector<Rgb> global = Palette(2, 7); // indices 2 and 3 are beyond it
    for (const int rows : {1, 2, 5, 8, 9, 23}) {
        SCOPED_TRACE(rows);
        const auto height = static_cast<std::uint16_t>(rows);
        FrameSpec f = NoiseFrame(0, 0, 11, height, 4, height);
        f.interlaced = true;
        const Bytes data = GifBuilder(11, height, global).Frame(f).Trailer().Data();
        const std::optional<Picture> p = DecodeGifStill(data);
        ASSERT_TRUE(p.has_value());
        ExpectStill(*p, f, global);
    }
}

TEST(GifStill, BeyondTheTableIsBlack)
{
    const std::vector<Rgb> global = Palette(2, 8);
    const FrameSpec f = MakeFrame(0, 0, 4, 1, {0, 1, 2, 3});
    const std::optional<Picture> p =
        DecodeGifStill(GifBuilder(4, 1, global).Frame(f).Trailer().Data());
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(PixelAt(*p, 0, 0), Word(global[0]));
    EXPECT_EQ(PixelAt(*p, 1, 0), Word(global[1]));
    EXPECT_EQ(PixelAt(*p, 2, 0), kBlack);
    EXPECT_EQ(PixelAt(*p, 3, 0), kBlack);
}

struct SceneCase {
    const char* name;
    std::function<Scene()> make;
};

class GifComposition : public testing::TestWithParam<SceneCase> {};

// Two whole loops: the second starts from the canvas the first left.
TEST_P(GifComposition, EveryCanvasMatches)
{
    const Scene scene = GetParam().make();
    const Bytes data = scene.Build();
    std::optional<GifAnimation> a = GifAnimation::Open(data, kBackground);
    ASSERT_TRUE(a.has_value());
    ASSERT_EQ(a->FramesPerLoop(), scene.frames.size());
    Composer expected(scene.width, scene.height, kBackground);
    for (int loop = 0; loop < 2; ++loop) {
        for (std::size_t i = 0; i < scene.frames.size(); ++i) {
            SCOPED_TRACE("loop " + std::to_string(loop) + " frame " + std::to_string(i));
            const FrameSpec& f = scene.frames[i];
            expected.PutBack();
            expected.Draw(f, scene.global);
            const std::optional<std::uint32_t> delay = a->Advance();
            ASSERT_TRUE(delay.has_value());
            EXPECT_EQ(*delay, DelayMs(f));
            ExpectCanvas(*a, expected.Canvas());
        }
    }
}

Scene OffsetsAndClipping()
{
    Scene s;
    s.width = 24;
    s.height = 16;
    s.global = Palette(16, 1);
    s.frames = {NoiseFrame(0, 0, 24, 16, 16, 1), NoiseFrame(18, 10, 10, 9, 16, 2),
                NoiseFrame(30, 2, 4, 4, 16, 3),  NoiseFrame(2, 20, 3, 3, 16, 4),
                NoiseFrame(23, 0, 5, 16, 16, 5), NoiseFrame(0, 15, 24, 4, 16, 6)};
    for (std::size_t i = 0; i < s.frames.size(); ++i)
        s.frames[i].delay = static_cast<std::uint16_t>(i + 1);
    return s;
}

Scene Transparency()
{
    Scene s;
    s.width = 16;
    s.height = 10;
    s.global = Palette(8, 2);
    s.frames = {NoiseFrame(0, 0, 16, 10, 8, 1), NoiseFrame(2, 1, 10, 6, 8, 2),
                NoiseFrame(0, 0, 16, 10, 8, 3), NoiseFrame(10, 4, 9, 9, 8, 4)};
    s.frames[1].transparent = 3;
    s.frames[2].transparent = 0;
    s.frames[3].transparent = 7;
    s.frames[3].localTable = Palette(8, 3);
    return s;
}

Scene Disposal()
{
    Scene s;
    s.width = 20;
    s.height = 14;
    s.global = Palette(16, 3);
    s.frames = {NoiseFrame(0, 0, 20, 14, 16, 1),  NoiseFrame(3, 2, 8, 6, 16, 2),
                NoiseFrame(10, 5, 12, 12, 16, 3), NoiseFrame(0, 0, 5, 5, 16, 4),
                NoiseFrame(1, 1, 4, 4, 16, 5),    NoiseFrame(6, 6, 6, 6, 16, 6),
                NoiseFrame(2, 8, 9, 4, 16, 7),    NoiseFrame(12, 1, 5, 5, 16, 8)};
    const unsigned disposals[] = {0, 2, 3, 1, 2, 3, 5, 2};
    for (std::size_t i = 0; i < s.frames.size(); ++i) {
        s.frames[i].disposal = disposals[i];
        s.frames[i].delay = static_cast<std::uint16_t>(10 * i);
    }
    s.frames[1].transparent = 4; // the saved area is the canvas, not the frame
    s.frames[2].transparent = 0;
    s.frames[3].control = false; // no control block: disposal none
    return s;
}

Scene Interlaced()
{
    Scene s;
    s.width = 13;
    s.height = 17;
    s.global = Palette(32, 4);
    const std::uint16_t heights[] = {1, 2, 3, 4, 5, 8, 9, 17, 25};
    std::uint16_t y = 0;
    for (std::uint16_t h : heights) {
        FrameSpec f = NoiseFrame(static_cast<std::uint16_t>(h % 5), y, 11, h, 32, h);
        f.interlaced = true;
        f.transparent = 1;
        s.frames.push_back(f);
        y = static_cast<std::uint16_t>((y + 3) % 12);
    }
    return s;
}

Scene LocalTables()
{
    Scene s;
    s.width = 12;
    s.height = 12;
    s.global = Palette(4, 5);
    FrameSpec big = NoiseFrame(0, 0, 12, 12, 256, 1);
    big.localTable = Palette(256, 6);
    FrameSpec two = NoiseFrame(1, 1, 10, 10, 4, 2); // indices 2 and 3 beyond the table
    two.localTable = Palette(2, 7);
    two.minCodeSize = 2;
    FrameSpec global = NoiseFrame(2, 2, 8, 8, 8, 3); // indices 4..7 beyond the global table
    FrameSpec three = NoiseFrame(3, 0, 6, 12, 3, 4); // a 3-colour table padded to 4
    three.localTable = Palette(3, 8);
    s.frames = {big, two, global, three};
    return s;
}

Scene LargerThanTheScreen()
{
    Scene s;
    s.width = 10;
    s.height = 8;
    s.global = Palette(64, 6);
    FrameSpec tallInterlaced = NoiseFrame(0, 3, 12, 30, 64, 3);
    tallInterlaced.interlaced = true;
    s.frames = {NoiseFrame(0, 0, 30, 30, 64, 1), NoiseFrame(5, 5, 40, 3, 64, 2), tallInterlaced};
    return s;
}

// Long strings: runs longer than a row, rows of one pixel, strings crossing rows.
Scene LongStrings()
{
    Scene s;
    s.width = 37;
    s.height = 9;
    s.global = Palette(16, 7);
    s.frames = {MakeFrame(0, 0, 37, 9, Bytes(37 * 9, 5)), MakeFrame(3, 0, 1, 9, Runs(9, 16, 4)),
                MakeFrame(10, 0, 3, 9, Runs(27, 16, 5)),
                MakeFrame(0, 0, 37, 9, Runs(37 * 9, 16, 11)),
                MakeFrame(0, 0, 37, 9, Runs(37 * 9, 3, 1))};
    return s;
}

Scene LzwVariants()
{
    Scene s;
    s.width = 64;
    s.height = 48;
    s.global = Palette(256, 8);
    FrameSpec deferred = NoiseFrame(0, 0, 64, 48, 256, 1);
    deferred.lzw.clearWhenFull = false;
    FrameSpec clears = NoiseFrame(0, 0, 64, 48, 256, 2);
    clears.lzw.clearEvery = 7;
    FrameSpec oneBit = NoiseFrame(4, 4, 33, 17, 2, 3);
    oneBit.minCodeSize = 1;
    oneBit.localTable = Palette(2, 9);
    FrameSpec wideCodes = NoiseFrame(0, 0, 64, 48, 2, 4);
    wideCodes.minCodeSize = 8;
    FrameSpec tinyBlocks = NoiseFrame(8, 8, 20, 20, 256, 5);
    tinyBlocks.subBlockSize = 1;
    FrameSpec noEnd = NoiseFrame(0, 0, 64, 48, 16, 6);
    noEnd.lzw.endCode = false;
    FrameSpec oneBitRuns = MakeFrame(0, 0, 64, 48, Runs(64 * 48, 2, 300));
    oneBitRuns.minCodeSize = 1;
    s.frames = {deferred, clears, oneBit, wideCodes, tinyBlocks, noEnd, oneBitRuns};
    return s;
}

Scene LargeNoise()
{
    Scene s;
    s.width = 300;
    s.height = 200;
    s.global = Palette(256, 9);
    s.frames = {NoiseFrame(0, 0, 300, 200, 256, 1), NoiseFrame(50, 20, 200, 150, 200, 2)};
    s.frames[1].transparent = 9;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Scenes, GifComposition,
    testing::Values(SceneCase{"offsets_and_clipping", OffsetsAndClipping},
                    SceneCase{"transparency", Transparency}, SceneCase{"disposal", Disposal},
                    SceneCase{"interlaced", Interlaced}, SceneCase{"local_tables", LocalTables},
                    SceneCase{"larger_than_the_screen", LargerThanTheScreen},
                    SceneCase{"long_strings", LongStrings}, SceneCase{"lzw_variants", LzwVariants},
                    SceneCase{"large_noise", LargeNoise}),
    CaseName<SceneCase>);

struct DelayCase {
    bool control;
    std::uint16_t delay;
    std::uint32_t expected;
};

class GifDelay : public testing::TestWithParam<DelayCase> {};

TEST_P(GifDelay, IsTenMillisecondsAHundredthAndFiftyForNone)
{
    FrameSpec first = NoiseFrame(0, 0, 4, 4, 4, 1);
    first.control = GetParam().control;
    first.delay = GetParam().delay;
    FrameSpec second = NoiseFrame(0, 0, 4, 4, 4, 2);
    second.control = false; // the control block applies to the next frame only
    const Bytes data = GifBuilder(4, 4, Palette(4, 1)).Frame(first).Frame(second).Trailer().Data();
    std::optional<GifAnimation> a = GifAnimation::Open(data, kBackground);
    ASSERT_TRUE(a.has_value());
    for (int loop = 0; loop < 2; ++loop) {
        EXPECT_EQ(a->Advance(), GetParam().expected);
        EXPECT_EQ(a->Advance(), 50u);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, GifDelay,
                         testing::Values(DelayCase{false, 0, 50}, DelayCase{true, 0, 50},
                                         DelayCase{true, 1, 10}, DelayCase{true, 7, 70},
                                         DelayCase{true, 65535, 655350}));

TEST(GifControl, TheLastBlockBeforeTheFrameCountsAndOtherExtensionsLeaveIt)
{
    GifBuilder b(4, 4, Palette(4, 1));
    b.Raw(testing_gif::ControlBlock(3, 0, std::nullopt));
    b.Raw(testing_gif::ControlBlock(9, 0, std::nullopt));
    b.Comment("between the control block and its frame");
    FrameSpec f = NoiseFrame(0, 0, 4, 4, 4, 1);
    f.control = false;
    b.Frame(f);
    FrameSpec g = NoiseFrame(0, 0, 4, 4, 4, 2);
    g.delay = 4;
    const Bytes data = b.Frame(g).Trailer().Data();
    std::optional<GifAnimation> a = GifAnimation::Open(data, kBackground);
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(a->Advance(), 90u);
    EXPECT_EQ(a->Advance(), 40u);
    EXPECT_EQ(a->Advance(), 90u);
}

struct RestartCase {
    const char* name;
    Bytes terminator; // written after the second frame; a frame that must never show follows
};

class GifRestart : public testing::TestWithParam<RestartCase> {};

TEST_P(GifRestart, StartsAgainAtTheFirstBlock)
{
    const std::vector<Rgb> global = Palette(4, 3);
    FrameSpec first = NoiseFrame(0, 0, 8, 8, 4, 1);
    first.delay = 2;
    FrameSpec second = NoiseFrame(2, 2, 4, 4, 4, 2);
    second.delay = 3;
    second.disposal = 2;
    GifBuilder b(8, 8, global);
    b.Frame(first).Frame(second).Raw(GetParam().terminator);
    const Bytes never(64, 3);
    b.Frame(MakeFrame(0, 0, 8, 8, never)).Trailer();
    const Bytes data = b.Data();

    std::optional<GifAnimation> a = GifAnimation::Open(data, kBackground);
    ASSERT_TRUE(a.has_value());
    Composer expected(8, 8, kBackground);
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        const FrameSpec& f = i % 2 == 0 ? first : second;
        expected.PutBack();
        expected.Draw(f, global);
        EXPECT_EQ(a->Advance(), DelayMs(f));
        ExpectCanvas(*a, expected.Canvas());
    }
}

INSTANTIATE_TEST_SUITE_P(Terminators, GifRestart,
                         testing::Values(RestartCase{"trailer", {0x3B}},
                                         RestartCase{"zero_byte", {0x00}},
                                         RestartCase{"unknown_byte", {0x99}},
                                         RestartCase{"trailer_after_a_control_block",
                                                     {0x21, 0xF9, 4, 0, 77, 0, 0, 0, 0x3B}}),
                         CaseName<RestartCase>);

TEST(GifRestart, AtTheEndOfTheData)
{
    const std::vector<Rgb> global = Palette(4, 3);
    const FrameSpec first = NoiseFrame(0, 0, 8, 8, 4, 1);
    const FrameSpec second = NoiseFrame(1, 1, 3, 3, 4, 2);
    const Bytes data = GifBuilder(8, 8, global).Frame(first).Frame(second).Data(); // no trailer
    std::optional<GifAnimation> a = GifAnimation::Open(data, kBackground);
    ASSERT_TRUE(a.has_value());
    Composer expected(8, 8, kBackground);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        expected.PutBack();
        expected.Draw(i % 2 == 0 ? first : second, global);
        EXPECT_EQ(a->Advance(), 50u);
        ExpectCanvas(*a, expected.Canvas());
    }
}

TEST(GifExtensions, AreSkippedAndTheLoopCountIgnored)
{
    const std::vector<Rgb> global = Palette(8, 4);
    const FrameSpec first = NoiseFrame(0, 0, 6, 6, 8, 1);
    const FrameSpec second = NoiseFrame(1, 2, 4, 3, 8, 2);
    // Payloads full of block introducers and trailers: only the sub-block lengths may count.
    const Bytes tricky = {0x2C, 0x3B, 0x21, 0x00, 0x2C, 0x00, 0x00, 0x3B};
    Bytes plainText = {12, 0, 0, 0, 0, 6, 0, 6, 0, 1, 1, 0, 1}; // header sub-block of 12
    plainText.insert(plainText.end(), {3, 'a', ';', ',', 0});
    GifBuilder b(6, 6, global);
    b.LoopCount(1).Comment(",;!").Extension(0x77, tricky).Frame(first);
    b.Raw(Bytes{0x21, 0x01}).Raw(plainText);
    b.Extension(0xFF, tricky).Frame(second).Comment("end").Trailer();
    const Bytes data = b.Data();

    std::optional<GifAnimation> a = GifAnimation::Open(data, kBackground);
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(a->FramesPerLoop(), 2u);
    EXPECT_FALSE(a->IsStill());
    Composer expected(6, 6, kBackground);
    for (int i = 0; i < 6; ++i) { // three loops although the data asks for one
        SCOPED_TRACE(i);
        expected.PutBack();
        expected.Draw(i % 2 == 0 ? first : second, global);
        EXPECT_EQ(a->Advance(), 50u);
        ExpectCanvas(*a, expected.Canvas());
    }
}

// Frames that give no pixel, each made from a sound frame by one change.
FrameSpec SoundFrame() { return NoiseFrame(0, 0, 6, 5, 4, 11); }

Bytes WithFrameEdit(const std::vector<Rgb>& global,
                    const std::function<void(Bytes&, std::size_t)>& edit, int frames = 1)
{
    GifBuilder b(6, 5, global);
    for (int i = 0; i < frames; ++i)
        b.Frame(SoundFrame());
    Bytes data = b.Trailer().Data();
    const std::vector<std::size_t> at = b.ImageDataOffsets();
    for (std::size_t i = at.size(); i-- > 0;)
        edit(data, at[i]);
    return data;
}

struct NothingCase {
    const char* name;
    std::function<Bytes()> make;
};

class GifNothingToDraw : public testing::TestWithParam<NothingCase> {};

TEST_P(GifNothingToDraw, AdvanceGivesNothingAndTheCanvasStays)
{
    const Bytes data = GetParam().make();
    std::optional<GifAnimation> a = GifAnimation::Open(data, kBackground);
    ASSERT_TRUE(a.has_value());
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_FALSE(a->Advance().has_value());
        ExpectPixels(a->Canvas(), a->Width(), a->Height(),
                     [](auto, auto) { return BackgroundWord(kBackground); });
    }
    EXPECT_FALSE(DecodeGifStill(data).has_value());
}

// Image data offsets point at the first sub-block; the code size byte is just before.
INSTANTIATE_TEST_SUITE_P(
    Cases, GifNothingToDraw,
    testing::Values(
        NothingCase{"header_only", [] { return GlobalTableThen(1); }},
        NothingCase{"zero_byte_first",
                    [] {
                        Bytes b = GlobalTableThen(2);
                        b[b.size() - 2] = 0; // a zero byte, then the trailer
                        return b;
                    }},
        NothingCase{"extensions_only",
                    [] {
                        GifBuilder b(5, 5, Palette(2, 1));
                        return b.LoopCount(0).Comment("no frame").Trailer().Data();
                    }},
        NothingCase{"code_size_0",
                    [] {
                        return WithFrameEdit(
                            Palette(4, 1), [](Bytes& d, std::size_t at) { d[at - 1] = 0; }, 3);
                    }},
        NothingCase{"code_size_9",
                    [] {
                        return WithFrameEdit(
                            Palette(4, 1), [](Bytes& d, std::size_t at) { d[at - 1] = 9; }, 3);
                    }},
        NothingCase{"code_size_12",
                    [] {
                        return WithFrameEdit(Palette(4, 1),
                                             [](Bytes& d, std::size_t at) { d[at - 1] = 12; });
                    }},
        NothingCase{"no_image_data",
                    [] {
                        return WithFrameEdit(
                            Palette(4, 1),
                            [](Bytes& d, std::size_t at) {
                                // The data and its terminator go: an empty chain of sub-blocks.
                                d.erase(d.begin() + static_cast<std::ptrdiff_t>(at + 1),
                                        d.begin() + static_cast<std::ptrdiff_t>(at + 2 + d[at]));
                                d[at] = 0;
                            },
                            2);
                    }},
        NothingCase{"first_code_not_a_literal",
                    [] {
                        // Code size 2, so 3-bit codes: after the clear comes 6, a table code.
                        return WithFrameEdit(
                            Palette(4, 1),
                            [](Bytes& d, std::size_t at) {
                                d[at + 1] = 0x34; // bits 0-2: clear (4), bits 3-5: 6
                                d[at + 2] = 0x00;
                            },
                            2);
                    }},
        NothingCase{"end_code_first",
                    [] {
                        return WithFrameEdit(
                            Palette(4, 1),
                            [](Bytes& d, std::size_t at) {
                                d[at + 1] = 0x2C; // bits 0-2: clear (4), bits 3-5: end (5)
                            },
                            2);
                    }},
        NothingCase{"no_colour_table",
                    [] {
                        return WithFrameEdit(
                            {}, [](Bytes&, std::size_t) {}, 2);
                    }},
        NothingCase{"zero_width",
                    [] {
                        return WithFrameEdit(
                            Palette(4, 1),
                            [](Bytes& d, std::size_t at) {
                                d[at - 6] = 0; // the width's low byte, after left and top
                            },
                            2);
                    }},
        NothingCase{"descriptor_cut_short",
                    [] {
                        GifBuilder b(6, 5, Palette(4, 1));
                        Bytes data = b.Frame(SoundFrame()).Data();
                        data.resize(b.ImageDescriptorOffsets()[0] + 7);
                        return data;
                    }},
        NothingCase{"local_table_cut_short",
                    [] {
                        FrameSpec f = SoundFrame();
                        f.localTable = Palette(4, 2);
                        GifBuilder b(6, 5, Palette(4, 1));
                        Bytes data = b.Frame(f).Data();
                        data.resize(b.ImageDescriptorOffsets()[0] + 10 + 5);
                        return data;
                    }}),
    CaseName<NothingCase>);

TEST(GifDamagedFrames, AreSkippedWhileSoundOnesPlay)
{
    const std::vector<Rgb> global = Palette(4, 1);
    GifBuilder b(6, 5, global);
    FrameSpec bad = SoundFrame();
    FrameSpec good = NoiseFrame(1, 1, 4, 3, 4, 12);
    good.delay = 6;
    b.Frame(bad).Frame(good).Frame(bad);
    Bytes data = b.Trailer().Data();
    data[b.ImageDataOffsets()[0] - 1] = 0;  // code size 0
    data[b.ImageDataOffsets()[2] - 1] = 10; // code size 10
    std::optional<GifAnimation> a = GifAnimation::Open(data, kBackground);
    ASSERT_TRUE(a.has_value());
    Composer expected(6, 5, kBackground);
    expected.Draw(good, global);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(a->Advance(), 60u);
        ExpectCanvas(*a, expected.Canvas());
    }
    EXPECT_FALSE(DecodeGifStill(data).has_value()); // the first frame is the damaged one
}

TEST(GifColourTable, AFrameWithoutColoursIsSkipped)
{
    GifBuilder b(6, 6); // no global table
    FrameSpec colourless = NoiseFrame(0, 0, 6, 6, 4, 1);
    FrameSpec coloured = NoiseFrame(2, 2, 3, 3, 4, 2);
    coloured.localTable = Palette(4, 5);
    coloured.delay = 8;
    const Bytes data = b.Frame(colourless).Frame(coloured).Trailer().Data();
    std::optional<GifAnimation> a = GifAnimation::Open(data, kBackground);
    ASSERT_TRUE(a.has_value());
    Composer expected(6, 6, kBackground);
    expected.Draw(coloured, {});
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(a->Advance(), 80u);
        ExpectCanvas(*a, expected.Canvas());
    }
    EXPECT_FALSE(DecodeGifStill(data).has_value());
}

// The LZW data bytes that lie before `cut` in the sub-blocks starting at `at`.
std::size_t LzwBytesBefore(const Bytes& data, std::size_t at, std::size_t cut)
{
    std::size_t bytes = 0;
    while (at < cut && data[at] != 0) {
        const std::size_t n = data[at];
        bytes += std::min(n, cut - at - 1);
        at += n + 1;
    }
    return bytes;
}

// The indices given by the codes that fit whole in `bytes` bytes.
std::size_t IndicesInBytes(const testing_gif::LzwStream& s, std::size_t bytes)
{
    std::size_t bits = 0;
    std::size_t indices = 0;
    for (std::size_t i = 0; i < s.codes.size(); ++i) {
        bits += s.codes[i].width;
        if (bits > bytes * 8)
            break;
        indices = s.indicesAfter[i];
    }
    return indices;
}

TEST(GifTruncation, DrawsTheIndicesOfTheWholeCodesBeforeTheCut)
{
    const std::vector<Rgb> global = Palette(64, 2);
    for (const bool interlaced : {false, true}) {
        FrameSpec f = NoiseFrame(2, 1, 40, 30, 64, 3);
        f.interlaced = interlaced;
        f.subBlockSize = 100;
        GifBuilder b(44, 32, global);
        const Bytes whole = b.Frame(f).Trailer().Data();
        const std::size_t at = b.ImageDataOffsets()[0];
        const testing_gif::LzwStream stream =
            testing_gif::EncodeLzwCodes(testing_gif::CodedOrder(f), 6);
        std::vector<std::size_t> cuts;
        for (std::size_t cut = at; cut < whole.size() - 2; cut += 37)
            cuts.push_back(cut);
        cuts.push_back(whole.size() - 2); // all the data, without its terminator
        cuts.push_back(whole.size() - 1); // only the trailer missing
        std::size_t previous = 0;
        for (const std::size_t cut : cuts) {
            SCOPED_TRACE("interlaced " + std::to_string(interlaced) + " cut at " +
                         std::to_string(cut));
            const Bytes data(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
            const std::size_t decoded = IndicesInBytes(stream, LzwBytesBefore(whole, at, cut));
            EXPECT_GE(decoded, previous);
            previous = decoded;

            std::optional<GifAnimation> a = GifAnimation::Open(data, kBackground);
            ASSERT_TRUE(a.has_value());
            EXPECT_TRUE(a->IsStill());
            Composer expected(44, 32, kBackground);
            expected.Draw(f, global, decoded);
            const std::optional<std::uint32_t> delay = a->Advance();
            EXPECT_EQ(delay.has_value(), decoded > 0);
            ExpectCanvas(*a, expected.Canvas());

            const std::optional<Picture> still = DecodeGifStill(data);
            EXPECT_EQ(still.has_value(), decoded > 0);
            if (still)
                ExpectStill(*still, f, global, decoded);
        }
        EXPECT_EQ(previous, f.indices.size());
    }
}

// Without an end code the sub-blocks' terminator ends the data, however many bits were
// buffered before it: the bytes after it are not image data. Padding bits of the last byte
// that are as many as a code's width read as one more code, a literal 0.
TEST(GifTruncation, TheTerminatorEndsDataWithoutAnEndCode)
{
    const std::vector<Rgb> global = Palette(16, 6);
    const FrameSpec f = NoiseFrame(0, 0, 10, 10, 16, 7);
    for (const std::size_t given : {1u, 2u, 7u, 50u, 99u}) {
        SCOPED_TRACE(given);
        const Bytes first(f.indices.begin(),
                          f.indices.begin() + static_cast<std::ptrdiff_t>(given));
        testing_gif::LzwStream codes = testing_gif::EncodeLzwCodes(first, 4);
        const unsigned nextWidth = codes.codes.back().width; // the end code's
        codes.codes.pop_back();
        std::size_t bits = 0;
        for (const testing_gif::LzwCode& c : codes.codes)
            bits += c.width;
        const bool paddingReadsAsCode = (8 - bits % 8) % 8 >= nextWidth;
        FrameSpec shown = f;
        if (paddingReadsAsCode)
            shown.indices[given] = 0;
        const std::size_t decoded = given + (paddingReadsAsCode ? 1 : 0);

        GifBuilder b(10, 10, global);
        b.Frame(f);
        Bytes data(b.Data().begin(),
                   b.Data().begin() + static_cast<std::ptrdiff_t>(b.ImageDataOffsets()[0]));
        const Bytes blocks = testing_gif::SubBlocks(testing_gif::PackLzwCodes(codes.codes));
        data.insert(data.end(), blocks.begin(), blocks.end());
        data.insert(data.end(), {0x3B, 0xFF, 0x5A, 0xA5, 0xFF, 0x13});

        std::optional<GifAnimation> a = GifAnimation::Open(data, kBackground);
        ASSERT_TRUE(a.has_value());
        ASSERT_TRUE(a->Advance().has_value());
        Composer expected(10, 10, kBackground);
        expected.Draw(shown, global, decoded);
        ExpectCanvas(*a, expected.Canvas());
        const std::optional<Picture> still = DecodeGifStill(data);
        ASSERT_TRUE(still.has_value());
        ExpectStill(*still, shown, global, decoded);
    }
}

struct BadCodeCase {
    const char* name;
    std::size_t codeIndex;                           // the code replaced
    std::function<std::uint16_t(std::size_t)> value; // from the code's position
};

class GifBadCode : public testing::TestWithParam<BadCodeCase> {};

// The codes before the bad one are drawn; nothing after it is.
TEST_P(GifBadCode, StopsTheFrameThere)
{
    const std::vector<Rgb> global = Palette(16, 4);
    const FrameSpec f = NoiseFrame(0, 0, 20, 10, 16, 5);
    testing_gif::LzwStream s = testing_gif::EncodeLzwCodes(f.indices, 4);
    const std::size_t k = GetParam().codeIndex;
    ASSERT_LT(k, s.codes.size());
    s.codes[k].value = GetParam().value(k);
    GifBuilder b(20, 10, global);
    b.Frame(f);
    Bytes data(b.Data().begin(),
               b.Data().begin() + static_cast<std::ptrdiff_t>(b.ImageDataOffsets()[0]));
    const Bytes blocks = testing_gif::SubBlocks(testing_gif::PackLzwCodes(s.codes));
    data.insert(data.end(), blocks.begin(), blocks.end());
    data.push_back(0x3B);

    std::optional<GifAnimation> a = GifAnimation::Open(data, kBackground);
    ASSERT_TRUE(a.has_value());
    ASSERT_TRUE(a->Advance().has_value());
    Composer expected(20, 10, kBackground);
    expected.Draw(f, global, s.indicesAfter[k - 1]);
    ExpectCanvas(*a, expected.Canvas());
    const std::optional<Picture> still = DecodeGifStill(data);
    ASSERT_TRUE(still.has_value());
    ExpectStill(*still, f, global, s.indicesAfter[k - 1]);
}

// Code size 4: clear 16, end 17, table codes from 18; code k (k ≥ 1) is read when the table
// holds 18 + (k - 2) entries.
INSTANTIATE_TEST_SUITE_P(
    Cases, GifBadCode,
    testing::Values(
        BadCodeCase{"beyond_the_table", 40,
                    [](std::size_t k) { return static_cast<std::uint16_t>(18 + (k - 2) + 1); }},
        BadCodeCase{"far_beyond_the_table", 25, [](std::size_t) { return std::uint16_t{63}; }},
        BadCodeCase{"end_code_early", 60, [](std::size_t) { return std::uint16_t{17}; }}),
    CaseName<BadCodeCase>);

} // namespace
} // namespace picbox
