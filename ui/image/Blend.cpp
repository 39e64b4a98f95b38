// Alpha blending onto the background colour in exact integer arithmetic, through lookup tables.
#include "Blend.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

namespace picbox {

namespace {

// c·a/255 + b·(1 − a/255) is, as a rational number, exactly (c·a + b·(255 − a)) / 255, so the
// integer quotient is the formula's value truncated towards zero. Evaluating it in floating
// point instead would give results that depend on the compiler and the FPU's precision, such as
// 254 instead of 255 for c = b = 255, a = 128.
//
// The quotient uses floor(x / 255) = (x + 1 + (x >> 8)) >> 8, exact for every x up to 255·255
// (the unit test checks all c, a, b). With a = 255 the sum is c·255 and the result is c itself:
// opaque pixels come through unchanged.
std::uint32_t Mix(std::uint32_t c, std::uint32_t a, std::uint32_t b)
{
    const std::uint32_t x = c * a + b * (255 - a);
    const std::uint32_t v = (x + 1 + (x >> 8)) >> 8;
    return v < 255 ? v : 255; // the rule's clamp; x ≤ 255·255 keeps v within it
}

// The blended value of every (alpha, component) pair for one background component, indexed
// alpha·256 + component. Building one costs 64 Ki evaluations; a 4000×3000 picture then takes
// three table reads a pixel instead of three multiplications and divisions, which matters most
// for the 32-bit build's scalar code.
constexpr std::size_t kTableSize = 256 * 256;

void FillTable(std::uint8_t* table, std::uint32_t b)
{
    for (std::uint32_t a = 0; a < 256; ++a)
        for (std::uint32_t c = 0; c < 256; ++c)
            table[a << 8 | c] = static_cast<std::uint8_t>(Mix(c, a, b));
}

} // namespace

std::uint8_t BlendComponent(std::uint8_t c, std::uint8_t a, std::uint8_t b)
{
    return static_cast<std::uint8_t>(Mix(c, a, b));
}

std::optional<Picture> BlendOntoBackground(const Picture& picture, std::uint32_t backgroundRgb)
{
    if (!picture.pixels)
        return std::nullopt;
    std::optional<Picture> out = AllocatePicture(picture.width, picture.height);
    if (!out)
        return std::nullopt;
    out->hasAlpha = false;
    const std::size_t bytes = picture.ByteCount();
    const std::uint8_t* src = picture.pixels.get();
    std::uint8_t* dst = out->pixels.get();
    if (!picture.hasAlpha) {
        std::memcpy(dst, src, bytes); // X is already 0xFF
        return out;
    }

    const std::unique_ptr<std::uint8_t[]> tables(new (std::nothrow) std::uint8_t[3 * kTableSize]);
    if (!tables)
        return std::nullopt;
    std::uint8_t* const blue = tables.get();
    std::uint8_t* const green = blue + kTableSize;
    std::uint8_t* const red = green + kTableSize;
    FillTable(blue, (backgroundRgb >> 16) & 0xFF); // a COLORREF is 0x00BBGGRR
    FillTable(green, (backgroundRgb >> 8) & 0xFF);
    FillTable(red, backgroundRgb & 0xFF);

    for (std::size_t i = 0; i < bytes; i += 4) {
        const std::size_t row = std::size_t{src[i + 3]} << 8; // alpha
        dst[i] = blue[row | src[i]];
        dst[i + 1] = green[row | src[i + 1]];
        dst[i + 2] = red[row | src[i + 2]];
        dst[i + 3] = 0xFF;
    }
    return out;
}

} // namespace picbox
