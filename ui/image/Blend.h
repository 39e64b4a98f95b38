// Mixing of a picture's alpha with the background colour, done before a PNG is painted.
#pragma once

#include "Picture.h"

#include <cstdint>
#include <optional>

namespace picbox {

// One colour component c with alpha a over background component b:
// c·a/255 + b·(1 − a/255), truncated towards zero and clamped to 0..255.
std::uint8_t BlendComponent(std::uint8_t c, std::uint8_t a, std::uint8_t b);

// An opaque copy (hasAlpha false, X = 0xFF) of the picture with every pixel of alpha below 255
// blended onto backgroundRgb, a COLORREF 0x00BBGGRR; pixels of alpha 255 are copied as they
// are. A picture without alpha is copied. Nothing when the picture is empty or memory is
// refused.
std::optional<Picture> BlendOntoBackground(const Picture& picture, std::uint32_t backgroundRgb);

} // namespace picbox
